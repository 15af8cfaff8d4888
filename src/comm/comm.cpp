#include "comm/comm.h"

#include "comm/custom_speed.h"
#include "comm/line_settings.h"
#include "comm/port_naming.h"

#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

const char* const kNotStarted = "通信が開始されていない。";
const char* const kTooLong = "送信データ長が長すぎる。";

// Total time a Write or a Read may take.
constexpr std::chrono::milliseconds kWriteTimeout{1000};
constexpr std::chrono::milliseconds kReadTimeout{1000};
constexpr int kBreakMs = 500;
// How often Write looks again at the output queue while it is too full for the next block.
constexpr std::chrono::milliseconds kOutputRoomRecheck{1};

int milliseconds_until(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits until `fd` reports `events` (or an error or hang-up, which the next call then sees).
bool wait_ready(int fd, short events, Clock::time_point deadline)
{
    while (true) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, milliseconds_until(deadline));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

bool would_block(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

// Errors after which the device will not work again until it is opened anew.
bool device_gone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

// Devices without modem control lines (pseudo-terminals) refuse these; nothing to do then.
void set_modem_lines(int fd, int lines, bool on) { ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &lines); }

void signal_eventfd(int fd)
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
}

std::string with_code(const char* text, long code) { return text + std::to_string(code); }

} // namespace

ECommOpenError::ECommOpenError(int code) : ECommError(with_code("オープンエラー ErrorCode = ", code)), code_(code) {}

ECommReadWriteError::ECommReadWriteError(int code)
    : ECommError(with_code("入出力エラー ErrorCode = ", code)), code_(code)
{
}

ECommLineLost::ECommLineLost()
    : ECommError("The serial line is gone: the device hung up or was unplugged. Check the cable and the "
                 "adapter, then use Load to open the port again.")
{
}

// Marks a received-bytes handler as running and, however it ends, tells the watcher it has
// returned so that the watcher looks at the device again.
class TComm::ReceiveScope {
public:
    ReceiveScope(TComm& comm, std::uint64_t generation) : comm_(comm), generation_(generation)
    {
        comm_.receiving_ = true;
    }
    ~ReceiveScope()
    {
        comm_.receiving_ = false;
        comm_.acknowledge_receive(generation_);
    }
    ReceiveScope(const ReceiveScope&) = delete;
    ReceiveScope& operator=(const ReceiveScope&) = delete;

private:
    TComm& comm_;
    std::uint64_t generation_;
};

TComm::TComm(QObject* parent) : QObject(parent) {}

TComm::~TComm() { Close(); }

QString TComm::DevicePath() const { return device_path_.isEmpty() ? port_device_path(port_) : device_path_; }

// ---- Open and close ------------------------------------------------------------------------

void TComm::Open()
{
    if (IsOpen()) return;
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0) throw ECommError(std::string("Cannot create the watcher's wake-up event: ") + std::strerror(errno));
    try {
        open_device();
        configure_device();
    } catch (...) {
        release_device();
        throw;
    }
    line_lost_ = false;
    start_watcher();
    set_modem_lines(fd_, TIOCM_DTR, true);
}

void TComm::Close()
{
    if (!IsOpen()) return;
    stop_watcher();
    set_modem_lines(fd_, TIOCM_DTR, false);
    ::tcflush(fd_, TCIOFLUSH);
    release_device();
}

