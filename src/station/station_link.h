#pragma once
// A headless camera link over one serial port for the clone station: one exchange at a time, the
// window's reply time-outs, the reset that has no reply, and the short probe that tells whether a
// camera answers and which word it holds. Everything runs on the thread that created the link
// (its port thread): a call waits for its reply in a local event loop, in which the serial
// component's notifications arrive.

#include "comm/comm.h"
#include "link/frames.h"
#include "link/receive_decoder.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <initializer_list>
#include <memory>
#include <optional>

class QEventLoop;

namespace station {

// The window's reply time-outs: three 1500 ms ticks for a frame (at most 6 s), 100 for the block.
constexpr int kFrameTimeoutMs = 6000;
constexpr int kBlockTimeoutMs = 150000;
constexpr int kProbeTimeoutMs = 300;
constexpr int kCameraBaud = 19200;

enum class LinkStatus {
    Ok,
    TimedOut, // no (matching) reply before the deadline
    Refused,  // a reply whose code is not 0xA0
    LineLost,   // the device hung up, a read failed or a write was not done
    CameraLeft, // the camera dropped DSR while its job was watching it
    Stopped,    // the program is stopping
};

struct Reply {
    LinkStatus status = LinkStatus::Ok;
    frames::Frame frame{};
    bool ok() const { return status == LinkStatus::Ok; }
};

// Routes an exception that escaped an event handler on this thread (the serial component
// reports a lost line that way) to the link that runs here. Called by the application's notify.
void report_thread_exception(std::exception_ptr error);

class StationLink {
public:
    // `comm` replaces the serial component (a test double); nullptr: a real one.
    StationLink(int port, std::uint8_t camera_id, std::unique_ptr<TComm> comm = nullptr);
    ~StationLink();
    StationLink(const StationLink&) = delete;
    StationLink& operator=(const StationLink&) = delete;

    int port() const { return port_; }
    // The device the port opens: once it has opened, always that one (see open).
    QString device() const;

    // Opens the port at 19200 8N1 without flow control, as the window does. On failure `error`
    // holds one line naming the port, the device, the system's reason and what to check. The
    // first open that succeeds fixes the device: a lost line is opened again on that device only
    // (the COM<N> link, or the device the port fell back to), never on another adapter that the
    // port number would name once the first one is gone.
    bool open(QString* error);
    void close();
    bool is_open() const;
    // True when the line carries modem signals (a real serial port); a pseudo-terminal does not.
    bool has_modem_signals() const { return modem_signals_; }
    bool dsr() const;
    // While on, a drop of DSR on a line with modem signals means the camera left: exchanges
    // fail with CameraLeft from then on, until watching is switched on again.
    void watch_camera_leaving(bool on);
    bool camera_left() const;

    // Sends a command of `length` bytes (bytes 1..length of `command`) and waits for its reply;
    // an accepted reply to a read must echo the read's item and index (and the address of a
    // four-byte read). Whatever arrived before the command is dropped first.
    Reply exchange(const frames::Frame& command, int length, int timeout_ms = kFrameTimeoutMs);
    Reply exchange(std::initializer_list<std::uint8_t> body, int timeout_ms = kFrameTimeoutMs);
    // Sends the parameter block built from `image` and waits for its reply.
    Reply send_block(const frames::ParamImage& image);
    // The camera reset 0xF3, which has no reply.
    LinkStatus send_reset();
    // The EEPROM word read 0x33 0x0C at `address`.
    Reply read_word(int address, int timeout_ms = kFrameTimeoutMs);
    // The word an accepted answer to read_word carries.
    static int word_of(const Reply& reply);
    // The word at `address` when the camera answers its read within 0.3 s, else nothing.
    std::optional<int> probe(int address);
    // The word at `address` from a camera expected back any moment (one restarting, which hears
    // nothing until it is back): the read is sent again every `every_ms` until an answer comes,
    // at most `timeout_ms` in all. Nothing received is dropped between the repeats, so an answer
    // slower than `every_ms` counts too; being the same read, an answer to any repeat is the word.
    std::optional<int> probe_repeating(int address, int every_ms, int timeout_ms);

    // Waits up to `ms`; a lost line ends the wait early. False when the station stops.
    bool pause(int ms);
    // Waits until DSR differs from `on`, up to `ms`; true when it changed.
    bool wait_dsr_change(bool on, int ms);

    bool line_lost() const { return line_lost_; }
    bool stopped() const { return stop_requested_; }
    // From any thread: ends every wait at once; later calls fail with Stopped.
    void stop();
    // An exception from the serial component's notifications on this thread: the line is lost.
    void on_exception(std::exception_ptr error);

private:
    void on_receive(TComm* comm, std::uint16_t count);
    void on_events(TCommEvents events);
    bool write(const void* bytes, int count);
    void discard_received();
    Reply await_reply(const frames::Frame& command, int length, int timeout_ms);
    static bool matches(const frames::Frame& command, int length, const frames::Frame& reply);
    void run_loop(int timeout_ms);
    void wake();

    int port_;
    std::uint8_t camera_id_;
    std::unique_ptr<TComm> comm_;
    QString device_; // fixed by the first open that succeeded
    ReceiveDecoder decoder_;
    frames::Frame incoming_{};           // the frame being decoded
    std::deque<frames::Frame> replies_; // complete frames not yet looked at, oldest first
    bool modem_signals_ = false;
    bool line_lost_ = false;
    bool watching_dsr_ = false;
    bool dsr_dropped_ = false;
    QEventLoop* loop_ = nullptr;
    std::atomic<bool> stop_requested_{false};
};

} // namespace station
