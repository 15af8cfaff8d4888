// The watcher thread. It blocks in poll() on the device and on the owner's wake-up eventfd, and
// hands notifications to the owner's thread as queued calls.
//
// Received bytes: at most one notification is in flight. After posting it the watcher stops
// polling the device for input until the owner's handler has returned (the owner sets
// receive_handled_ and signals the eventfd). A burst therefore gives one notification, and bytes
// that arrive while the handler runs give a later one. poll() is level-triggered, so bytes that the
// handler left unread would report at once again; when, after a handler, no Read took bytes and the
// number waiting is unchanged, the watcher instead looks again every kUnreadRecheck and notifies
// only once that number changes (new bytes) or a Read took some.
//
// Transmit empty: after a Write (when asked for through the event mask) the watcher checks the
// output queue every kTransmitCheck until it is empty, then posts one notification.
// CTS, DSR, carrier and ring changes: the modem lines are read every kModemLineCheck, only while
// the event mask asks for one of them. Break, line errors, the event character and printer errors
// are not visible through termios without PARMRK and are not reported.
//
// Hang-up or device error (the far end of a pseudo-terminal closed, a USB adapter unplugged): the
// watcher reports ECommLineLost once and stops polling the device, so a dead line costs no CPU and
// raises no flood of notifications. Only Close (and a new Open) brings the port back.

#include "comm/comm.h"

#include "comm/line_settings.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kUnreadRecheck{20};
constexpr milliseconds kTransmitCheck{5};
constexpr milliseconds kModemLineCheck{50};

constexpr TCommEvents kModemLineEvents = event_bit(evCts) | event_bit(evDsr) | event_bit(evRlsd) | event_bit(evRing);

int bytes_waiting_on(int fd)
{
    int waiting = 0;
    return ::ioctl(fd, FIONREAD, &waiting) == 0 ? waiting : 0;
}

} // namespace

TCommWatch::TCommWatch(TComm* owner, int fd, int wake_fd)
    : owner_(owner), fd_(fd), wake_fd_(wake_fd), generation_(owner->generation_)
{
}

// Nothing escapes the thread: a failure of the wait itself is rethrown on the owner's thread,
// where the application reports it, and ends the watch.
void TCommWatch::run()
{
    try {
        watch();
    } catch (...) {
        owner_->post_watcher_error(std::current_exception());
    }
}

void TCommWatch::watch()
{
    while (true) {
        const bool watch_input = !awaiting_ack_ && !paused_ && !hung_up_;
        pollfd entries[2] = {{wake_fd_, POLLIN, 0}, {fd_, POLLIN, 0}};
        const int ready = ::poll(entries, watch_input ? 2 : 1, poll_timeout_ms());
        if (ready < 0) {
            if (errno == EINTR) continue;
            throw ECommReadWriteError(errno);
        }
        const short device_events = watch_input ? entries[1].revents : 0;
        if ((entries[0].revents | device_events) & POLLNVAL) throw ECommReadWriteError(EBADF);
        if ((entries[0].revents & POLLIN) && !wake_up()) return;
        if (device_events) on_device_ready(device_events);
        end_pause_if_due();
        check_transmit_empty();
        check_modem_lines();
    }
}

int TCommWatch::poll_timeout_ms() const
{
    std::optional<milliseconds> timeout;
    const auto consider = [&timeout](milliseconds candidate) {
        timeout = timeout ? std::min(*timeout, candidate) : candidate;
    };
    if (paused_)
        consider(std::max(milliseconds{0}, std::chrono::ceil<milliseconds>(pause_end_ - Clock::now())));
    if (owner_->transmit_pending_) consider(kTransmitCheck);
    if (owner_->watched_events_ & kModemLineEvents) consider(kModemLineCheck);
    return timeout ? static_cast<int>(timeout->count()) : -1;
}

bool TCommWatch::wake_up()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(wake_fd_, &count, sizeof count);
    if (owner_->stop_watching_) return false;
    if (owner_->receive_handled_.exchange(false) && awaiting_ack_) after_receive_handled();
    return true;
}

void TCommWatch::on_device_ready(short revents)
{
    // A hung-up device stays "ready" for ever; bytes still buffered then cannot be read anyway.
    if (revents & (POLLHUP | POLLERR))
        on_hang_up();
    else if (revents & POLLIN)
        post_receive();
}

void TCommWatch::on_hang_up()
{
    hung_up_ = true;
    if (owner_->mark_line_lost()) owner_->post_watcher_error(std::make_exception_ptr(ECommLineLost()));
}

void TCommWatch::post_receive()
{
    reads_at_notification_ = owner_->reads_done_;
    waiting_at_notification_ = bytes_waiting_on(fd_);
    awaiting_ack_ = true;
    QMetaObject::invokeMethod(
        owner_, [owner = owner_, generation = generation_] { owner->deliver_receive(generation); },
        Qt::QueuedConnection);
}

void TCommWatch::after_receive_handled()
{
    awaiting_ack_ = false;
    if (nothing_new_since_notification()) {
        pause_device_watch(kUnreadRecheck);
        paused_for_unread_ = true;
    }
}

bool TCommWatch::nothing_new_since_notification() const
{
    return owner_->reads_done_ == reads_at_notification_ && bytes_waiting_on(fd_) == waiting_at_notification_;
}

void TCommWatch::pause_device_watch(milliseconds length)
{
    paused_ = true;
    paused_for_unread_ = false;
    pause_end_ = Clock::now() + length;
}

void TCommWatch::end_pause_if_due()
{
    if (!paused_ || Clock::now() < pause_end_) return;
    if (paused_for_unread_ && nothing_new_since_notification()) {
        pause_end_ = Clock::now() + kUnreadRecheck;
        return;
    }
    paused_ = false;
}

void TCommWatch::check_transmit_empty()
{
    if (!owner_->transmit_pending_) return;
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0) return;
    owner_->transmit_pending_ = false;
    QMetaObject::invokeMethod(
        owner_, [owner = owner_, generation = generation_] { owner->deliver_transmit(generation); },
        Qt::QueuedConnection);
}

void TCommWatch::check_modem_lines()
{
    const TCommEvents wanted = owner_->watched_events_ & kModemLineEvents;
    int lines = 0;
    if (!wanted || ::ioctl(fd_, TIOCMGET, &lines) != 0) {
        modem_lines_ = -1;
        return;
    }
    const TCommEvents events = modem_lines_ < 0 ? 0 : line_settings::modem_line_changes(modem_lines_, lines, wanted);
    modem_lines_ = lines;
    if (!events) return;
    QMetaObject::invokeMethod(
        owner_, [owner = owner_, generation = generation_, events] { owner->deliver_events(generation, events); },
        Qt::QueuedConnection);
}
