#include "station/station.h"

#include "station/port_states.h"
#include "station/presence.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSysInfo>
#include <QThread>

#include <iostream>
#include <memory>
#include <thread>

namespace station {
namespace {

QString mode_word(const JobSettings& job)
{
    switch (job.command) {
    case Command::Save: return QStringLiteral("save");
    case Command::Verify: return QStringLiteral("verify");
    case Command::Write: return job.single ? QStringLiteral("single") : QStringLiteral("batch");
    }
    return {};
}

} // namespace

// ---- Serial numbers ------------------------------------------------------------------------

void StdinSerialSource::start()
{
    // Detached: a read of standard input cannot be interrupted, and the program may end first.
    std::thread([this] {
        std::string line;
        while (std::getline(std::cin, line)) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
            changed_.notify_all();
        }
        stop();
    }).detach();
}

std::optional<QString> StdinSerialSource::next(int)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !lines_.empty() || ended_; });
    if (lines_.empty()) return std::nullopt;
    const QString line = QString::fromStdString(lines_.front()).trimmed();
    lines_.pop_front();
    return line;
}

void StdinSerialSource::stop()
{
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
}

// ---- One port ------------------------------------------------------------------------------

class Station::Port {
public:
    Port(Station& station, int port) : station_(station), port_(port) {}

    // Runs on the port's own thread.
    void run();
    void stop();

private:
    bool set_up();
    void loop();
    void one_camera();
    JobOutcome await_camera();
    std::optional<QString> serial_number();
    JobStart job_start(const CameraIdentity& identity, const QString& serial) const;
    void finish(qint64 row, const JobOutcome& outcome, const CameraIdentity& identity, const QString& serial,
                qint64 duration_ms);

    Station& station_;
    int port_;
    std::unique_ptr<StationLink> link_;
    // Made on the port's thread: a database connection belongs to the thread that opened it.
    std::unique_ptr<Records> records_;
    std::mutex link_mutex_;
};

void Station::Port::stop()
{
    std::lock_guard lock(link_mutex_);
    if (link_) link_->stop();
}

void Station::Port::run()
{
    {
        std::lock_guard lock(link_mutex_);
        link_ = std::make_unique<StationLink>(port_, station_.settings_.camera_id);
        if (station_.stopping_) link_->stop();
    }
    records_ = std::make_unique<Records>();
    if (set_up()) {
        if (station_.settings_.loop)
            loop();
        else
            one_camera();
    }
    records_.reset();
    std::lock_guard lock(link_mutex_);
    link_.reset();
}

bool Station::Port::set_up()
{
    QString error;
    if (!records_->open(station_.settings_.db_path, &error) || !link_->open(&error)) {
        station_.output_.error(port_, error);
        station_.setup_failed_ = true;
        return false;
    }
    return true;
}

void Station::Port::loop()
{
    StationEvents& output = station_.output_;
    while (!link_->stopped()) {
        output.state(port_, port_state::kWaiting);
        PresentBy by = PresentBy::Probe;
        if (!wait_for_camera(*link_, by)) return;
        one_camera();
        if (link_->stopped()) return;
        output.state(port_, port_state::kUnplug);
        wait_until_gone(*link_, by);
    }
}

std::optional<QString> Station::Port::serial_number()
{
    if (!station_.settings_.ask_serial) return QString();
    station_.output_.state(port_, port_state::kScanSerial);
    return station_.serials_->next(port_);
}

JobStart Station::Port::job_start(const CameraIdentity& identity, const QString& serial) const
{
    const JobSettings& job = station_.settings_.job;
    JobStart start;
    start.started = QDateTime::currentDateTime();
    start.host = QSysInfo::machineHostName();
    start.port = port_;
    start.device = link_->device();
    start.title = identity.title;
    start.comm_id = identity.comm_id;
    start.serial = serial;
    start.file_path = job.file ? job.file->path : job.save_path;
    start.file_sha256 = job.file ? job.file->sha256 : QString();
    start.mode = mode_word(job);
    return start;
}

