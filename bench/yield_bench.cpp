#include "yield_bench.h"

#include "records/records.h"
#include "records/server_records.h"
#include "yield/yield_query.h"
#include "yield/yield_view.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <unistd.h>

#include <functional>
#include <optional>
#include <vector>

#include <iostream>
#include <stdexcept>

namespace {

// 2026-01-01T00:00:00Z, one job every 31 s: a year of a plant's jobs. Every 20th job is a retest
// of the camera before it; 5 % of the jobs fail their read-back (the camera's fault), 3 % lose
// their line (the station's).
constexpr qint64 kYearStart = 1767225600;
constexpr int kJobSeconds = 31;
// What a station stores with each job: the camera of job 20k+18 is tested again by job 20k+19, so
// those two are not their cameras' only jobs.
constexpr const char* kSolo = "i % 20 < 18";

QString sqlite_fill(int rows)
{
    return QStringLiteral(
               "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
               "INSERT INTO jobs (started, started_ms, ended, host, port, device, title, serial, file_path, "
               "file_sha256, mode, result, reason, differing, duration_ms, job_id, station, fault, attempt, ended_ms, "
               "clock_hour, solo) "
               "SELECT strftime('%Y-%m-%dT%H:%M:%S.000+00:00', %2 + i * %3, 'unixepoch'), (%2 + i * %3) * 1000, "
               "strftime('%Y-%m-%dT%H:%M:%S.000+00:00', %2 + i * %3 + 25, 'unixepoch'), 'pc', 1 + i % 8, "
               "'/dev/ttyUSB0', 'CAM', 'SN-' || (CASE WHEN i % 20 = 19 THEN i - 1 ELSE i END), '/m/line3.dat', "
               "'%4', 'batch', CASE WHEN i % 100 < 5 THEN 'fail-verify' WHEN i % 100 < 8 THEN 'fail-link' "
               "ELSE 'pass' END, CASE WHEN i % 100 < 5 THEN '1 word differs: 0x0012 (...)' WHEN i % 100 < 8 "
               "THEN 'line lost at 0x0003 (cable pulled?)' ELSE '' END, CASE WHEN i % 100 < 5 THEN '0x0012' "
               "ELSE '' END, 25000, 'job-' || i, 'line-' || (i % 4), CASE WHEN i % 100 < 5 THEN 'camera' "
               "WHEN i % 100 < 8 THEN 'station' ELSE 'none' END, CASE WHEN i % 20 = 19 THEN 2 ELSE 1 END, "
               "(%2 + i * %3 + 25) * 1000, (%2 + i * %3) / 3600, %5 FROM n")
        .arg(rows - 1)
        .arg(kYearStart)
        .arg(kJobSeconds)
        .arg(QString(64, QLatin1Char('a')))
        .arg(QLatin1String(kSolo));
}

QString postgres_fill(int rows)
{
    return QStringLiteral(
               "INSERT INTO jobs (job_id, station, operator, started, started_offset, ended, ended_offset, host, "
               "port, device, title, serial, file_path, file_sha256, mode, result, reason, differing, duration_ms, "
               "fault, attempt, keep_map, clock_hour, solo) SELECT 'job-' || i, 'line-' || (i % 4), '', to_timestamp(%2 + i * %3), 0, "
               "to_timestamp(%2 + i * %3 + 25), 0, 'pc', 1 + i % 8, '/dev/ttyUSB0', 'CAM', "
               "'SN-' || (CASE WHEN i % 20 = 19 THEN i - 1 ELSE i END), '/m/line3.dat', '%4', 'batch', "
               "CASE WHEN i % 100 < 5 THEN 'fail-verify' WHEN i % 100 < 8 THEN 'fail-link' ELSE 'pass' END, "
               "CASE WHEN i % 100 < 5 THEN '1 word differs: 0x0012 (...)' WHEN i % 100 < 8 "
               "THEN 'line lost at 0x0003 (cable pulled?)' ELSE '' END, CASE WHEN i % 100 < 5 THEN '{18}'::integer[] "
               "ELSE '{}'::integer[] END, 25000, CASE WHEN i % 100 < 5 THEN 'camera' WHEN i % 100 < 8 THEN "
               "'station' ELSE 'none' END, CASE WHEN i % 20 = 19 THEN 2 ELSE 1 END, '', (%2 + i * %3) / 3600, "
               "%5 FROM generate_series(0, %1) AS i")
        .arg(rows - 1)
        .arg(kYearStart)
        .arg(kJobSeconds)
        .arg(QString(64, QLatin1Char('a')))
        .arg(QLatin1String(kSolo));
}

// `settle` is what happens to a year of records long before anyone counts them: statistics, on
// the server a VACUUM (which autovacuum would otherwise run over the fresh million rows while they
// are counted) and a checkpoint; then the written pages go to disk, so that the kernel's
// write-back of the fill is not timed with the count. A VACUUM straight after the fill leaves
// every page of it marked as not yet visible to all (PostgreSQL 15 here); one a second later
// marks them, as autovacuum has long done on a year's table.
void fill(const QString& connection, const QString& statement, const QStringList& settle)
{
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (!query.exec(statement)) throw std::runtime_error("cannot fill the records: " + query.lastError().text().toStdString());
    for (const QString& step : settle) query.exec(step); // a step the database refuses only costs time
    ::sync();
}

using Count = std::function<std::optional<yield::YieldFigures>(yield::Grouping)>;

void count_rows(Report& report, const std::string& where, const Count& count, int runs)
{
    for (yield::Grouping grouping : {yield::Grouping::None, yield::Grouping::Station, yield::Grouping::Master, yield::Grouping::Day}) {
        std::vector<double> samples;
        int jobs = 0;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer clock;
            clock.start();
            const std::optional<yield::YieldFigures> figures = count(grouping);
            samples.push_back(double(clock.nsecsElapsed()) / 1e6);
            if (!figures) throw std::runtime_error("the count failed on " + where);
            jobs = figures->total.jobs;
        }
        const Summary s = summarize(samples);
        const std::string by = grouping == yield::Grouping::None ? "-" : yield::grouping_word(grouping).toStdString();
        report.row("| " + where + " | " + by + " | " + std::to_string(jobs) + " | " + ms_summary(s, 0) + " | " +
                   verdict(s.max < 2000) + " |");
    }
}

