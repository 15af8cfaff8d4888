// The yield counted by the records databases themselves: a small shift with retests, station
// faults, two stations, two ports and two masters, written as a station writes it into an SQLite
// file and onto a real PostgreSQL server; each database's figures must be those of the reference
// computation on the same rows, for every grouping, and the hand-computed ones.

#include "records/records.h"
#include "records/server_records.h"
#include "support/test_database.h"
#include "support/yield_shift.h"
#include "yield/yield_query.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <functional>
#include <latch>
#include <thread>

using namespace yield;
using station::JobResult;

namespace {

using yield_shift::at;
using yield_shift::kM1;
using yield_shift::kM2;

struct Row {
    int hour, minute, second;
    const char* station;
    int port;
    const char* serial;
    QString master;
    JobResult result;
    const char* reason;
    QList<int> differing;
    const char* fault; // as recorded; "" for a row of an earlier layout
    int attempt;       // as recorded; 0: as begin() counts it in the file
    bool ended;
};

// Sixteen jobs in time order (the shift of test_yield.cpp): a fail then a pass of SN1 (a retest),
// a line lost before a pass (still a first pass), SN4 failing twice then passing on the other
// station, an aborted job never ended, two cameras without a serial, SN1 with a second master,
// an unverified job, an attempt 2 whose first lies before the rows, and a job whose recorded
// fault (the station's) overrides what its reason would say. Rows with an empty fault are read
// as older records are: classified from their result and reason.
const QList<Row> kShift = {
    {6, 5, 0, "S1", 1, "SN1", kM1, JobResult::FailVerify, "1 word differs: 0x0012 (file 0x1234, camera 0x0000)", {0x12}, "camera", 0, true},
    {6, 10, 0, "S1", 2, "SN2", kM1, JobResult::Pass, "", {}, "none", 0, true},
    {6, 20, 0, "S1", 1, "SN1", kM1, JobResult::Pass, "", {}, "", 0, true},
    {6, 30, 0, "S2", 1, "SN3", kM1, JobResult::FailLink, "line lost at 0x0003 (cable pulled?)", {}, "station", 0, true},
    {6, 40, 0, "S2", 1, "SN3", kM1, JobResult::Pass, "", {}, "none", 0, true},
    {7, 5, 0, "S2", 2, "SN4", kM1, JobResult::FailVerify, "3 words differ: 0x0012 (...), 0x0040 (...), 0x0041 (...)",
     {0x40, 0x12, 0x41}, "camera", 0, true},
    {7, 15, 0, "S2", 2, "SN4", kM1, JobResult::FailRefused, "camera refused the block", {}, "", 0, true},
    {7, 25, 0, "S1", 2, "SN4", kM1, JobResult::Pass, "", {}, "", 0, true},
    {7, 30, 0, "S1", 1, "SN5", kM1, JobResult::Aborted, "", {}, "", 0, false},
    {7, 35, 0, "S1", 1, "", kM1, JobResult::Pass, "", {}, "", 0, true},
    {7, 45, 0, "S1", 2, "", kM1, JobResult::FailLink, "camera did not answer within 10 s after its reset", {}, "", 0, true},
    {7, 50, 0, "S2", 1, "SN1", kM2, JobResult::Pass, "", {}, "", 0, true},
    {7, 55, 0, "S2", 1, "SN6", kM1, JobResult::FailVerify, "1 word differs: 0x0040 (file 0x0001, camera 0x0002)", {0x40}, "", 0, true},
    {7, 58, 0, "S2", 2, "SN7", kM1, JobResult::Unverified, "written, not read back", {}, "none", 0, true},
    {7, 59, 0, "S1", 1, "SN8", kM1, JobResult::Pass, "", {}, "none", 2, true},
    {7, 59, 30, "S1", 2, "SN9", kM1, JobResult::FailLink, "camera stopped answering at 0x0100", {}, "station", 0, true},
};

station::JobRow job_row(const Row& r)
{
    station::JobRow row;
    station::JobStart& s = row.start;
    s.started = at(r.hour, r.minute, r.second);
    s.host = QStringLiteral("pc");
    s.port = r.port;
    s.device = QStringLiteral("/dev/ttyUSB0");
    s.serial = QString::fromLatin1(r.serial);
    s.file_path = r.master == kM1 ? QStringLiteral("/masters/line3.dat") : QStringLiteral("/masters/line4.dat");
    s.file_sha256 = r.master;
    s.mode = QStringLiteral("batch");
    s.job_id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    s.station = QString::fromLatin1(r.station);
    s.attempt = r.attempt;
    row.result = r.ended ? r.result : JobResult::Aborted;
    if (r.ended) {
        station::JobEnd end;
        end.ended = s.started.addSecs(60);
        end.result = r.result;
        end.reason = QString::fromUtf8(r.reason);
        end.differing = r.differing;
        end.fault = QString::fromLatin1(r.fault);
        end.duration_ms = 60000;
        row.end = end;
    }
    return row;
}

// The reference figures on the rows as the file gives them back.
YieldFigures reference(const QList<station::JobRow>& rows, Grouping grouping)
{
    QList<YieldJob> jobs;
    for (const station::JobRow& row : rows) jobs << yield_job(row);
    return compute_yield(jobs, grouping);
}

void expect_counts_equal(const YieldCounts& got, const YieldCounts& want, const std::string& what)
{
    SCOPED_TRACE(what);
    EXPECT_EQ(got.jobs, want.jobs);
    EXPECT_EQ(got.cameras, want.cameras);
    EXPECT_EQ(got.first_pass, want.first_pass);
    EXPECT_EQ(got.final_pass, want.final_pass);
    EXPECT_EQ(got.retests, want.retests);
    EXPECT_EQ(got.station_faults, want.station_faults);
    EXPECT_EQ(got.unverified, want.unverified);
    EXPECT_EQ(got.first_started, want.first_started);
    EXPECT_EQ(got.last_ended, want.last_ended);
}

void expect_groups_equal(const QList<YieldGroup>& got, const QList<YieldGroup>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].key, want[i].key);
        EXPECT_EQ(got[i].label, want[i].label);
        expect_counts_equal(got[i].counts, want[i].counts, want[i].label.toStdString());
    }
}

