#pragma once
// Serial port component: owns one serial device (termios), its line settings, byte reads and
// writes, the DSR line, and a watcher thread that reports line events to the owner on the GUI
// thread.

#include <QObject>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

class ECommError : public std::runtime_error {
public:
    explicit ECommError(const std::string& message) : std::runtime_error(message) {}
};

class ECommOpenError : public ECommError {
public:
    explicit ECommOpenError(int code);
    int ErrorCode() const { return code_; }

private:
    int code_;
};

class ECommReadWriteError : public ECommError {
public:
    explicit ECommReadWriteError(int code);
    int ErrorCode() const { return code_; }

private:
    int code_;
};

// The device went away under an open port: the far end of a pseudo-terminal closed, or a USB
// adapter was unplugged. Reported once; the port must be closed and opened again to recover.
class ECommLineLost : public ECommError {
public:
    ECommLineLost();
};

enum TCommParityBits : std::uint8_t { cpbNone, cpbOdd, cpbEven, cpbMark, cpbSpace };
enum TCommByteSize : std::uint8_t { cbs4, cbs5, cbs6, cbs7, cbs8 };
enum TCommStopBits : std::uint8_t { csb1, csb15, csb2 };

// Flow-control set: bit k is element k.
enum TCommFlowControl : std::uint8_t { cfcDtrDsr, cfcRtsCts, cfcXonXoff };
using TCommFlowControls = std::uint8_t;
constexpr TCommFlowControls flow_bit(TCommFlowControl f) { return static_cast<TCommFlowControls>(1u << f); }

// Line-event set: bit k is event k.
enum TCommEvent : std::uint8_t { evRxchar, evRxflag, evTxempty, evCts, evDsr, evRlsd, evBreak, evErr, evRing, evPerr };
using TCommEvents = std::uint16_t;
constexpr TCommEvents event_bit(TCommEvent e) { return static_cast<TCommEvents>(1u << e); }

class TComm;
struct termios;

// Waits in poll() on the device and on a wake-up descriptor; hands each notification to the GUI
// thread and does not wait again until the GUI thread's handler for a received-bytes notification
// has returned.
class TCommWatch : public QThread {
    Q_OBJECT
public:
    TCommWatch(TComm* owner, int fd, int wake_fd);

protected:
    void run() override; // Execute

private:
    using Clock = std::chrono::steady_clock;

    void watch();
    int poll_timeout_ms() const;
    bool wake_up(); // false when the owner asks the watcher to stop
    void on_device_ready(short revents);
    void post_receive();
    void after_receive_handled();
    void end_pause_if_due();
    void check_transmit_empty();
    void check_modem_lines();
    bool nothing_new_since_notification() const;
    void pause_device_watch(std::chrono::milliseconds length);
    void on_hang_up();

    TComm* owner_;
    int fd_;
    int wake_fd_;
    std::uint64_t generation_;
    bool awaiting_ack_ = false;
    // Reads done and bytes waiting when the last received-bytes notification was posted.
    std::uint64_t reads_at_notification_ = 0;
    int waiting_at_notification_ = 0;
    // While set, the device is not polled for input: it hung up, or holds bytes nobody reads.
    bool paused_ = false;
    bool paused_for_unread_ = false;
    // The device hung up: it is never polled again; only Close wakes the watcher.
    bool hung_up_ = false;
    Clock::time_point pause_end_;
    int modem_lines_ = -1; // last TIOCM_* state seen, -1 before the first read
};

class TComm : public QObject {
    Q_OBJECT
public:
    explicit TComm(QObject* parent = nullptr);
    ~TComm() override;

    void Open();
    void Close();
    // Virtual so that a test double can fail writes.
    virtual bool Write(const void* buffer, int count);
    bool Read(void* buffer, int count);
    void SendString(const std::string& text);
    void SendBreak();
    // Virtual, as HasModemLines, so that a test double can play a line with modem signals.
    virtual bool GetDsrState() const;
    bool DsrState() const { return GetDsrState(); }
    // True when the open device has modem control lines (a real serial port; a pseudo-terminal
    // has none).
    virtual bool HasModemLines() const;
    bool IsOpen() const { return fd_ >= 0; }
    // True once the open device has hung up or failed (see ECommLineLost); cleared by Open.
    bool LineLost() const { return line_lost_; }
    // Path of the device that Open() uses: the one set by SetDevicePath, else the current Port's.
    QString DevicePath() const;
    // From now on Open() uses `path` whatever the Port (an empty path: the Port's device again).
    void SetDevicePath(const QString& path) { device_path_ = path; }

