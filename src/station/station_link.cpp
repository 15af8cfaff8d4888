#include "station/station_link.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace station {
namespace {

constexpr std::uint8_t kRead = 0x33;
constexpr std::uint8_t kEeprom = 0x0C;
// The first byte of an EEPROM word's value in the answer to its read.
constexpr std::size_t kWordByte = 5;
constexpr int kWordReadLength = 4;

// The EEPROM word read 0x33 0x0C at `address`, before the frame is completed.
frames::Frame word_read(int address)
{
    frames::Frame command{};
    command[1] = kRead;
    command[2] = kEeprom;
    command[3] = static_cast<std::uint8_t>(address >> 8);
    command[4] = static_cast<std::uint8_t>(address & 0xFF);
    return command;
}

thread_local StationLink* current_link = nullptr;

struct DeviceCheck {
    int error = 0; // errno of a plain open, 0 when it opened
    bool terminal = false;
};

// Opens the device briefly on its own, before the serial component does: the component reports
// only that the open failed.
DeviceCheck check_device(const QString& path)
{
    DeviceCheck check;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        check.error = errno;
        return check;
    }
    check.terminal = ::isatty(fd) == 1;
    ::close(fd);
    return check;
}

QString open_hint(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return QStringLiteral("join the group dialout (id shows it; log in again after usermod)");
    case EBUSY: return QStringLiteral("another program holds it (a terminal program, ModemManager)");
    case ENOENT:
    case ENXIO:
    case ENODEV: return QStringLiteral("is the adapter plugged in, and does the COM link point to it?");
    default: return QStringLiteral("see Troubleshooting in the README");
    }
}

QString open_failure(int port, const QString& path, const DeviceCheck& check)
{
    QString reason;
    int error = check.error;
    if (error == 0 && !check.terminal) {
        reason = QStringLiteral("not a serial device");
    } else {
        if (error == 0) error = EBUSY; // it opened alone, so the exclusive open was refused
        reason = QString::fromLocal8Bit(std::strerror(error));
    }
    return QStringLiteral("port %1 (%2): cannot open: %3; %4").arg(port).arg(path, reason, open_hint(error));
}

} // namespace

void report_thread_exception(std::exception_ptr error)
{
    if (current_link) {
        current_link->on_exception(error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "camera-station: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "camera-station: unknown error\n");
    }
}

StationLink::StationLink(int port, std::uint8_t camera_id, std::unique_ptr<TComm> comm)
    : port_(port), camera_id_(camera_id), comm_(comm ? std::move(comm) : std::make_unique<TComm>())
{
    current_link = this;
    comm_->SetPort(static_cast<std::uint8_t>(port_));
    comm_->OnCommReceive = [this](TComm* comm, std::uint16_t count) { on_receive(comm, count); };
    comm_->OnCommEvent = [this](TComm*, TCommEvents events) { on_events(events); };
}

StationLink::~StationLink()
{
    close();
    if (current_link == this) current_link = nullptr;
}

QString StationLink::device() const { return comm_->DevicePath(); }

bool StationLink::open(QString* error)
{
    close();
    const QString path = device();
    const DeviceCheck check = check_device(path);
    try {
        comm_->SetBaudRate(kCameraBaud);
        comm_->SetFlowControls(0);
        comm_->SetEventMask(event_bit(evDsr));
        comm_->Open();
    } catch (const ECommError&) {
        if (error) *error = open_failure(port_, path, check);
        return false;
    }
    if (device_.isEmpty()) {
        device_ = path;
        comm_->SetDevicePath(device_);
    }
    modem_signals_ = comm_->HasModemLines();
    line_lost_ = false;
    return true;
}

void StationLink::close() { comm_->Close(); }

bool StationLink::is_open() const { return comm_->IsOpen(); }

bool StationLink::dsr() const { return comm_->GetDsrState(); }

void StationLink::watch_camera_leaving(bool on)
{
    watching_dsr_ = on;
    dsr_dropped_ = false;
}

bool StationLink::camera_left() const
{
    return watching_dsr_ && modem_signals_ && (dsr_dropped_ || !dsr());
}

// Each complete frame is kept whole: bytes that follow it in the same notification start the
// next frame in a buffer of their own.
void StationLink::on_receive(TComm* comm, std::uint16_t count)
{
    std::vector<std::uint8_t> bytes(count);
    comm->Read(bytes.data(), count);
    for (std::uint8_t byte : bytes) {
        if (decoder_.feed(byte, incoming_).result == ReceiveDecoder::kFrameComplete) {
            replies_.push_back(incoming_);
            wake();
        }
    }
}

void StationLink::on_events(TCommEvents events)
{
    if (!(events & event_bit(evDsr))) return;
    if (watching_dsr_ && !dsr()) dsr_dropped_ = true;
    wake();
}

// Whatever the serial component reports from its watcher (a hang-up, a failed read) leaves the
// line unusable until it is opened again.
void StationLink::on_exception(std::exception_ptr)
{
    line_lost_ = true;
    wake();
}

void StationLink::wake()
{
    if (loop_) loop_->quit();
}

void StationLink::stop()
{
    stop_requested_ = true;
    QMetaObject::invokeMethod(comm_.get(), [this] { wake(); }, Qt::QueuedConnection);
}

void StationLink::run_loop(int timeout_ms)
{
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeout_ms);
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;
}

bool StationLink::pause(int ms)
{
    if (stop_requested_) return false;
    run_loop(ms);
    return !stop_requested_;
}