void expect_ranking_equal(const QList<ParetoEntry>& got, const QList<ParetoEntry>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (qsizetype i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].key, want[i].key) << "rank " << i;
        EXPECT_EQ(got[i].fault, want[i].fault) << "rank " << i;
        EXPECT_EQ(got[i].count, want[i].count) << "rank " << i;
        EXPECT_DOUBLE_EQ(got[i].cumulative, want[i].cumulative) << "rank " << i;
    }
}

void expect_figures_equal(const YieldFigures& got, const YieldFigures& want)
{
    expect_counts_equal(got.total, want.total, "total");
    expect_groups_equal(got.groups, want.groups);
    expect_groups_equal(got.ports, want.ports);
    ASSERT_EQ(got.hours.size(), want.hours.size());
    for (qsizetype i = 0; i < want.hours.size(); ++i) {
        EXPECT_EQ(got.hours[i].hour, want.hours[i].hour);
        EXPECT_EQ(std::tuple(got.hours[i].passed, got.hours[i].failed, got.hours[i].station_faults),
                  std::tuple(want.hours[i].passed, want.hours[i].failed, want.hours[i].station_faults));
    }
    expect_ranking_equal(got.reasons, want.reasons);
    expect_ranking_equal(got.addresses, want.addresses);
}

struct CommandRun {
    int exit_code = -1;
    QString out;
    QString err;
};

CommandRun run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    CommandRun result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("%1 did not finish").arg(program);
        return result;
    }
    result.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