void TComm::open_device()
{
    // Non-blocking: Read and Write wait with poll() so that their total time-outs hold.
    const int fd = ::open(QFile::encodeName(DevicePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw ECommOpenError(-1);
    // Exclusive use: later opens of the device fail with EBUSY (root is exempt). Also rejects
    // anything that is not a terminal.
    if (::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        throw ECommOpenError(-1);
    }
    fd_ = fd;
}

// Queue sizes need no set-up: the kernel's buffers are fixed, OutQueueSize only limits Write.
void TComm::configure_device()
{
    ::tcflush(fd_, TCIOFLUSH);
    change_line_settings(line_settings::make_raw);
    apply_baud_rate();
    apply_byte_size();
    apply_parity_bits();
    apply_stop_bits();
    apply_flow_controls();
    // ReceiveNotifySize and SendNotifySize only feed XON/XOFF thresholds, which termios lacks.
    apply_event_mask();
}

void TComm::start_watcher()
{
    stop_watching_ = false;
    receive_handled_ = false;
    transmit_pending_ = false;
    watcher_ = new TCommWatch(this, fd_, wake_fd_);
    watcher_->start();
}

// The wake-up event also releases a watcher that waits for a receive handler to return, so this
// cannot deadlock when called from inside that handler.
void TComm::stop_watcher()
{
    if (!watcher_) return;
    stop_watching_ = true;
    signal_eventfd(wake_fd_);
    watcher_->wait();
    delete watcher_;
    watcher_ = nullptr;
}

void TComm::release_device()
{
    if (fd_ >= 0) ::close(fd_);
    if (wake_fd_ >= 0) ::close(wake_fd_);
    fd_ = -1;
    wake_fd_ = -1;
    ++generation_; // notifications still queued for this opening are dropped
}

// ---- Line settings -------------------------------------------------------------------------

void TComm::change_line_settings(const std::function<void(termios&)>& change)
{
    termios attributes{};
    if (::tcgetattr(fd_, &attributes) != 0)
        throw ECommError(with_code("Cannot read the line settings, errno ", errno));
    change(attributes);
    if (::tcsetattr(fd_, TCSANOW, &attributes) != 0)
        throw ECommError(with_code("Cannot apply the line settings, errno ", errno));
}

void TComm::apply_baud_rate()
{
    if (!IsOpen()) return;
    const long rate = baud_rate_ == -1 ? baud_rate_user_ : baud_rate_;
    if (rate <= 0) throw ECommError(with_code("Unsupported baud rate ", rate));
    if (const speed_t speed = line_settings::standard_speed(rate)) {
        change_line_settings([speed](termios& attributes) {
            ::cfsetispeed(&attributes, speed);
            ::cfsetospeed(&attributes, speed);
        });
        return;
    }
    if (set_custom_speed(fd_, static_cast<int>(rate)) != 0)
        throw ECommError(with_code("The serial device does not accept the baud rate ", rate));
}

void TComm::apply_byte_size()
{
    if (!IsOpen()) return;
    change_line_settings([size = byte_size_](termios& attributes) { line_settings::set_byte_size(attributes, size); });
}

void TComm::apply_parity_bits()
{
    if (!IsOpen()) return;
    change_line_settings([parity = parity_](termios& attributes) { line_settings::set_parity(attributes, parity); });
}

void TComm::apply_stop_bits()
{
    if (!IsOpen()) return;
    change_line_settings([stop = stop_bits_](termios& attributes) { line_settings::set_stop_bits(attributes, stop); });
}

void TComm::apply_flow_controls()
{
    if (!IsOpen()) return;
    change_line_settings([flow = flow_](termios& attributes) { line_settings::set_flow_control(attributes, flow); });
    // Without RTS/CTS handshaking RTS is held on. DTR is raised by Open and stays on: DTR/DSR
    // handshaking has no termios equivalent.
    if (!(flow_ & flow_bit(cfcRtsCts))) set_modem_lines(fd_, TIOCM_RTS, true);
}

// The watcher always watches for received bytes, whatever the mask says.
void TComm::apply_event_mask()
{
    if (!IsOpen()) return;
    watched_events_ = static_cast<TCommEvents>(event_mask_ | event_bit(evRxchar));
    signal_eventfd(wake_fd_); // the watcher picks up the new mask
}

void TComm::SetPort(std::uint8_t port) { port_ = port; } // used by the next Open

void TComm::SetBaudRate(std::int32_t rate)
{
    baud_rate_ = rate;
    apply_baud_rate();
}

void TComm::SetBaudRateUserDefined(std::uint16_t rate)
{
    baud_rate_user_ = rate;
    baud_rate_ = -1;
    apply_baud_rate();
}

void TComm::SetParityBits(TCommParityBits parity)
{
    parity_ = parity;
    apply_parity_bits();
}

void TComm::SetByteSize(TCommByteSize size)
{
    byte_size_ = size;
    apply_byte_size();
}

void TComm::SetStopBits(TCommStopBits stop_bits)
{
    stop_bits_ = stop_bits;
    apply_stop_bits();
}

void TComm::SetFlowControls(TCommFlowControls flow)
{
    flow_ = flow;
    apply_flow_controls();
}

void TComm::SetInQueueSize(std::uint16_t size) { in_queue_size_ = size; }
void TComm::SetOutQueueSize(std::uint16_t size) { out_queue_size_ = size; }

// Both only set XON/XOFF thresholds (InQueueSize - ReceiveNotifySize and SendNotifySize), which
// termios does not have; they are kept as properties only.
void TComm::SetReceiveNotifySize(std::int32_t size) { receive_notify_size_ = size; }
void TComm::SetSendNotifySize(std::int32_t size) { send_notify_size_ = size; }

void TComm::SetEventMask(TCommEvents mask)
{
    event_mask_ = mask;
    apply_event_mask();
}

// ---- Data transfer -------------------------------------------------------------------------

int TComm::bytes_waiting() const
{
    int waiting = 0;
    return ::ioctl(fd_, FIONREAD, &waiting) == 0 ? waiting : 0;
}

bool TComm::wait_for_output_room(int count, Clock::time_point deadline) const
{
    while (true) {
        int queued = 0;
        if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) return true; // unknown: let the write find out
        if (out_queue_size_ - queued >= count) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kOutputRoomRecheck);
    }
}