void Station::Port::one_camera()
{
    const std::optional<QString> serial = serial_number();
    if (!serial) {
        station_.stop(); // standard input ended: no more cameras can be named
        return;
    }
    QElapsedTimer clock;
    clock.start();
    CameraIdentity identity;
    JobOutcome outcome = await_camera();
    if (outcome.result == JobResult::Pass) {
        station_.output_.state(port_, port_state::kFound);
        outcome = read_identity(*link_, identity);
    }
    QString error;
    const qint64 row = records_->begin(job_start(identity, *serial), &error);
    if (row < 0) station_.output_.note(port_, QStringLiteral("the record was not written: ") + error);
    if (outcome.result == JobResult::Pass) {
        outcome = run_job(*link_, station_.settings_.job, [this](const QString& state, int done, int total) {
            station_.output_.progress(port_, state, done, total);
        });
    }
    finish(row, outcome, identity, *serial, clock.elapsed());
}

// The loop has waited for the camera already. A single job expects it on the line, but it may
// still be restarting (a write a moment ago reset it), so it gets the boot time-out to answer.
JobOutcome Station::Port::await_camera()
{
    if (station_.settings_.loop) return {};
    station_.output_.state(port_, port_state::kWaiting);
    const int timeout_ms = station_.settings_.job.boot_timeout_ms;
    if (wait_until_answering(*link_, timeout_ms)) return {};
    if (link_->stopped()) return {JobResult::Aborted, QStringLiteral("stopped while waiting for a camera"), {}};
    if (link_->line_lost()) return {JobResult::FailLink, QStringLiteral("line lost while waiting for a camera"), {}};
    return {JobResult::FailLink,
            QStringLiteral("no camera answered on %1 within %2 s").arg(link_->device()).arg(timeout_ms / 1000.0),
            {}};
}

void Station::Port::finish(qint64 row, const JobOutcome& outcome, const CameraIdentity& identity,
                           const QString& serial, qint64 duration_ms)
{
    JobEnd end;
    end.ended = QDateTime::currentDateTime();
    end.result = outcome.result;
    end.reason = outcome.reason;
    end.differing = outcome.differing;
    end.duration_ms = duration_ms;
    QString error;
    if (row >= 0 && !records_->finish(row, end, &error))
        station_.output_.note(port_, QStringLiteral("the record was not completed: ") + error);
    station_.count(outcome.result);
    station_.output_.finished({port_, outcome.result, identity.title, serial, duration_ms, outcome.reason});
}

// ---- The station ---------------------------------------------------------------------------

Station::Station(const StationSettings& settings, StationEvents& output, SerialSource* serials)
    : settings_(settings), output_(output), serials_(serials ? serials : &stdin_serials_)
{
}

Station::~Station()
{
    if (threads_.isEmpty()) return;
    stop();
    wait();
}

int Station::run()
{
    QEventLoop loop;
    start([&loop] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
    loop.exec();
    return wait();
}

void Station::start(std::function<void()> ended)
{
    if (settings_.ask_serial) serials_->start();
    output_.set_ports(settings_.ports);
    ended_ = std::move(ended);
    ports_left_ = static_cast<int>(settings_.ports.size());
    for (int number : settings_.ports) {
        ports_.push_back(std::make_unique<Port>(*this, number));
        Port* port = ports_.back().get();
        {
            std::lock_guard lock(ports_mutex_);
            running_.append(port);
        }
        threads_.append(QThread::create([this, port] {
            port->run();
            port_ended();
        }));
    }
    for (QThread* thread : threads_) thread->start();
    if (threads_.isEmpty() && ended_) ended_();
}

void Station::port_ended()
{
    if (--ports_left_ == 0 && ended_) ended_();
}

int Station::wait()
{
    for (QThread* thread : threads_) {
        thread->wait();
        delete thread;
    }
    threads_.clear();
    {
        std::lock_guard lock(ports_mutex_);
        running_.clear();
    }
    ports_.clear();
    if (setup_failed_) return 2;
    const Summary s = summary();
    return s.failed + s.aborted > 0 ? 1 : 0;
}

void Station::stop()
{
    stopping_ = true;
    serials_->stop();
    std::lock_guard lock(ports_mutex_);
    for (Port* port : running_) port->stop();
}

void Station::count(JobResult result)
{
    std::lock_guard lock(summary_mutex_);
    switch (result) {
    case JobResult::Pass: ++summary_.passed; break;
    case JobResult::Unverified: ++summary_.unverified; break;
    case JobResult::Aborted: ++summary_.aborted; break;
    default: ++summary_.failed; break;
    }
}

Summary Station::summary() const
{
    std::lock_guard lock(summary_mutex_);
    return summary_;
}

} // namespace station