CommandRun station_command(const QString& db, const QStringList& arguments)
{
    return run(QStringLiteral(CAMERA_STATION_EXE), arguments + QStringList{QStringLiteral("--db"), db});
}

QJsonObject stats_json(const QString& db, const QStringList& options)
{
    const CommandRun r = station_command(db, QStringList{QStringLiteral("stats"), QStringLiteral("--json")} + options);
    EXPECT_EQ(r.exit_code, 0) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

// `stats`, `history` and `report` on the shift in database `db` (a file or a server's URI): the
// hand-computed figures, each option reaching the query, SN4's jobs on both stations oldest first,
// and a report holding the figures.
void expect_commands(const QString& db)
{
    const QJsonObject all = stats_json(db, {});
    for (const auto& [name, value] : {std::pair("jobs", 16), std::pair("cameras", 9), std::pair("first_pass", 4),
                                      std::pair("final_pass", 7), std::pair("retests", 5), std::pair("station_faults", 3),
                                      std::pair("unverified", 1)})
        EXPECT_EQ(all.value(QLatin1String(name)).toInt(-1), value) << name;

    const struct {
        QStringList options;
        int jobs;
    } narrowed[] = {
        {{QStringLiteral("--station"), QStringLiteral("S2")}, 7},
        {{QStringLiteral("--master"), kM2}, 1},
        {{QStringLiteral("--since"), QStringLiteral("2024-05-06T07:05:00+02:00")}, 11},
        {{QStringLiteral("--until"), QStringLiteral("2024-05-06T07:05:00+02:00")}, 5},
    };
    for (const auto& n : narrowed)
        EXPECT_EQ(stats_json(db, n.options).value(QStringLiteral("jobs")).toInt(-1), n.jobs)
            << n.options.join(QLatin1Char(' ')).toStdString();
    const QJsonArray stations =
        stats_json(db, {QStringLiteral("--by"), QStringLiteral("station")}).value(QStringLiteral("groups")).toArray();
    ASSERT_EQ(stations.size(), 2);
    EXPECT_EQ(stations[0].toObject().value(QStringLiteral("label")).toString(), QStringLiteral("S1"));
    EXPECT_EQ(stations[0].toObject().value(QStringLiteral("cameras")).toInt(), 5);

    CommandRun r = station_command(db, {QStringLiteral("stats")});
    EXPECT_TRUE(r.out.contains(QRegularExpression(QStringLiteral("First-pass yield +44.4 % +4 of 9")))) << r.out.toStdString();
    r = station_command(db, {QStringLiteral("stats"), QStringLiteral("--csv")});
    EXPECT_TRUE(r.out.contains(QStringLiteral("\r\nall,,16,9,4,7,0.4444,0.7778,5,3,1,"))) << r.out.toStdString();

    r = station_command(db, {QStringLiteral("history"), QStringLiteral("SN4"), QStringLiteral("--json")});
    QStringList jobs;
    for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject job = QJsonDocument::fromJson(line.toUtf8()).object();
        jobs << job.value(QStringLiteral("station")).toString() + QLatin1Char(' ') + job.value(QStringLiteral("result")).toString();
    }
    EXPECT_EQ(jobs, (QStringList{QStringLiteral("S2 fail-verify"), QStringLiteral("S2 fail-refused"), QStringLiteral("S1 pass")}))
        << r.err.toStdString();

    QTemporaryDir folder;
    const QString pdf = folder.filePath(QStringLiteral("shift.pdf"));
    r = station_command(db, {QStringLiteral("report"), QStringLiteral("--since"), QStringLiteral("2024-05-06T06:00:00+02:00"),
                             QStringLiteral("--until"), QStringLiteral("2024-05-06T14:00:00+02:00"), pdf});
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    const CommandRun text = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_EQ(text.exit_code, 0) << "pdftotext (poppler-utils): " << text.err.toStdString();
    for (const char* expected : {"44.4 %", "77.8 %", "4 of 9", "7 of 9", "words differ"})
        EXPECT_TRUE(text.out.contains(QLatin1String(expected))) << expected << " is not in\n" << text.out.toStdString();
}

