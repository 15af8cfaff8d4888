#include "station/station.h"

#include "station/fingerprint.h"
#include "station/port_states.h"
#include "station/presence.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <iostream>
#include <memory>
#include <thread>
#include <utility>

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

// Camera after camera: exactly one job each. Between jobs the port watches the camera of the
// last job by the word the write cannot change; when a camera answers (again) with that same
// word it is that camera, which gets no second job; another word is another camera.
void Station::Port::loop()
{
    StationEvents& output = station_.output_;
    const JobSettings& settings = station_.settings_.job;
    const bool watched = settings.file && watched_address(*settings.file);
    const int address = probe_address(settings);
    std::optional<int> last_word; // the watched word of the last camera that had a job
    std::optional<int> next_word; // a camera that took the last one's place answered with it
    while (!link_->stopped()) {
        std::optional<int> word = std::exchange(next_word, std::nullopt);
        if (!word) {
            output.state(port_, port_state::kWaiting);
            word = wait_for_camera(*link_, address);
            if (!word) return;
        }
        if (!last_word || *word != *last_word) {
            one_camera();
            if (link_->stopped()) return;
            if (watched) last_word = word;
        }
        output.state(port_, port_state::kUnplug);
        next_word = watch_until_gone(*link_, address, last_word);
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
    link_->watch_camera_leaving(true);
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
    link_->watch_camera_leaving(false);
    // After a restart the camera's title and COMM ID are those it holds now.
    finish(row, outcome, outcome.identity.value_or(identity), *serial, clock.elapsed());
}

// The loop has waited for the camera already. A single job expects it on the line, but it may
// still be restarting (a write a moment ago reset it), so it gets the boot time-out to answer.
JobOutcome Station::Port::await_camera()
{
    if (station_.settings_.loop) return {};
    station_.output_.state(port_, port_state::kWaiting);
    const int timeout_ms = station_.settings_.job.boot_timeout_ms;
    if (wait_until_answering(*link_, probe_address(station_.settings_.job), timeout_ms)) return {};
    if (link_->stopped()) return {JobResult::Aborted, QStringLiteral("stopped while waiting for a camera"), {}, {}};
    if (link_->line_lost()) return {JobResult::FailLink, QStringLiteral("line lost while waiting for a camera"), {}, {}};
    return {JobResult::FailLink,
            QStringLiteral("no camera answered on %1 within %2 s").arg(link_->device()).arg(timeout_ms / 1000.0), {},
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
    end.identity = outcome.identity;
    QString error;
    if (row >= 0 && !records_->finish(row, end, &error))
        station_.output_.note(port_, QStringLiteral("the record was not completed: ") + error);
    station_.count(outcome.result);
    station_.output_.finished({port_, outcome.result, identity.title, serial, duration_ms, outcome.reason, identity.comm_id});
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

// What the run does with the file that an operator would not expect from its lines.
void Station::note_master_file()
{
    const JobSettings& job = settings_.job;
    if (!job.file || job.command == Command::Save) return;
    const MasterFile& file = *job.file;
    const QString name = QFileInfo(file.path).fileName();
    if (job.command == Command::Write && job.single && file.reset_line == 0)
        output_.note(0, QStringLiteral("%1 has no reset line: the station resets each camera after the file's last line").arg(name));
    if (file.lines_after_reset > 0)
        output_.note(0, QStringLiteral("%1: the %2 line(s) after the reset line (line %3) are neither written nor verified")
                            .arg(name)
                            .arg(file.lines_after_reset)
                            .arg(file.reset_line));
}

void Station::start(std::function<void()> ended)
{
    if (settings_.ask_serial) serials_->start();
    output_.set_ports(settings_.ports);
    note_master_file();
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