    std::uint8_t Port() const { return port_; }
    void SetPort(std::uint8_t port);
    std::int32_t BaudRate() const { return baud_rate_; }
    void SetBaudRate(std::int32_t rate);
    std::uint16_t BaudRateUserDefined() const { return baud_rate_user_; }
    void SetBaudRateUserDefined(std::uint16_t rate);
    TCommParityBits ParityBits() const { return parity_; }
    void SetParityBits(TCommParityBits parity);
    TCommByteSize ByteSize() const { return byte_size_; }
    void SetByteSize(TCommByteSize size);
    TCommStopBits StopBits() const { return stop_bits_; }
    void SetStopBits(TCommStopBits stop_bits);
    TCommFlowControls FlowControls() const { return flow_; }
    void SetFlowControls(TCommFlowControls flow);
    std::uint16_t InQueueSize() const { return in_queue_size_; }
    void SetInQueueSize(std::uint16_t size);
    std::uint16_t OutQueueSize() const { return out_queue_size_; }
    void SetOutQueueSize(std::uint16_t size);
    std::int32_t ReceiveNotifySize() const { return receive_notify_size_; }
    void SetReceiveNotifySize(std::int32_t size);
    std::int32_t SendNotifySize() const { return send_notify_size_; }
    void SetSendNotifySize(std::int32_t size);
    TCommEvents EventMask() const { return event_mask_; }
    void SetEventMask(TCommEvents mask);

    // Event handlers, called on the GUI thread while the port is open.
    std::function<void(TComm*, TCommEvents)> OnCommEvent;
    std::function<void(TComm*, std::uint16_t)> OnCommReceive;
    std::function<void(TComm*, std::uint16_t)> OnCommTransmit;

protected:
    virtual void DoCommEvent(TCommEvents events);
    virtual void DoCommReceive();
    virtual void DoCommTransmit();

private:
    friend class TCommWatch;
    class ReceiveScope;

    // Called on the GUI thread through queued calls posted by the watcher of `generation`.
    void deliver_receive(std::uint64_t generation);
    void deliver_transmit(std::uint64_t generation);
    void deliver_events(std::uint64_t generation, TCommEvents events);
    void acknowledge_receive(std::uint64_t generation);
    // Posted by the watcher: rethrows on the GUI thread so the application reports it.
    void post_watcher_error(std::exception_ptr error);
    // Marks the line lost; true the first time, so that it is reported once.
    bool mark_line_lost();

    void open_device();
    void configure_device();
    void start_watcher();
    void stop_watcher();
    void release_device();
    void change_line_settings(const std::function<void(termios&)>& change);
    void apply_baud_rate();
    void apply_byte_size();
    void apply_parity_bits();
    void apply_stop_bits();
    void apply_flow_controls();
    void apply_event_mask();
    int bytes_waiting() const;
    bool wait_for_output_room(int count, std::chrono::steady_clock::time_point deadline) const;

    std::uint8_t port_ = 1;
    QString device_path_;
    std::int32_t baud_rate_ = 9600;
    std::uint16_t baud_rate_user_ = 9600;
    TCommParityBits parity_ = cpbNone;
    TCommByteSize byte_size_ = cbs8;
    TCommStopBits stop_bits_ = csb1;
    TCommFlowControls flow_ = flow_bit(cfcRtsCts);
    std::uint16_t in_queue_size_ = 4096;
    std::uint16_t out_queue_size_ = 4096;
    std::int32_t receive_notify_size_ = 3072;
    std::int32_t send_notify_size_ = 1024;
    TCommEvents event_mask_ = 0;
    int fd_ = -1;
    TCommWatch* watcher_ = nullptr;

    int wake_fd_ = -1;                // eventfd: Close's stop request and the receive handler's ack
    std::uint64_t generation_ = 1;    // bumped by Close; stale queued notifications are dropped
    bool receiving_ = false;          // a receive handler is running (GUI thread)
    std::uint64_t deferred_receive_ = 0; // generation of a notification held back by receiving_
    std::atomic<bool> stop_watching_{false};
    std::atomic<bool> receive_handled_{false};      // the ack that goes with a wake-up
    std::atomic<std::uint64_t> reads_done_{0};      // Read calls that returned bytes
    std::atomic<bool> transmit_pending_{false};     // a Write waits for its transmit-empty event
    std::atomic<TCommEvents> watched_events_{0};    // EventMask as applied to the open device
    std::atomic<bool> line_lost_{false};            // the device hung up or failed
};
