#pragma once
// A simulated camera on a pseudo-terminal. The tool opens the slave side (slave_path(), or the
// COM<N> link made by publish_as_port) as its serial port; the simulator reads the master side on
// its own thread, answers through the CameraModel and applies the faults set up by the caller.

#include "bytes.h"
#include "camera_model.h"
#include "fault_plan.h"
#include "frame_reader.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <poll.h>

namespace sim {

// What passed the line, for a live trace of the simulator.
struct TraceEvent {
    // Ignored: bytes that arrived while the camera was not listening (booting or unplugged).
    enum class Kind { Received, Sent, Withheld, Dropped, Ignored };
    Kind kind;
    Bytes bytes;              // the unit received, the answer sent/withheld, or the bytes ignored
    Fault fault = Fault::None;
    std::size_t dropped = 0;  // Dropped: number of bytes that fitted no unit
};

class SimCamera {
public:
    using TraceFn = std::function<void(const TraceEvent&)>;

    SimCamera();
    ~SimCamera();
    SimCamera(const SimCamera&) = delete;
    SimCamera& operator=(const SimCamera&) = delete;

    // Opens the pseudo-terminal and starts the thread; false on failure. True if already running.
    bool start();
    // Ends the thread, closes the pseudo-terminal and removes a published link.
    void stop();
    std::string slave_path() const;

    // Makes the COM<port> link in the configuration folder point at the slave side.
    bool publish_as_port(int port);
    // Removes the link, if it still points at this simulator.
    void unpublish();

    // Runs f with the model locked and returns its result (by value). The lock is not recursive:
    // f must not call with_model again; the other members are safe to call from f.
    template <class F>
    auto with_model(F&& f)
    {
        std::lock_guard lock(model_mutex_);
        return std::forward<F>(f)(model_);
    }

    std::vector<Bytes> received() const;
    std::size_t received_count() const;
    void clear_received();

    void inject(Fault fault, int next_n = 1);
    void inject_for_command(Fault fault, std::uint8_t code,
                            std::optional<std::uint8_t> sub = std::nullopt);
    void clear_faults();
    void set_late_delay_ms(int ms);
    void set_split_pause_ms(int ms);
    void set_baud_pacing(bool on);

    // After the reset command (0xF3), and when plugged in, the camera boots for this long: it
    // answers nothing and drops the bytes that arrive meanwhile, as its UART is not yet running.
    // 0 (the default): it answers again at once. Parameter memory survives the reset.
    void set_boot_ms(int ms);

    // How the camera takes the reset command. Late: it goes on answering for `ms` before it
    // restarts (0, the default: at once). Ignored: it never restarts and answers on as before.
    void set_reset_delay_ms(int ms);
    void set_reset_ignored(bool ignored);
    // Every reset brings in another camera while it restarts (CameraModel::written_alike with the
    // next seed): it holds the same parameter memory but its own last word and title.
    void set_swap_on_reset(bool swap);

    // Called with the camera's model each time the camera restarts on a reset (after a swap, with
    // the new one's): what the restart changes, such as a title that the written file set.
    void set_on_restart(std::function<void(CameraModel&)> change);

    // The camera misses reads: the answers to this fraction (0..1) of the read commands are
    // withheld, chosen by a generator started from `seed`, so a run repeats exactly. 0: none.
    void set_lost_reads(double fraction, std::uint32_t seed);

    // The camera goes away: everything received is dropped, nothing is answered and answers not
    // yet sent are lost. The pseudo-terminal stays open, so the tool's port does not hang up
    // (a pseudo-terminal has no DSR line to drop).
    void unplug();
    // Another camera of the same type is plugged in (CameraModel::another_camera): its memory and
    // title come from `seed`; it boots first (set_boot_ms). Works unplugged or plugged in.
    void plug_in(std::uint32_t seed);
    bool plugged_in() const;

    // Fault for this camera and every one plugged in after it: the parameter block and the EEPROM
    // word writes leave the word at `address` (0..1023) as it was. nullopt or out of range: none.
    void set_unwritten_word(std::optional<int> address);

    // Queues bytes for the tool behind any answer still waiting to go out.
    void send_raw(const std::vector<std::uint8_t>& bytes);

    // Called on the simulator's thread; set it before start().
    void set_trace(TraceFn trace) { trace_ = std::move(trace); }

private:
    struct Pending {
        TimedBytes piece;
        std::optional<TraceEvent> trace; // on the last piece of a unit, reported once written
    };

    void run();
    std::array<pollfd, 3> wait_for_activity() const;
    void give_up_stale_partial();
    void wake();
    void drain_wake_fd();
    void release_exclusive_use();
    bool read_master(); // true when bytes were read
    bool listening() const;
    void start_boot();
    void take_reset();
    void act_on_due_reset();
    bool loses_answer(const Bytes& unit);
    void handle_units(const std::vector<Bytes>& units);
    void ignore(const Bytes& bytes);
    void forget_line_state();
    void handle_unit(const Bytes& unit);
    void report_dropped();
    void enqueue(const Bytes& bytes, Fault fault, const OutputTiming& timing);
    void take_raw_sends();
    void write_due();
    Clock::time_point next_deadline() const;
    void close_fds();

    int master_fd_ = -1;
    int slave_keep_fd_ = -1; // keeps the slave open so the master never sees a hang-up
    int wake_fd_ = -1;
    int inotify_fd_ = -1;
    std::string slave_path_;
    std::string link_path_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    TraceFn trace_;

    // Lock order: model_mutex_ before state_mutex_.
    std::mutex model_mutex_;
    CameraModel model_;

    mutable std::mutex state_mutex_;
    std::deque<Bytes> received_;
    FaultPlan faults_;
    OutputTiming timing_;
    std::vector<Bytes> raw_sends_;
    Clock::duration boot_time_{};
    Clock::time_point booted_at_{}; // deaf before this time point
    bool plugged_in_ = true;
    Clock::duration reset_delay_{};
    bool reset_ignored_ = false;
    bool swap_on_reset_ = false;
    std::optional<Clock::time_point> reset_due_; // a reset received, acted on at this time point
    std::function<void(CameraModel&)> on_restart_;
    double lost_reads_ = 0;
    std::minstd_rand loss_generator_;

    // Simulator thread only.
    FrameReader reader_;
    Clock::time_point last_rx_{};
    std::deque<Pending> output_;
    bool write_blocked_ = false;
};

} // namespace sim
