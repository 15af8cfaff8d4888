#include "station/station.h"

#include "station/fingerprint.h"
#include "station/port_states.h"
#include "station/presence.h"
#include "yield/yield_figures.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>
#include <QUuid>

#include <unistd.h>

#include <memory>
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

// ---- One port ------------------------------------------------------------------------------

class Station::Port {
public:
    Port(Station& station, int port) : station_(station), port_(port) {}

    // Runs on the port's own thread.
    void run();
    void stop();

private:
    // What the output and the record say of one camera's job.
    struct Job {
        JobStart start;
        qint64 row = -1;
        QElapsedTimer clock;
    };

    bool set_up();
    void loop();
    bool goes_on() const;
    // The result of the camera's job; Aborted when it had none.
    JobResult one_camera();
    bool back_after_restart(int address);
    JobOutcome await_camera();
    std::optional<QString> serial_number();
    JobStart job_start(const CameraIdentity& identity, const QString& serial) const;
    bool until_recorded(const std::function<bool(RecordsError&)>& write, QString* last_error);
    bool numbered(JobStart& start);
    void finish(const Job& job, const JobOutcome& outcome);
    CameraReport report_of(const Job& job, const JobOutcome& outcome, const JobEnd& end) const;

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
    records_->set_forwarding(station_.settings_.forward);
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

// Once the input of serial numbers has ended no further camera can be named: the port ends
// after the job it has.
bool Station::Port::goes_on() const
{
    return !link_->stopped() && !station_.input_ended();
}

// Camera after camera: exactly one job each. Between jobs the port watches the camera of the
// last job by the word the write cannot change; when a camera answers (again) with that same
// word it is that camera, which gets no second job; another word is another camera. A camera
// written without its read-back restarts after its job: it is watched only once it answers
// again, or the silence of its restart would pass for its unplugging.
void Station::Port::loop()
{
    StationEvents& output = station_.output_;
    const JobSettings& settings = station_.settings_.job;
    const bool watched = settings.file && watched_address(*settings.file, settings.keep);
    const int address = probe_address(settings);
    const auto go_on = [this] { return goes_on(); };
    std::optional<int> last_word; // the watched word of the last camera that had a job
    std::optional<int> next_word; // a camera that took the last one's place answered with it
    while (goes_on()) {
        std::optional<int> word = std::exchange(next_word, std::nullopt);
        if (!word) {
            output.state(port_, port_state::kWaiting);
            word = wait_for_camera(*link_, address, go_on);
            if (!word) return;
        }
        bool restarting = false;
        if (!last_word || *word != *last_word) {
            restarting = one_camera() == JobResult::Unverified;
            if (!goes_on()) return;
            if (watched) last_word = word;
        }
        output.state(port_, port_state::kUnplug);
        if (restarting && !back_after_restart(address)) continue; // gone while it restarted
        next_word = watch_until_gone(*link_, address, last_word, go_on);
    }
}

// Whether the camera answers again after the reset of its job. One that ignored the reset is
// still there; one silent for the boot time-out, or whose DSR dropped, has gone.
bool Station::Port::back_after_restart(int address)
{
    const JobOutcome restart = wait_for_restart(*link_, address, station_.settings_.job.boot_timeout_ms, {});
    return restart.result != JobResult::FailLink;
}

// The arbiter tells the port's turn to ask ("scan the serial number").
std::optional<QString> Station::Port::serial_number()
{
    if (!station_.settings_.ask_serial) return QString();
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
    start.keep_map = job.command == Command::Save ? QString() : job.keep.text();
    start.job_id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    start.station = station_.settings_.station_name;
    start.operator_name = station_.settings_.operator_name;
    return start;
}

// The camera's title and COMM ID are read first (reads change nothing in it); then its row is
// begun, and only then is anything written into it.
JobResult Station::Port::one_camera()
{
    const std::optional<QString> serial = serial_number();
    if (!serial) {
        if (station_.input_ended() && !link_->stopped()) {
            station_.camera_unnamed_ = true;
            station_.output_.note(port_, QStringLiteral("the input of serial numbers ended: no camera written here"));
        }
        return JobResult::Aborted;
    }
    Job job;
    job.clock.start();
    CameraIdentity identity;
    JobOutcome outcome = await_camera();
    link_->watch_camera_leaving(true);
    if (outcome.result == JobResult::Pass) {
        station_.output_.state(port_, port_state::kFound);
        outcome = read_identity(*link_, identity);
    }
    job.start = job_start(identity, *serial);
    if (!numbered(job.start)) {
        link_->watch_camera_leaving(false);
        return JobResult::Aborted; // not written: the loop watches for its unplugging
    }
    QString error;
    if (!until_recorded([&](RecordsError& e) { return (job.row = records_->begin(job.start, &e)) >= 0; }, &error)) {
        link_->watch_camera_leaving(false);
        station_.count_unrecorded();
        station_.output_.unrecorded(report_of(job, {JobResult::Aborted, {}, {}, {}}, {}), error);
        return JobResult::Aborted;
    }
    if (outcome.result == JobResult::Pass) {
        outcome = run_job(*link_, station_.settings_.job, [this](const QString& state, int done, int total) {
            station_.output_.progress(port_, state, done, total);
        });
    }
    link_->watch_camera_leaving(false);
    finish(job, outcome);
    return outcome.result;
}

// The job's attempt: one more than the camera's jobs with this master in the records. A camera
// that passed already is written again only when the operator confirms; false when it is not.
// Records that cannot be read here leave the count to begin() and ask nothing: the row's write
// then says what is wrong with them.
bool Station::Port::numbered(JobStart& start)
{
    if (start.serial.trimmed().isEmpty() || start.file_sha256.isEmpty()) return true;
    const std::optional<CameraPast> past = records_->camera_past(start.serial, start.file_sha256);
    if (!past) return true;
    start.attempt = past->jobs + 1;
    if (!past->passed || station_.settings_.job.command != Command::Write) return true;
    const auto& confirm = station_.settings_.confirm_retest;
    start.retest_confirmed = confirm && confirm(port_, start.serial);
    const QString file = QFileInfo(start.file_path).fileName();
    if (start.retest_confirmed) {
        station_.output_.note(port_, QStringLiteral("%1 passed with %2 before: written again, attempt %3 (retest confirmed)")
                                         .arg(start.serial, file)
                                         .arg(start.attempt));
        return true;
    }
    station_.retest_declined_ = true;
    const QString why = confirm ? QStringLiteral("not confirmed") : QStringLiteral("--retest writes it");
    station_.output_.note(port_, QStringLiteral("%1 passed with %2 before: not written again (%3)")
                                     .arg(start.serial, file, why));
    return false;
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
    return {JobResult::FailLink, no_camera_reason(link_->device(), timeout_ms), {}, {}};
}

// Tries a write of the records until it is done. While the database is locked or full the port
// shows "waiting to record" and tries again every second. False when the station stops first or
// the failure cannot mend (which stops the station); `last_error` then says why.
bool Station::Port::until_recorded(const std::function<bool(RecordsError&)>& write, QString* last_error)
{
    constexpr int kRetryMs = 1000;
    bool waiting = false;
    while (true) {
        RecordsError error;
        if (write(error)) return true;
        *last_error = error.text;
        if (!error.transient) {
            station_.records_broken(port_, error.text);
            return false;
        }
        if (!waiting) {
            waiting = true;
            station_.output_.state(port_, port_state::kWaitingToRecord);
            station_.output_.note(port_, error.text + QStringLiteral("; trying again every second"));
        }
        if (!link_->pause(kRetryMs)) return false;
    }
}

CameraReport Station::Port::report_of(const Job& job, const JobOutcome& outcome, const JobEnd& end) const
{
    CameraReport report;
    report.port = port_;
    report.result = outcome.result;
    report.title = end.identity ? end.identity->title : job.start.title;
    report.comm_id = end.identity ? end.identity->comm_id : job.start.comm_id;
    report.serial = job.start.serial;
    report.duration_ms = job.clock.elapsed();
    report.reason = end.reason.isEmpty() ? outcome.reason : end.reason;
    report.record_id = job.row;
    report.started = job.start.started;
    report.ended = end.ended;
    report.device = job.start.device;
    report.file_sha256 = end.file_sha256.isEmpty() ? job.start.file_sha256 : end.file_sha256;
    report.differing = outcome.differing;
    report.keep_map = job.start.keep_map;
    report.job_id = job.start.job_id;
    return report;
}

// The job's result is given only once its row is complete.
void Station::Port::finish(const Job& job, const JobOutcome& outcome)
{
    JobEnd end;
    end.ended = QDateTime::currentDateTime();
    end.result = outcome.result;
    end.reason = outcome.reason;
    const QString cause = station_.stop_cause();
    if (outcome.result == JobResult::Aborted && link_->stopped() && !cause.isEmpty())
        end.reason += QStringLiteral(" (%1)").arg(cause);
    end.differing = outcome.differing;
    end.duration_ms = job.clock.elapsed();
    // After a restart the camera's title and COMM ID are those it holds now.
    end.identity = outcome.identity;
    end.file_sha256 = outcome.file_sha256;
    end.fault = yield::fault_word(yield::classify_fault(end.result, end.reason));
    QString error;
    const bool recorded = until_recorded([&](RecordsError& e) { return records_->finish(job.row, end, &e); }, &error);
    const CameraReport report = report_of(job, outcome, end);
    if (!recorded) {
        station_.count_unrecorded();
        station_.output_.unrecorded(report, error);
        return;
    }
    station_.count(outcome.result);
    station_.output_.finished(report);
}

// ---- The station ---------------------------------------------------------------------------

Station::Station(const StationSettings& settings, StationEvents& output, SerialArbiter* serials)
    : settings_(settings), output_(output),
      stdin_serials_(serials ? nullptr : std::make_shared<SerialArbiter>()),
      serials_(serials ? serials : stdin_serials_.get())
{
    serials_->set_listener(this);
}

Station::~Station()
{
    if (!threads_.isEmpty()) {
        stop();
        wait();
    }
    serials_->set_listener(nullptr); // the thread reading standard input may outlive the station
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
    if (!job.keep.empty()) {
        const QString kept = QStringLiteral("%1 (%2)").arg(job.keep.text(), words_text(job.keep.count()));
        output_.note(0, job.command == Command::Write
                            ? QStringLiteral("each camera keeps its own words at ") + kept
                            : QStringLiteral("each camera's own words at %1 are not compared").arg(kept));
    }
    if (file.lines_after_reset > 0)
        output_.note(0, QStringLiteral("%1: the %2 line(s) after the reset line (line %3) are neither written nor verified")
                            .arg(name)
                            .arg(file.lines_after_reset)
                            .arg(file.reset_line));
}

void Station::start(std::function<void()> ended)
{
    output_.set_ports(settings_.ports);
    note_master_file();
    if (settings_.ask_serial && stdin_serials_) {
        input_on_terminal_ = ::isatty(STDIN_FILENO) == 1;
        scan_standard_input(stdin_serials_);
    }
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
    const bool nothing_written = s.passed + s.failed + s.unverified + s.aborted == 0;
    const bool unnamed = camera_unnamed_ || (input_ended() && nothing_written);
    return s.failed + s.aborted + s.unrecorded > 0 || unnamed || records_broken_ || retest_declined_ ? 1 : 0;
}

void Station::stop(const QString& cause)
{
    {
        std::lock_guard lock(summary_mutex_);
        if (!stopping_ && !cause.isEmpty()) stop_cause_ = cause;
    }
    stopping_ = true;
    serials_->stop();
    std::lock_guard lock(ports_mutex_);
    for (Port* port : running_) port->stop();
}

QString Station::stop_cause() const
{
    std::lock_guard lock(summary_mutex_);
    return stop_cause_;
}

void Station::records_broken(int port, const QString& error)
{
    if (records_broken_.exchange(true)) return;
    output_.error(0, QStringLiteral("port %1: %2: the station stops, since no further camera could be recorded").arg(port).arg(error));
    stop(QStringLiteral("the records cannot be kept"));
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

void Station::count_unrecorded()
{
    std::lock_guard lock(summary_mutex_);
    ++summary_.unrecorded;
}

Summary Station::summary() const
{
    std::lock_guard lock(summary_mutex_);
    return summary_;
}

void Station::asking(int port) { output_.state(port, port_state::kScanSerial); }

void Station::queued(int port) { output_.state(port, port_state::kTurnToAsk); }

void Station::refused(int at_port, const QString& serial, const QString& why) { output_.scan_refused(at_port, serial, why); }

void Station::scanned(int at_port)
{
    if (at_port == 0 && input_on_terminal_) output_.line_typed();
}

} // namespace station
