#include "plant_bench.h"

#include "child_process.h"
#include "stats.h"

#include "records/forwarder.h"
#include "records/records.h"
#include "records/server_uri.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <condition_variable>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace {

using bench_child::Child;
using bench_child::Clock;
using bench_child::kStartDeadlineMs;
using bench_child::Waiting;

// Each simulated camera stays plugged in this long, then is away for kAwayMs, then the next one
// comes: long enough for its job on a loaded machine, short enough for a steady flow of rows. The
// jobs skip the read-back (--no-verify): its thousand exchanges per camera, answered at once by
// 64 simulators, would take all of this machine's CPU, and what is measured here is the rows.
constexpr double kPluggedSeconds = 2.0;
constexpr int kAwayMs = 200;
constexpr int kBootMs = 300;
// A station stopped at the end sends what waits for up to 5 s before it exits.
constexpr int kStationEndDeadlineMs = 60000;
constexpr int kBacklogDeadlineMs = 600000;
constexpr double kLatencyTargetMs = 1000;
constexpr double kBacklogTargetRowsPerSecond = 500;
constexpr double kPlantRowsPerSecond = 40; // 100 stations

void progress(const std::string& text) { std::cerr << "[bench] plant: " << text << std::endl; }

double ms_since(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

// ---- the server ----

// A connection as the server's superuser, to `database`.
class Admin {
public:
    Admin(const QString& socket, const QString& database) : name_(QStringLiteral("plant-bench-") + database)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
        db.setHostName(socket);
        db.setPort(5432);
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(database);
        if (!db.open()) throw std::runtime_error("cannot connect to the server: " + db.lastError().text().toStdString());
    }
    ~Admin()
    {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
    Admin(const Admin&) = delete;
    Admin& operator=(const Admin&) = delete;

    QSqlQuery run(const QString& statement) const
    {
        QSqlQuery query(QSqlDatabase::database(name_, false));
        if (!query.exec(statement))
            throw std::runtime_error(statement.toStdString() + ": " + query.lastError().text().toStdString());
        return query;
    }

private:
    QString name_;
};

// A fresh database for one part, and the URI the stations are given for it.
QString fresh_database(const QString& socket, const QString& name)
{
    const Admin admin(socket, QStringLiteral("postgres"));
    admin.run(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(name));
    admin.run(QStringLiteral("CREATE DATABASE %1").arg(name));
    return QStringLiteral("postgresql://postgres@/%1?host=%2").arg(name, socket);
}

// Job end to the commit of its row on the server, in ms, for every job that ran to its end: the
// server keeps each transaction's commit time (track_commit_timestamp), on the stations' clock.
std::vector<double> end_to_commit_ms(const QString& socket, const QString& database)
{
    const Admin admin(socket, database);
    QSqlQuery query = admin.run(QStringLiteral(
        "SELECT extract(epoch FROM pg_xact_commit_timestamp(xmin) - ended) * 1000 FROM jobs "
        "WHERE ended IS NOT NULL AND result <> 'aborted'"));
    std::vector<double> latencies;
    while (query.next()) latencies.push_back(query.value(0).toDouble());
    return latencies;
}

// "780 pass, 53 fail-link, 54 aborted".
std::string results_on_server(const QString& socket, const QString& database)
{
    const Admin admin(socket, database);
    QSqlQuery query = admin.run(QStringLiteral("SELECT result, count(*) FROM jobs GROUP BY result ORDER BY 2 DESC"));
    std::string text;
    while (query.next()) {
        if (!text.empty()) text += ", ";
        text += std::to_string(query.value(1).toInt()) + " " + query.value(0).toString().toStdString();
    }
    return text;
}

int rows_on_server(const QString& socket, const QString& database)
{
    const Admin admin(socket, database);
    QSqlQuery query = admin.run(QStringLiteral("SELECT count(*) FROM jobs"));
    return query.next() ? query.value(0).toInt() : -1;
}

// ---- the stations under load ----

// A station PC: its port links, its journal.
struct StationFolders : bench_child::XdgFolders {
    StationFolders(const QString& root, int number)
        : XdgFolders(root + QStringLiteral("/station-%1").arg(number))
    {
    }
    QString journal() const { return data + QStringLiteral("/camera-adjust/station.sqlite"); }
};

std::unique_ptr<Child> simulator(const StationFolders& folders, int port, int seed, const QStringList& options)
{
    return std::make_unique<Child>(QStringLiteral(CAMERA_SIM_EXE),
                                   QStringList{QStringLiteral("--port"), QString::number(port), QStringLiteral("--seed"),
                                               QString::number(seed)} + options,
                                   folders.environment());
}

void wait_for_links(const std::vector<std::unique_ptr<Child>>& sims)
{
    const bool published = Waiting::until(
        [&] {
            return std::all_of(sims.begin(), sims.end(), [](const auto& sim) { return sim->printed("camera-sim: COM"); });
        },
        kStartDeadlineMs * 3);
    if (!published) throw std::runtime_error("the simulators did not publish their ports");
}

// The master, saved by the station from a simulator with seed 0.
QString save_master(const QString& root)
{
    const StationFolders folders(root, 0);
    std::vector<std::unique_ptr<Child>> sims;
    sims.push_back(simulator(folders, 1, 0, {QStringLiteral("--boot-ms"), QString::number(kBootMs)}));
    wait_for_links(sims);
    const QString master = root + QStringLiteral("/master.dat");
    Child station(QStringLiteral(CAMERA_STATION_EXE), {QStringLiteral("save"), master, QStringLiteral("--port"), QStringLiteral("1")},
                  folders.environment());
    if (!Waiting::until([&] { return station.ended(); }, kStationEndDeadlineMs) || station.exit_code() != 0)
        throw std::runtime_error("camera-station save failed: " + station.errors.left(400).toStdString());
    return master;
}

QString port_list(int ports)
{
    QStringList list;
    for (int port = 1; port <= ports; ++port) list << QString::number(port);
    return list.join(',');
}

struct LoadRun {
    int journal_rows = 0;
    int server_rows = 0;
    int completed = 0;           // jobs that ran to their end, on the server
    std::string results;         // of the rows on the server
    std::vector<double> latency; // job end to its commit on the server, ms
    double seconds = 0;
    std::vector<int> exit_codes;
};

int journal_size(const QString& path)
{
    station::Records records;
    return records.open_for_reading(path, nullptr) ? static_cast<int>(records.list().size()) : -1;
}

LoadRun run_load(const PlantSettings& settings, const QString& root, const QString& master)
{
    const QString database = QStringLiteral("plant_load");
    const QString uri = fresh_database(settings.server_socket, database);
    std::vector<StationFolders> folders;
    std::vector<std::unique_ptr<Child>> sims;
    const QStringList sim_options{QStringLiteral("--boot-ms"), QString::number(kBootMs), QStringLiteral("--replug-every"),
                                  QString::number(kPluggedSeconds), QStringLiteral("--away-ms"), QString::number(kAwayMs)};
    for (int s = 1; s <= settings.stations; ++s) {
        folders.emplace_back(root, s);
        for (int port = 1; port <= settings.ports; ++port)
            sims.push_back(simulator(folders.back(), port, 1000 * s + port * 10, sim_options));
    }
    wait_for_links(sims);
    progress(std::to_string(settings.stations) + " stations x " + std::to_string(settings.ports) + " ports for " +
             std::to_string(settings.seconds) + " s");
    std::vector<std::unique_ptr<Child>> stations;
    const Clock::time_point started = Clock::now();
    for (int s = 1; s <= settings.stations; ++s)
        stations.push_back(std::make_unique<Child>(
            QStringLiteral(CAMERA_STATION_EXE),
            QStringList{QStringLiteral("write"), master, QStringLiteral("--ports"), port_list(settings.ports),
                        QStringLiteral("--no-verify"), QStringLiteral("--loop"), QStringLiteral("--json"), QStringLiteral("--db"), uri,
                        QStringLiteral("--station"), QStringLiteral("bench-%1").arg(s)},
            folders[static_cast<std::size_t>(s - 1)].environment()));
    Waiting::until([&] { return std::any_of(stations.begin(), stations.end(), [](const auto& st) { return st->ended(); }); },
                   settings.seconds * 1000);
    LoadRun run;
    run.seconds = ms_since(started) / 1000;
    for (auto& station : stations) station->terminate();
    if (!Waiting::until([&] { return std::all_of(stations.begin(), stations.end(), [](const auto& st) { return st->ended(); }); },
                        kStationEndDeadlineMs))
        throw std::runtime_error("a station did not end after it was stopped");
    for (const auto& station : stations) run.exit_codes.push_back(station->exit_code());
    sims.clear();
    for (const StationFolders& f : folders) run.journal_rows += std::max(0, journal_size(f.journal()));
    run.server_rows = rows_on_server(settings.server_socket, database);
    run.results = results_on_server(settings.server_socket, database);
    run.latency = end_to_commit_ms(settings.server_socket, database);
    run.completed = static_cast<int>(run.latency.size());
    return run;
}

// ---- the backlog ----

// `rows` completed jobs, a second apart, waiting in a journal for the server.
void fill_journal(const QString& path, int rows)
{
    station::Records journal;
    QString error;
    if (!journal.open(path, &error)) throw std::runtime_error(error.toStdString());
    journal.set_forwarding(true);
    const QDateTime first = QDateTime::currentDateTime().addSecs(-rows);
    for (int i = 0; i < rows; ++i) {
        station::JobStart start;
        start.started = first.addSecs(i);
        start.host = QStringLiteral("bench");
        start.port = 1 + i % 8;
        start.device = QStringLiteral("/dev/ttyUSB0");
        start.title = QStringLiteral("CAM%1").arg(i);
        start.serial = QStringLiteral("SN-%1").arg(i, 6, 10, QLatin1Char('0'));
        start.file_path = QStringLiteral("/srv/masters/master.dat");
        start.file_sha256 = QString(64, QLatin1Char('a'));
        start.mode = QStringLiteral("batch");
        start.station = QStringLiteral("backlog");
        start.operator_name = QStringLiteral("bench");
        station::RecordsError failure;
        const qint64 id = journal.begin(start, &failure);
        station::JobEnd end;
        end.ended = start.started.addMSecs(900);
        end.result = station::JobResult::Pass;
        end.duration_ms = 900;
        if (id < 0 || !journal.finish(id, end, &failure)) throw std::runtime_error(failure.text.toStdString());
    }
}

struct BacklogRun {
    int rows = 0;
    double fill_seconds = 0;
    double forward_seconds = 0;
    int on_server = 0;
    QString problem;
};

BacklogRun run_backlog(const PlantSettings& settings, const QString& root)
{
    BacklogRun run;
    run.rows = settings.backlog;
    const QString journal = root + QStringLiteral("/backlog.sqlite");
    progress("a journal of " + std::to_string(run.rows) + " rows");
    Clock::time_point started = Clock::now();
    fill_journal(journal, run.rows);
    run.fill_seconds = ms_since(started) / 1000;

    const QString database = QStringLiteral("plant_backlog");
    station::ForwarderSettings forwarding;
    forwarding.journal = journal;
    forwarding.server = *station::parse_server_uri(fresh_database(settings.server_socket, database), nullptr);
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<station::ForwardStatus> last;
    station::Forwarder forwarder(forwarding, [&](const station::ForwardStatus& status) {
        std::lock_guard lock(mutex);
        last = status;
        changed.notify_all();
    });
    progress("forwarding the backlog");
    started = Clock::now();
    forwarder.start();
    std::unique_lock lock(mutex);
    const bool sent = changed.wait_for(lock, std::chrono::milliseconds(kBacklogDeadlineMs), [&] {
        return last && last->server == station::ForwardStatus::Server::Up && last->backlog.waiting == 0;
    });
    run.forward_seconds = ms_since(started) / 1000;
    if (!sent) run.problem = last ? station::forward_status_text(*last) : QStringLiteral("no status");
    lock.unlock();
    forwarder.stop();
    run.on_server = rows_on_server(settings.server_socket, database);
    return run;
}

// ---- the report ----

std::string exit_codes_text(const std::vector<int>& codes)
{
    std::string text;
    for (int code : codes) {
        if (!text.empty()) text += '/';
        text += std::to_string(code);
    }
    return text;
}

void load_report(Report& report, const PlantSettings& settings, const LoadRun& run)
{
    std::vector<double> sorted = run.latency;
    std::sort(sorted.begin(), sorted.end());
    const Summary s = summarize(run.latency);
    const double p95 = percentile_sorted(sorted, 0.95);
    const double rate = run.completed / run.seconds;
    report.paragraph(
        std::to_string(settings.stations) + " `camera-station write master.dat --ports 1,..," + std::to_string(settings.ports) +
        " --no-verify --loop --json --db postgresql://...` processes, each with its own journal and " + std::to_string(settings.ports) +
        " `camera-sim --boot-ms " + std::to_string(kBootMs) + " --replug-every " + fixed(kPluggedSeconds, 1) +
        " --away-ms " + std::to_string(kAwayMs) + "` processes answering at once, for " + fixed(run.seconds, 0) +
        " s; then each station is stopped (SIGTERM) and sends what waits: the jobs it stopped are recorded "
        "`aborted`, and its exit status is then 1. *Job end to its row*: the job's end time "
        "in its record to the commit of its row on the server (the server's commit timestamp, same clock), for "
        "every job that ran to its end; the jobs stopped at the end are left out. The forwarder looks at the "
        "journal every 250 ms.");
    report.table("| stations × ports | jobs that ran to their end | rows/s on the server | rows in the journals | rows "
                 "on the server | their results | exit codes | job end to its row: median | p95 | max | p95 under 1 s |");
    report.row("| " + std::to_string(settings.stations) + " × " + std::to_string(settings.ports) + " | " +
               std::to_string(run.completed) + " | " + fixed(rate, 1) + " | " + std::to_string(run.journal_rows) + " | " +
               std::to_string(run.server_rows) + " | " + run.results + " | " + exit_codes_text(run.exit_codes) + " | " + fixed(s.median, 0) +
               " ms | " + fixed(p95, 0) + " ms | " + fixed(s.max, 0) + " ms | " +
               verdict(run.completed > 0 && p95 < kLatencyTargetMs && run.server_rows == run.journal_rows) + " |");
}

void backlog_report(Report& report, const BacklogRun& run)
{
    const double rate = run.rows / run.forward_seconds;
    report.paragraph("A journal holding " + std::to_string(run.rows) +
                     " completed jobs that wait for the server (written in " + fixed(run.fill_seconds, 1) +
                     " s), then one station's forwarder (batches of 200 rows, one transaction each) started against "
                     "an empty database: its start to nothing waiting." +
                     (run.problem.isEmpty() ? std::string() : " It did not finish: " + run.problem.toStdString()));
    report.table("| journal rows | on the server | forwarded in | rows/s | at least 500 rows/s |");
    report.row("| " + std::to_string(run.rows) + " | " + std::to_string(run.on_server) + " | " +
               fixed(run.forward_seconds, 2) + " s | " + fixed(rate, 0) + " | " +
               verdict(run.problem.isEmpty() && run.on_server == run.rows && rate >= kBacklogTargetRowsPerSecond) + " |");
    const double hour_per_station = kPlantRowsPerSecond / 100 * 3600;
    report.paragraph("For a plant of 100 stations (about " + fixed(kPlantRowsPerSecond, 0) +
                     " rows/s together, 0.4 per station): an hour without the server leaves about " +
                     fixed(hour_per_station, 0) + " rows in each journal, which its forwarder sends in about " +
                     fixed(hour_per_station / rate, 1) + " s once the server is back; the 100 stations' " +
                     fixed(hour_per_station * 100, 0) + " rows take the server about " +
                     fixed(hour_per_station * 100 / rate, 0) +
                     " s if it takes them no faster than one forwarder sends (the stations send side by side, so "
                     "this is the slow end), while the plant's new rows keep coming at " +
                     fixed(kPlantRowsPerSecond, 0) + " rows/s.");
}

} // namespace

void plant_section(Report& report, const PlantSettings& settings)
{
    if (settings.server_socket.isEmpty()) throw std::runtime_error("no server: --plant-server DIR (scripts/bench.sh plant)");
    QTemporaryDir root;
    if (!root.isValid()) throw std::runtime_error("no temporary folder");
    progress("the master file");
    const QString master = save_master(root.path());
    const LoadRun load = run_load(settings, root.path(), master);
    const BacklogRun backlog = run_backlog(settings, root.path());

    report.heading("A plant's records: stations forwarding their journals to one PostgreSQL server");
    report.paragraph("A local PostgreSQL server (`scripts/pg-test-server.sh start-durable`: a Unix socket, fsync, "
                     "synchronous commit and full page writes on, as a plant's server runs) on this machine, "
                     "shared with the stations and the simulators.");
    load_report(report, settings, load);
    backlog_report(report, backlog);
}
