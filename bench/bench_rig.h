#pragma once
// One benchmark set-up: private configuration and runtime folders, the dialog double, the camera
// simulator published as port 1 with a time-stamped trace, and the real main window.
//
// Waiting never sleeps: a wait runs the event loop and ends from the window's own receive
// handler (wrapped here) as soon as its condition holds, so it adds nothing to an exchange.

#include "support/fake_dialogs.h"
#include "support/private_folder.h"

#include "main_window/mkr58.h"
#include "sim_camera.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class QEventLoop;

using BenchClock = std::chrono::steady_clock;

// A unit that passed the simulator's side of the line, with the time the simulator saw it.
struct Stamp {
    sim::TraceEvent::Kind kind;
    BenchClock::time_point at;
    std::uint32_t size;
};

// The simulator's trace, written on its thread, read between runs.
class TraceLog {
public:
    TraceLog() { stamps_.reserve(1 << 16); }
    void record(const sim::TraceEvent& event);
    std::vector<Stamp> take();
    // Number of units received since the start.
    std::uint64_t received_total() const;
    // The answer to the unit received as number `index` (counted by received_total) gets `fault`.
    void schedule_fault(std::uint64_t index, sim::Fault fault);
    // Called for every received unit: the fault due for it, if any.
    sim::Fault due_fault();

private:
    mutable std::mutex mutex_;
    std::vector<Stamp> stamps_;
    std::uint64_t received_ = 0;
    std::map<std::uint64_t, sim::Fault> faults_;
};

// What the trace of one run says about it.
struct RunTrace {
    std::vector<double> turnarounds_ms; // last byte of a reply out -> next command in
    std::uint64_t units_in = 0, bytes_in = 0;   // tool -> camera
    std::uint64_t units_out = 0, bytes_out = 0; // camera -> tool
    double first_in_to_last_event_ms = 0;
};
RunTrace analyse(const std::vector<Stamp>& stamps);

// A turnaround in two parts: the reply out to the receive handler entered (kernel, watcher
// thread, GUI event queue), and the handler entered to the next command in at the simulator.
struct TurnaroundParts {
    std::vector<double> to_handler_ms, handler_to_command_ms, handler_us;
    std::vector<double> reply_handler_us;     // the handler that took the reply's last byte
    std::vector<double> reply_handler_cpu_us; // the same in CPU time
    std::vector<double> handler_to_write_ms;  // handler entered to the next command written
    std::vector<double> write_to_command_ms;  // written to received at the simulator
};

struct HandlerSpan {
    BenchClock::time_point entered, left;
    double cpu_us = 0; // CPU time of the GUI thread in the handler: no time spent preempted
};
TurnaroundParts split_turnarounds(const std::vector<Stamp>& stamps, const std::vector<HandlerSpan>& spans,
                                  const std::vector<BenchClock::time_point>& writes);

class BenchRig {
public:
    BenchRig();
    ~BenchRig();
    BenchRig(const BenchRig&) = delete;
    BenchRig& operator=(const BenchRig&) = delete;

    // Creates and shows the window as the program does; it connects and starts loading at once.
    TFKR58* open_window(int tool_type);
    void close_window();
    // The Debug configuration with the service code typed and the Copy page chosen, loaded.
    TFKR58* open_copy_page();

    // Runs the event loop until pred() holds (checked after every receive handler, and every
    // poll_ms when given) or timeout_ms passed.
    bool wait_until(const std::function<bool()>& pred, int timeout_ms, int poll_ms = 0);
    bool wait_idle(int timeout_ms = 30000, int poll_ms = 0);

    // When the window's receive handler ran, per notification, since the last take (GUI thread).
    std::vector<HandlerSpan> take_handler_spans() { return take_reserved(handler_spans_); }
    // When the serial component's Write was called, since the last take (GUI thread).
    std::vector<BenchClock::time_point> take_writes() { return take_reserved(writes_); }

    PrivateFolder config{"XDG_CONFIG_HOME"};
    PrivateFolder runtime{"XDG_RUNTIME_DIR"};
    FakeDialogs fake_dialogs;
    TraceLog trace;
    sim::SimCamera camera;
    std::unique_ptr<TFKR58> window;

private:
    // What `log` holds; it stays reserved, so recording never reallocates mid-run.
    template <class T>
    static std::vector<T> take_reserved(std::vector<T>& log)
    {
        std::vector<T> taken;
        taken.reserve(1 << 16);
        taken.swap(log);
        return taken;
    }
    void check_wait();

    std::vector<HandlerSpan> handler_spans_;
    std::vector<BenchClock::time_point> writes_;
    std::function<bool()> waiting_for_;
    QEventLoop* wait_loop_ = nullptr;
};