// The hand-computed figures of the whole shift (test_yield.cpp derives them row by row).
void expect_hand_computed(const YieldFigures& f)
{
    EXPECT_EQ(std::tuple(f.total.jobs, f.total.cameras, f.total.first_pass, f.total.final_pass),
              std::tuple(16, 9, 4, 7));
    EXPECT_EQ(std::tuple(f.total.retests, f.total.station_faults, f.total.unverified), std::tuple(5, 3, 1));
    EXPECT_EQ(f.total.first_started, at(6, 5));
    EXPECT_EQ(f.total.last_ended, at(8, 0, 30));
    ASSERT_EQ(f.ports.size(), 2);
    EXPECT_EQ(std::tuple(f.ports[0].label, f.ports[0].counts.cameras, f.ports[0].counts.first_pass),
              std::tuple(QStringLiteral("COM1"), 6, 3));
    ASSERT_FALSE(f.reasons.isEmpty());
    EXPECT_EQ(std::tuple(f.reasons[0].key, f.reasons[0].count), std::tuple(QStringLiteral("words differ"), 3));
}

const Grouping kGroupings[] = {Grouping::None, Grouping::Port, Grouping::Station, Grouping::Master, Grouping::Day,
                               Grouping::Hour};

// Filters narrow the rows the database counts, as they narrow the rows given to the reference.
struct FilterCase {
    const char* name;
    YieldFilter filter;
    int jobs;
};

QList<FilterCase> filter_cases()
{
    return {{"all", {}, 16},
            {"since, inclusive", {at(7, 5), {}, {}, {}}, 11},
            {"since, after a camera's first job", {at(7, 10), {}, {}, {}}, 10},
            {"until, exclusive", {{}, at(7, 5), {}, {}}, 5},
            {"station", {{}, {}, QStringLiteral("S2"), {}}, 7},
            {"master", {{}, {}, {}, kM2}, 1}};
}

// The reference camera read into the master before the shift, by a save that lost its line: it
// cloned no camera, so the yield leaves it out.
station::JobRow save_row()
{
    station::JobRow row = job_row({5, 0, 0, "S1", 1, "", kM1, JobResult::FailLink,
                                   "camera stopped answering at 0x0201", {}, "", 0, true});
    row.start.mode = QStringLiteral("save");
    return row;
}

QList<station::JobRow> filtered(const QList<station::JobRow>& rows, const YieldFilter& f)
{
    QList<station::JobRow> kept;
    for (const station::JobRow& row : rows) {
        const QDateTime started = row.start.started;
        if (row.start.mode == QLatin1String("save") || (f.since.isValid() && started < f.since) || (f.until.isValid() && started >= f.until)
            || (!f.station.isEmpty() && row.start.station != f.station)
            || (!f.master_sha256.isEmpty() && row.start.file_sha256 != f.master_sha256))
            continue;
        kept << row;
    }
    return kept;
}

using Count = std::function<std::optional<YieldFigures>(const YieldFilter&, Grouping, QString*)>;

// The database's figures for every filter and grouping equal the reference's on the same rows.
void expect_every_filter(const Count& count, const QList<station::JobRow>& rows, const std::string& layout)
{
    for (const FilterCase& c : filter_cases()) {
        for (Grouping grouping : kGroupings) {
            SCOPED_TRACE(layout + ", " + c.name + " by " + grouping_word(grouping).toStdString());
            QString error;
            const std::optional<YieldFigures> got = count(c.filter, grouping, &error);
            ASSERT_TRUE(got.has_value()) << error.toStdString();
            EXPECT_EQ(got->total.jobs, c.jobs);
            expect_figures_equal(*got, reference(filtered(rows, c.filter), grouping));
        }
    }
}

