#include "sim_camera.h"

#include "comm/port_naming.h"

#include <QDir>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {
namespace {

// A unit left incomplete this long gets no more bytes: the tool writes each unit in one go.
constexpr auto kGiveUpPartialAfter = std::chrono::milliseconds(500);
// Oldest received units are forgotten beyond this many, so a long-running simulator stays small.
constexpr std::size_t kReceivedLogLimit = 20000;
// Bytes read from the master per wake-up before output gets its turn.
constexpr std::size_t kMaxReadPerWake = 64 * 1024;

void close_fd(int& fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool make_raw(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B19200);
    ::cfsetospeed(&tio, B19200);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool set_flags(int fd, int status_flags)
{
    const int old = ::fcntl(fd, F_GETFL);
    return old >= 0 && ::fcntl(fd, F_SETFL, old | status_flags) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

timespec to_timespec(Clock::duration d)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::max(d, Clock::duration::zero()))
                        .count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

} // namespace

SimCamera::SimCamera() = default;

SimCamera::~SimCamera()
{
    stop();
}

bool SimCamera::start()
{
    if (thread_.joinable()) return true;
    if (::openpty(&master_fd_, &slave_keep_fd_, nullptr, nullptr, nullptr) != 0) return false;
    std::array<char, 128> name{};
    const bool ok = make_raw(slave_keep_fd_) && set_flags(master_fd_, O_NONBLOCK) &&
                    set_flags(slave_keep_fd_, 0) &&
                    ::ptsname_r(master_fd_, name.data(), name.size()) == 0;
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (!ok || wake_fd_ < 0) {
        close_fds();
        return false;
    }
    slave_path_ = name.data();
    // Optional: lets the simulator release a client's exclusive use once the client closes.
    inotify_fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_fd_ >= 0 &&
        ::inotify_add_watch(inotify_fd_, slave_path_.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
        close_fd(inotify_fd_);

    reader_ = FrameReader{};
    output_.clear();
    write_blocked_ = false;
    stopping_ = false;
    thread_ = std::thread(&SimCamera::run, this);
    return true;
}

void SimCamera::stop()
{
    if (thread_.joinable()) {
        stopping_ = true;
        wake();
        thread_.join();
    }
    unpublish();
    close_fds();
    slave_path_.clear();
}

void SimCamera::close_fds()
{
    close_fd(inotify_fd_);
    close_fd(wake_fd_);
    close_fd(master_fd_);
    close_fd(slave_keep_fd_);
}

std::string SimCamera::slave_path() const
{
    return slave_path_;
}

bool SimCamera::publish_as_port(int port)
{
    namespace fs = std::filesystem;
    if (slave_path_.empty() || !QDir().mkpath(port_links_folder())) return false;
    const std::string link = port_link_path(port).toStdString();
    if (!link_path_.empty() && link_path_ != link) unpublish();
    // Build the new link beside the old one and rename it over, so the port never goes missing.
    const std::string fresh = link + ".new-" + std::to_string(::getpid());
    std::error_code ec;
    fs::remove(fresh, ec);
    fs::create_symlink(slave_path_, fresh, ec);
    if (!ec) fs::rename(fresh, link, ec);
    if (ec) {
        fs::remove(fresh, ec);
        return false;
    }
    link_path_ = link;
    return true;
}

void SimCamera::unpublish()
{
    namespace fs = std::filesystem;
    if (link_path_.empty()) return;
    std::error_code ec;
    // Another simulator may have taken the port over since; its link stays.
    if (fs::read_symlink(link_path_, ec) == fs::path(slave_path_) && !ec) fs::remove(link_path_, ec);
    link_path_.clear();
}

std::vector<Bytes> SimCamera::received() const
{
    std::lock_guard lock(state_mutex_);
    return {received_.begin(), received_.end()};
}

std::size_t SimCamera::received_count() const
{
    std::lock_guard lock(state_mutex_);
    return received_.size();
}

void SimCamera::clear_received()
{
    std::lock_guard lock(state_mutex_);
    received_.clear();
}

void SimCamera::inject(Fault fault, int next_n)
{
    std::lock_guard lock(state_mutex_);
    faults_.inject(fault, next_n);
}

void SimCamera::inject_for_command(Fault fault, std::uint8_t code, std::optional<std::uint8_t> sub)
{
    std::lock_guard lock(state_mutex_);
    faults_.inject_for_command(fault, code, sub);
}

void SimCamera::clear_faults()
{
    std::lock_guard lock(state_mutex_);
    faults_.clear();
}

void SimCamera::set_late_delay_ms(int ms)
{
    std::lock_guard lock(state_mutex_);
    timing_.late_delay = std::chrono::milliseconds(std::max(ms, 0));
}

void SimCamera::set_split_pause_ms(int ms)
{
    std::lock_guard lock(state_mutex_);
    timing_.split_pause = std::chrono::milliseconds(std::max(ms, 0));
}

void SimCamera::set_baud_pacing(bool on)
{
    std::lock_guard lock(state_mutex_);
    timing_.baud_pacing = on;
}

void SimCamera::set_boot_ms(int ms)
{
    std::lock_guard lock(state_mutex_);
    boot_time_ = std::chrono::milliseconds(std::max(ms, 0));
}

void SimCamera::set_reset_delay_ms(int ms)
{
    std::lock_guard lock(state_mutex_);
    reset_delay_ = std::chrono::milliseconds(std::max(ms, 0));
}

void SimCamera::set_reset_ignored(bool ignored)
{
    std::lock_guard lock(state_mutex_);
    reset_ignored_ = ignored;
}

void SimCamera::set_swap_on_reset(bool swap)
{
    std::lock_guard lock(state_mutex_);
    swap_on_reset_ = swap;
}

void SimCamera::set_on_restart(std::function<void(CameraModel&)> change)
{
    std::lock_guard lock(state_mutex_);
    on_restart_ = std::move(change);
}

void SimCamera::set_lost_reads(double fraction, std::uint32_t seed)
{
    std::lock_guard lock(state_mutex_);
    lost_reads_ = std::clamp(fraction, 0.0, 1.0);
    loss_generator_.seed(seed);
}

void SimCamera::unplug()
{
    {
        std::lock_guard lock(state_mutex_);
        plugged_in_ = false;
    }
    wake(); // the thread drops the answers still waiting to go out
}

void SimCamera::plug_in(std::uint32_t seed)
{
    {
        std::lock_guard lock(model_mutex_);
        model_ = model_.another_camera(seed);
    }
    std::lock_guard lock(state_mutex_);
    plugged_in_ = true;
    booted_at_ = Clock::now() + boot_time_;
}

bool SimCamera::plugged_in() const
{
    std::lock_guard lock(state_mutex_);
    return plugged_in_;
}

void SimCamera::set_unwritten_word(std::optional<int> address)
{
    std::optional<std::size_t> word;
    if (address && *address >= 0 && static_cast<std::size_t>(*address) < kParamWords)
        word = static_cast<std::size_t>(*address);
    std::lock_guard lock(model_mutex_);
    model_.set_unwritten_word(word);
}

void SimCamera::send_raw(const std::vector<std::uint8_t>& bytes)
{
    {
        std::lock_guard lock(state_mutex_);
        raw_sends_.push_back(bytes);
    }
    wake();
}

void SimCamera::wake()
{
    if (wake_fd_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wake_fd_, &one, sizeof one);
}

// ---- simulator thread ----

void SimCamera::run()
{
    while (!stopping_) {
        const std::array<pollfd, 3> fds = wait_for_activity();
        if (fds[0].revents & POLLIN) {
            drain_wake_fd();
            take_raw_sends();
        }
        if (fds[2].revents & POLLIN) release_exclusive_use();
        if (fds[1].revents & POLLOUT) write_blocked_ = false;
        if (fds[1].revents & POLLIN) read_master();
        act_on_due_reset();
        if (!listening()) forget_line_state();
        give_up_stale_partial();
        write_due();
    }
}

// Sleeps until a descriptor is ready or the next output piece or partial unit falls due. The
// master never reports a hang-up: slave_keep_fd_ holds the slave open.
std::array<pollfd, 3> SimCamera::wait_for_activity() const
{
    const short master_events = static_cast<short>(POLLIN | (write_blocked_ ? POLLOUT : 0));
    std::array<pollfd, 3> fds{{{wake_fd_, POLLIN, 0},
                               {master_fd_, master_events, 0},
                               {inotify_fd_, POLLIN, 0}}};
    const auto deadline = next_deadline();
    const bool timed = deadline != Clock::time_point::max();
    const timespec timeout = timed ? to_timespec(deadline - Clock::now()) : timespec{};
    if (::ppoll(fds.data(), fds.size(), timed ? &timeout : nullptr, nullptr) < 0)
        for (pollfd& fd : fds) fd.revents = 0; // EINTR: just go round again
    return fds;
}

void SimCamera::give_up_stale_partial()
{
    if (!reader_.has_partial() || Clock::now() - last_rx_ < kGiveUpPartialAfter) return;
    if (read_master()) return; // more bytes came after all
    const std::vector<Bytes> units = reader_.give_up_partial();
    report_dropped();
    handle_units(units);
}

Clock::time_point SimCamera::next_deadline() const
{
    Clock::time_point deadline = Clock::time_point::max();
    if (!output_.empty() && !write_blocked_) deadline = output_.front().piece.due;
    if (reader_.has_partial()) deadline = std::min(deadline, last_rx_ + kGiveUpPartialAfter);
    std::lock_guard lock(state_mutex_);
    if (reset_due_) deadline = std::min(deadline, *reset_due_);
    return deadline;
}

void SimCamera::drain_wake_fd()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(wake_fd_, &count, sizeof count);
}

// A client that closes the slave ends its exclusive use; since the simulator keeps the slave open
// the terminal would otherwise stay exclusive and refuse the client's next open.
void SimCamera::release_exclusive_use()
{
    std::array<char, 4096> events{};
    while (::read(inotify_fd_, events.data(), events.size()) > 0) {
    }
    ::ioctl(slave_keep_fd_, TIOCNXCL);
}

bool SimCamera::read_master()
{
    std::array<std::uint8_t, 4096> buffer{};
    std::size_t total = 0;
    while (total < kMaxReadPerWake) {
        const ssize_t n = ::read(master_fd_, buffer.data(), buffer.size());
        if (n <= 0) break;
        total += static_cast<std::size_t>(n);
        last_rx_ = Clock::now();
        if (!listening()) {
            ignore(Bytes(buffer.data(), buffer.data() + n));
            continue;
        }
        const std::vector<Bytes> units = reader_.feed({buffer.data(), static_cast<std::size_t>(n)});
        report_dropped();
        handle_units(units);
    }
    return total > 0;
}

// Units that follow a reset in the same read reach a camera that is already restarting.
void SimCamera::handle_units(const std::vector<Bytes>& units)
{
    for (const Bytes& unit : units) {
        if (listening()) handle_unit(unit);
        else ignore(unit);
    }
    if (!listening()) forget_line_state();
}

bool SimCamera::listening() const
{
    std::lock_guard lock(state_mutex_);
    return plugged_in_ && Clock::now() >= booted_at_;
}

void SimCamera::start_boot()
{
    std::lock_guard lock(state_mutex_);
    booted_at_ = Clock::now() + boot_time_;
}

void SimCamera::ignore(const Bytes& bytes)
{
    if (trace_) trace_({TraceEvent::Kind::Ignored, bytes});
}

// A camera that restarts or goes away loses a unit half received and the answers not yet sent.
void SimCamera::forget_line_state()
{
    reader_ = FrameReader{};
    output_.clear();
}

void SimCamera::handle_unit(const Bytes& unit)
{
    {
        std::lock_guard lock(state_mutex_);
        received_.push_back(unit);
        if (received_.size() > kReceivedLogLimit) received_.pop_front();
    }
    if (trace_) trace_({TraceEvent::Kind::Received, unit});
    if (unit.size() == frames::kFrameSize && unit[1] == frames::kCommandReset) {
        take_reset();
        return;
    }

    Bytes answer;
    {
        std::lock_guard lock(model_mutex_);
        answer = model_.answer(unit);
    }
    if (answer.empty()) return;

    Fault fault = Fault::None;
    OutputTiming timing;
    {
        std::lock_guard lock(state_mutex_);
        fault = faults_.take_for(unit);
        timing = timing_;
    }
    if (fault == Fault::None && loses_answer(unit)) fault = Fault::NoAnswer;
    if (fault == Fault::NoAnswer) {
        if (trace_) trace_({TraceEvent::Kind::Withheld, answer, fault});
        return;
    }
    answer = apply_content_fault(fault, std::move(answer));
    enqueue(answer, fault, timing);
}

// The reset has no answer; the camera restarts now, a moment later or never (set_reset_*).
void SimCamera::take_reset()
{
    {
        std::lock_guard lock(state_mutex_);
        if (reset_ignored_) return;
        reset_due_ = Clock::now() + reset_delay_;
    }
    act_on_due_reset();
}

// A reset falls due: the camera restarts (another one comes in its place when swapping), and
// boots. Its parameter memory survives.
void SimCamera::act_on_due_reset()
{
    bool swap = false;
    std::function<void(CameraModel&)> on_restart;
    {
        std::lock_guard lock(state_mutex_);
        if (!reset_due_ || Clock::now() < *reset_due_) return;
        reset_due_.reset();
        swap = swap_on_reset_;
        on_restart = on_restart_;
    }
    {
        std::lock_guard lock(model_mutex_);
        if (swap) model_ = model_.written_alike(model_.seed() + 1);
        model_.restart();
        if (on_restart) on_restart(model_);
    }
    start_boot();
}

bool SimCamera::loses_answer(const Bytes& unit)
{
    std::lock_guard lock(state_mutex_);
    if (lost_reads_ <= 0 || unit.size() != frames::kFrameSize || unit[1] != kClassRead) return false;
    const double draw = static_cast<double>(loss_generator_() - std::minstd_rand::min())
                        / static_cast<double>(std::minstd_rand::max() - std::minstd_rand::min());
    return draw < lost_reads_;
}

void SimCamera::report_dropped()
{
    const std::size_t dropped = reader_.take_dropped_count();
    if (dropped != 0 && trace_) trace_({TraceEvent::Kind::Dropped, {}, Fault::None, dropped});
}

// Answers leave in order: a new one starts after the last piece still waiting.
void SimCamera::enqueue(const Bytes& bytes, Fault fault, const OutputTiming& timing)
{
    Clock::time_point earliest = Clock::now();
    if (!output_.empty())
        earliest = std::max(earliest, output_.back().piece.due + (timing.baud_pacing
                                                                      ? Clock::duration(kByteTime)
                                                                      : Clock::duration::zero()));
    std::vector<TimedBytes> pieces = lay_out(bytes, fault, timing, earliest);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        Pending pending{std::move(pieces[i]), std::nullopt};
        if (i + 1 == pieces.size()) pending.trace = TraceEvent{TraceEvent::Kind::Sent, bytes, fault};
        output_.push_back(std::move(pending));
    }
}

void SimCamera::take_raw_sends()
{
    std::vector<Bytes> sends;
    OutputTiming timing;
    {
        std::lock_guard lock(state_mutex_);
        sends.swap(raw_sends_);
        timing = timing_;
    }
    for (const Bytes& bytes : sends)
        if (!bytes.empty()) enqueue(bytes, Fault::None, timing);
}

void SimCamera::write_due()
{
    while (!output_.empty() && !write_blocked_ && output_.front().piece.due <= Clock::now()) {
        Pending& front = output_.front();
        Bytes& bytes = front.piece.bytes;
        const ssize_t n = ::write(master_fd_, bytes.data(), bytes.size());
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            write_blocked_ = errno == EAGAIN;
            if (write_blocked_) break;
            continue;
        }
        if (n >= 0 && static_cast<std::size_t>(n) < bytes.size()) {
            bytes.erase(bytes.begin(), bytes.begin() + n);
            continue;
        }
        // Written completely (or failed for good: dropped, the line cannot take it).
        if (n >= 0 && front.trace && trace_) trace_(*front.trace);
        output_.pop_front();
    }
}

} // namespace sim