bool StationLink::wait_dsr_change(bool on, int ms)
{
    if (dsr() != on) return true;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(ms);
    while (deadline.isActive() && dsr() == on && !stop_requested_ && !line_lost_)
        run_loop(deadline.remainingTime());
    return dsr() != on;
}

// A write that the serial component did not finish (it failed, or its time-out passed) leaves
// the line unusable: nothing after it can be trusted to reach the camera in order.
bool StationLink::write(const void* bytes, int count)
{
    try {
        if (comm_->Write(bytes, count) && !comm_->LineLost()) return true;
    } catch (const ECommError&) {
    }
    line_lost_ = true;
    return false;
}

// Bytes received before a command can never be its reply: the notifications already waiting
// are taken now, and what they carried is dropped with any frame half decoded.
void StationLink::discard_received()
{
    QCoreApplication::sendPostedEvents(comm_.get(), QEvent::MetaCall);
    decoder_.reset();
    replies_.clear();
}

// An accepted reply to a read echoes the read's bytes 2..4 (item, index, and the sub-index or
// the address's low byte of a four-byte read).
bool StationLink::matches(const frames::Frame& command, int length, const frames::Frame& reply)
{
    if (reply[1] != frames::kReplyAccepted || command[1] != kRead) return true;
    for (int i = 2; i <= std::min(length, 4); ++i)
        if (reply[static_cast<std::size_t>(i)] != command[static_cast<std::size_t>(i)]) return false;
    return true;
}

Reply StationLink::await_reply(const frames::Frame& command, int length, int timeout_ms)
{
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(timeout_ms);
    while (true) {
        if (stop_requested_) return {LinkStatus::Stopped, {}};
        if (line_lost_ || comm_->LineLost()) return {LinkStatus::LineLost, {}};
        if (camera_left()) return {LinkStatus::CameraLeft, {}};
        while (!replies_.empty()) {
            const frames::Frame reply = replies_.front();
            replies_.pop_front();
            if (!matches(command, length, reply)) continue; // an answer to another command
            const bool accepted = reply[1] == frames::kReplyAccepted;
            return {accepted ? LinkStatus::Ok : LinkStatus::Refused, reply};
        }
        if (!deadline.isActive()) return {LinkStatus::TimedOut, {}};
        run_loop(deadline.remainingTime());
    }
}

Reply StationLink::exchange(const frames::Frame& command, int length, int timeout_ms)
{
    if (stop_requested_) return {LinkStatus::Stopped, {}};
    if (!is_open() || line_lost_) return {LinkStatus::LineLost, {}};
    if (camera_left()) return {LinkStatus::CameraLeft, {}};
    frames::Frame frame = command;
    frames::complete_command_frame(frame, length, camera_id_);
    discard_received();
    if (!write(frame.data(), static_cast<int>(frame.size()))) return {LinkStatus::LineLost, {}};
    return await_reply(frame, length, timeout_ms);
}

Reply StationLink::exchange(std::initializer_list<std::uint8_t> body, int timeout_ms)
{
    frames::Frame command{};
    std::size_t at = 1;
    for (std::uint8_t byte : body) command[at++] = byte;
    return exchange(command, static_cast<int>(body.size()), timeout_ms);
}

Reply StationLink::send_block(const frames::ParamImage& image)
{
    if (stop_requested_) return {LinkStatus::Stopped, {}};
    if (!is_open() || line_lost_) return {LinkStatus::LineLost, {}};
    if (camera_left()) return {LinkStatus::CameraLeft, {}};
    frames::SohBlock block{};
    frames::build_soh_block(image, block);
    discard_received();
    std::size_t offset = 0;
    for (std::size_t piece : frames::kSohPieceSizes) {
        if (!write(block.data() + offset, static_cast<int>(piece))) return {LinkStatus::LineLost, {}};
        offset += piece;
    }
    frames::Frame command{};
    command[1] = block[1];
    return await_reply(command, 1, kBlockTimeoutMs);
}

LinkStatus StationLink::send_reset()
{
    if (stop_requested_) return LinkStatus::Stopped;
    if (camera_left()) return LinkStatus::CameraLeft;
    frames::Frame frame{};
    frame[1] = frames::kCommandReset;
    frames::complete_command_frame(frame, 1, camera_id_);
    if (!is_open() || !write(frame.data(), static_cast<int>(frame.size()))) return LinkStatus::LineLost;
    return LinkStatus::Ok;
}

Reply StationLink::read_word(int address, int timeout_ms)
{
    return exchange(word_read(address), kWordReadLength, timeout_ms);
}

int StationLink::word_of(const Reply& reply) { return reply.frame[kWordByte] * 256 + reply.frame[kWordByte + 1]; }

std::optional<int> StationLink::probe(int address)
{
    const Reply reply = read_word(address, kProbeTimeoutMs);
    if (!reply.ok()) return std::nullopt;
    return word_of(reply);
}

std::optional<int> StationLink::probe_repeating(int address, int every_ms, int timeout_ms)
{
    if (stop_requested_ || !is_open() || line_lost_ || camera_left()) return std::nullopt;
    frames::Frame frame = word_read(address);
    frames::complete_command_frame(frame, kWordReadLength, camera_id_);
    discard_received();
    QElapsedTimer clock;
    clock.start();
    while (true) {
        if (!write(frame.data(), static_cast<int>(frame.size()))) return std::nullopt;
        const int left = timeout_ms - static_cast<int>(clock.elapsed());
        const Reply reply = await_reply(frame, kWordReadLength, std::clamp(left, 0, every_ms));
        if (reply.ok()) return word_of(reply);
        if (reply.status != LinkStatus::TimedOut || clock.elapsed() >= timeout_ms) return std::nullopt;
    }
}

} // namespace station