// The view takes the figures of a day (what the window shows) and of a whole year by day.
void view_updates(Report& report, const station::Records& records, int runs)
{
    yield::YieldView view;
    view.resize(1100, 700);
    view.show();
    const QDateTime last_day = QDateTime::fromSecsSinceEpoch(kYearStart + qint64(1000000) * kJobSeconds - 86400);
    const std::optional<yield::YieldFigures> day = yield::yield_in_file(records, {last_day, {}, {}, {}}, yield::Grouping::None);
    if (!day) throw std::runtime_error("the day's count failed");
    std::vector<double> samples;
    for (int run = 0; run < runs * 10; ++run) {
        QElapsedTimer clock;
        clock.start();
        view.set_figures(*day);
        samples.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    const Summary s = summarize(samples);
    report.row("| set_figures, a day (" + std::to_string(day->total.jobs) + " jobs, " + std::to_string(day->hours.size()) +
               " hours) | " + ms_summary(s, 1) + " | " + verdict(s.p99 < 50) + " |");
}

} // namespace

void yield_section(Report& report, const YieldBenchSettings& settings)
{
    report.heading("Yield: stats over a plant's year");
    report.paragraph("`camera-station stats`'s query (yield_in_file / yield_on_server) over " +
                     std::to_string(settings.rows) +
                     " job records: four stations, eight ports, a retest in every 20 jobs, 5 % camera failures, 3 % "
                     "station faults. Time from the query's start to the figures, in ms; target under 2000 ms.");
    report.table("| Database | --by | Jobs | ms: median / p99 (mean, min..max, n) | Under 2 s |");
    QTemporaryDir folder;
    station::Records records;
    QString error;
    if (!records.open(folder.filePath(QStringLiteral("station.sqlite")), &error)) throw std::runtime_error(error.toStdString());
    std::cerr << "[bench] filling SQLite with " << settings.rows << " rows" << std::endl;
    fill(records.connection_name(), sqlite_fill(settings.rows), {QStringLiteral("ANALYZE")});
    count_rows(report, "SQLite 3 (file)", [&](yield::Grouping g) { return yield::yield_in_file(records, {}, g); },
               settings.runs);
    if (!settings.server_uri.isEmpty()) {
        station::ServerRecords server;
        const std::optional<station::ServerUri> uri = station::parse_server_uri(settings.server_uri, &error);
        if (!uri || server.open(*uri, &error) != station::ServerOpen::Opened) throw std::runtime_error(error.toStdString());
        std::cerr << "[bench] filling PostgreSQL with " << settings.rows << " rows" << std::endl;
        fill(server.connection_name(), postgres_fill(settings.rows),
             {QStringLiteral("VACUUM ANALYZE jobs"), QStringLiteral("SELECT pg_sleep(1)"), QStringLiteral("VACUUM jobs"),
              QStringLiteral("CHECKPOINT")});
        count_rows(report, "PostgreSQL (local socket)",
                   [&](yield::Grouping g) { return yield::yield_on_server(server, {}, g); }, settings.runs);
    }
    report.heading("Yield view: the window's thread");
    report.paragraph("The station window counts off its thread; the window's thread only gives the view the new "
                     "figures (YieldView::set_figures), after every finished camera. Target: under 50 ms.");
    report.table("| Update | ms: median / p99 (mean, min..max, n) | Under 50 ms |");
    view_updates(report, records, settings.runs);
}