TEST(YieldInFile, EqualsTheReferenceAndTheHandComputedFigures)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    station::Records records;
    QString error;
    ASSERT_TRUE(records.open(folder.filePath(QStringLiteral("station.sqlite")), &error)) << error.toStdString();
    QList<station::JobRow> written{save_row()};
    for (const Row& r : kShift) written << job_row(r);
    // Each job ends once the next one has begun, as on a line with several ports; SN3's first
    // job was begun by the version before, which kept no flags. At no moment may a job be taken
    // for its camera's only one (summed alone) while the camera has another.
    QSqlQuery sql(QSqlDatabase::database(records.connection_name(), false));
    const auto alone_with_company = [&] {
        EXPECT_TRUE(sql.exec(QStringLiteral(
            "SELECT count(*) FROM jobs AS a WHERE solo = 1 AND EXISTS (SELECT 1 FROM jobs AS b WHERE b.id <> a.id "
            "AND trim(b.serial) = trim(a.serial) AND trim(a.serial) <> '' AND lower(b.file_sha256) = lower(a.file_sha256))")));
        return sql.next() ? sql.value(0).toInt() : -1;
    };
    std::optional<std::pair<qint64, station::JobEnd>> running;
    for (const station::JobRow& row : written) {
        const qint64 id = records.begin(row.start);
        ASSERT_GT(id, 0);
        if (row.start.serial == QLatin1String("SN3") && row.start.started == at(6, 30)) {
            ASSERT_TRUE(sql.exec(QStringLiteral("UPDATE jobs SET clock_hour = NULL, solo = NULL WHERE id = %1").arg(id)));
        }
        if (running) {
            ASSERT_TRUE(records.finish(running->first, running->second));
        }
        running.reset();
        if (row.end) running.emplace(id, *row.end);
        EXPECT_EQ(alone_with_company(), 0) << "after job " << id;
    }
    ASSERT_TRUE(!running || records.finish(running->first, running->second));
    const QList<station::JobRow> rows = records.list();
    ASSERT_EQ(rows.size(), kShift.size() + 1);
    // begin() numbers the attempts as it goes: SN4's third job, and SN8's given 2.
    EXPECT_EQ(rows[kShift.size() - 8].start.attempt, 3);
    EXPECT_EQ(rows[1].start.attempt, 2);

    // As recorded, then with every other row as the layout before kept it: without its end in
    // milliseconds, its hour and whether it is its camera's only job.
    const Count in_file = [&](const YieldFilter& filter, Grouping grouping, QString* why) {
        return yield_in_file(records, filter, grouping, why);
    };
    expect_every_filter(in_file, rows, "as recorded");
    ASSERT_TRUE(sql.exec(QStringLiteral("UPDATE jobs SET ended_ms = NULL, clock_hour = NULL, solo = NULL WHERE id % 2 = 0")));
    expect_every_filter(in_file, rows, "every other row older");
    expect_hand_computed(*yield_in_file(records, {}, Grouping::None));
    expect_commands(records.path());
    // SN4's attempts as the station numbered them, on both stations.
    const CommandRun history = station_command(records.path(), {QStringLiteral("history"), QStringLiteral("SN4")});
    const QStringList lines = history.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << history.out.toStdString();
    EXPECT_TRUE(lines[0].contains(QRegularExpression(QStringLiteral("^Started +Station +Port +Attempt +Master"))));
    EXPECT_TRUE(lines[3].contains(QRegularExpression(QStringLiteral(" S1 +2 +3 +line3.dat \\(aaaaaaaa\\) +pass"))))
        << lines[3].toStdString();
}

class YieldOnServer : public ServerDatabaseTest {};