bool TComm::Write(const void* buffer, int count)
{
    if (!IsOpen()) throw ECommError(kNotStarted);
    if (count > out_queue_size_) throw ECommError(kTooLong);
    if (count <= 0) return count == 0;
    const auto deadline = Clock::now() + kWriteTimeout;
    if (!wait_for_output_room(count, deadline)) return false;

    const auto* bytes = static_cast<const char*>(buffer);
    int done = 0;
    bool first_attempt = true;
    while (done < count) {
        const ssize_t written = ::write(fd_, bytes + done, static_cast<size_t>(count - done));
        if (written >= 0) {
            done += static_cast<int>(written);
        } else if (!would_block(errno)) {
            const int error = errno;
            if (device_gone(error)) mark_line_lost();
            if (first_attempt) throw ECommReadWriteError(error);
            return false;
        } else if (!wait_ready(fd_, POLLOUT, deadline)) {
            return false;
        }
        first_attempt = false;
    }
    if (OnCommTransmit && (event_mask_ & event_bit(evTxempty))) {
        transmit_pending_ = true;
        signal_eventfd(wake_fd_);
    }
    return true;
}

bool TComm::Read(void* buffer, int count)
{
    if (!IsOpen()) throw ECommError(kNotStarted);
    if (count <= 0) return count == 0;
    const auto deadline = Clock::now() + kReadTimeout;

    auto* bytes = static_cast<char*>(buffer);
    int done = 0;
    bool first_attempt = true;
    while (done < count) {
        const ssize_t got = ::read(fd_, bytes + done, static_cast<size_t>(count - done));
        if (got > 0) {
            done += static_cast<int>(got);
        } else if (got < 0 && would_block(errno)) {
            if (!wait_ready(fd_, POLLIN, deadline)) break;
        } else {
            const int error = got < 0 ? errno : 0;
            if (got == 0 || device_gone(error)) mark_line_lost();
            if (got < 0 && first_attempt) throw ECommReadWriteError(error);
            break; // end of input or a failure after bytes were read
        }
        first_attempt = false;
    }
    if (done > 0) ++reads_done_;
    return done == count;
}

void TComm::SendString(const std::string& text) { Write(text.data(), static_cast<int>(text.size())); }

// The break is held on a local event loop, so the GUI stays responsive for the 500 ms.
void TComm::SendBreak()
{
    if (::ioctl(fd_, TIOCSBRK) != 0) throw ECommReadWriteError(errno);
    const QPointer<TComm> alive(this);
    QEventLoop hold;
    QTimer::singleShot(kBreakMs, &hold, &QEventLoop::quit);
    hold.exec();
    // Closing the device during the hold ends the break with it.
    if (alive && IsOpen()) ::ioctl(fd_, TIOCCBRK);
}

bool TComm::GetDsrState() const
{
    if (!IsOpen()) return false;
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) == 0) return (lines & TIOCM_DSR) != 0;
    // A device without modem lines (a pseudo-terminal) cannot show DSR. Report it on rather than
    // claim that no camera is attached.
    return errno == ENOTTY || errno == EINVAL;
}

bool TComm::HasModemLines() const
{
    int lines = 0;
    return IsOpen() && ::ioctl(fd_, TIOCMGET, &lines) == 0;
}

// ---- Notifications on the GUI thread -------------------------------------------------------

void TComm::deliver_receive(std::uint64_t generation)
{
    if (generation != generation_ || !IsOpen()) return;
    // Only reachable when a handler closed and reopened the port and then ran a nested event loop:
    // the new notification waits until that handler has returned.
    if (receiving_) {
        deferred_receive_ = generation;
        return;
    }
    ReceiveScope scope(*this, generation);
    DoCommReceive();
}

void TComm::acknowledge_receive(std::uint64_t generation)
{
    if (generation == generation_ && IsOpen()) {
        receive_handled_ = true;
        signal_eventfd(wake_fd_);
    }
    if (deferred_receive_ != 0) {
        const std::uint64_t deferred = std::exchange(deferred_receive_, 0);
        QMetaObject::invokeMethod(this, [this, deferred] { deliver_receive(deferred); }, Qt::QueuedConnection);
    }
}

void TComm::deliver_transmit(std::uint64_t generation)
{
    if (generation == generation_) DoCommTransmit();
}

void TComm::deliver_events(std::uint64_t generation, TCommEvents events)
{
    if (generation == generation_) DoCommEvent(events);
}

bool TComm::mark_line_lost() { return !line_lost_.exchange(true); }

void TComm::post_watcher_error(std::exception_ptr error)
{
    QMetaObject::invokeMethod(this, [error] { std::rethrow_exception(error); }, Qt::QueuedConnection);
}

void TComm::DoCommReceive()
{
    if (!IsOpen() || !OnCommReceive) return;
    const int waiting = bytes_waiting();
    if (waiting >= 1) OnCommReceive(this, static_cast<std::uint16_t>(waiting));
}

void TComm::DoCommTransmit()
{
    if (!IsOpen() || !OnCommTransmit) return;
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) queued = 0;
    OnCommTransmit(this, static_cast<std::uint16_t>(queued));
}

void TComm::DoCommEvent(TCommEvents events)
{
    if (!IsOpen() || !OnCommEvent) return;
    constexpr TCommEvents kPassed = event_bit(evBreak) | event_bit(evCts) | event_bit(evDsr) | event_bit(evErr) |
                                    event_bit(evRing) | event_bit(evRlsd) | event_bit(evRxflag);
    OnCommEvent(this, static_cast<TCommEvents>(events & kPassed));
}