// The server keeps attempts as sent: the rows sent with 0 (older journal rows) are counted there.
TEST_F(YieldOnServer, EqualsTheReferenceAndTheHandComputedFigures)
{
    station::ServerRecords server;
    QString error;
    const std::optional<station::ServerUri> uri = station::parse_server_uri(database_.uri(), &error);
    ASSERT_TRUE(uri.has_value()) << error.toStdString();
    ASSERT_EQ(server.open(*uri, &error), station::ServerOpen::Opened) << error.toStdString();
    QList<station::JobRow> rows{save_row()};
    QList<station::ServerJob> jobs{station::server_job(rows.last())};
    QList<station::ServerJob> starts; // as a station forwards a job when it begins
    for (const Row& r : kShift) {
        rows << job_row(r);
        jobs << station::server_job(rows.last());
        starts << jobs.last();
        starts.last().row.end.reset();
        starts.last().row.result = JobResult::Aborted;
    }
    ASSERT_TRUE(server.store(starts).committed);
    ASSERT_TRUE(server.store(jobs).committed);
    expect_every_filter([&](const YieldFilter& filter, Grouping grouping,
                            QString* why) { return yield_on_server(server, filter, grouping, why); },
                        rows, "as stored");
    expect_hand_computed(*yield_on_server(server, {}, Grouping::None));
    expect_commands(database_.uri());

    // A server laid out by the version before: opening it adds the columns, and its rows, which
    // have none of them, are counted as they were.
    ASSERT_TRUE(QSqlQuery(QSqlDatabase::database(server.connection_name(), false))
                    .exec(QStringLiteral("ALTER TABLE jobs DROP COLUMN solo, DROP COLUMN clock_hour")));
    station::ServerRecords reopened;
    ASSERT_EQ(reopened.open(*uri, &error), station::ServerOpen::Opened) << error.toStdString();
    expect_every_filter([&](const YieldFilter& filter, Grouping grouping,
                            QString* why) { return yield_on_server(reopened, filter, grouping, why); },
                        rows, "older rows");
}

// Two stations storing jobs of the same 200 cameras at the same moment, each in one batch: the
// server's lock per camera makes one wait for the other, so that no job is left counted as its
// camera's only one.
TEST_F(YieldOnServer, TwoStationsRecordingOneCameraAtOnce)
{
    const std::optional<station::ServerUri> uri = station::parse_server_uri(database_.uri(), nullptr);
    ASSERT_TRUE(uri.has_value());
    std::latch both_ready(2);
    const auto station_storing = [&](const char* name, std::optional<bool>* committed) {
        station::ServerRecords server;
        const bool opened = server.open(*uri, nullptr) == station::ServerOpen::Opened;
        QList<station::ServerJob> jobs;
        for (int camera = 0; camera < 200; ++camera) {
            station::JobRow row = job_row({7, 0, camera % 60, name, 1, "", kM1, JobResult::Pass, "", {}, "none", 1, true});
            row.start.serial = QStringLiteral("SN-%1").arg(camera);
            jobs << station::server_job(row);
            jobs.last().station = QString::fromLatin1(name);
        }
        both_ready.arrive_and_wait();
        if (opened) *committed = server.store(jobs).committed;
    };
    std::optional<bool> first, second;
    std::thread s1(station_storing, "S1", &first), s2(station_storing, "S2", &second);
    s1.join();
    s2.join();
    ASSERT_TRUE(first.value_or(false) && second.value_or(false));

    station::ServerRecords server;
    ASSERT_EQ(server.open(*uri, nullptr), station::ServerOpen::Opened);
    QSqlQuery sql(QSqlDatabase::database(server.connection_name(), false));
    ASSERT_TRUE(sql.exec(QStringLiteral("SELECT count(*) FILTER (WHERE solo), count(*) FROM jobs")) && sql.next());
    EXPECT_EQ(std::pair(sql.value(0).toInt(), sql.value(1).toInt()), std::pair(0, 400));
    const std::optional<YieldFigures> figures = yield_on_server(server, {}, Grouping::None);
    ASSERT_TRUE(figures.has_value());
    EXPECT_EQ(std::tuple(figures->total.cameras, figures->total.first_pass), std::tuple(200, 200));
}

} // namespace
