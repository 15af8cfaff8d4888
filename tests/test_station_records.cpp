// The clone station's job records: rows survive an unfinished job, several threads write one
// file at once, a bad database is refused with its reason, and the listings quote and filter.

#include "records/records.h"
#include "station_test_support.h"
#include "support/private_folder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

#include <tuple>

#include <latch>
#include <thread>

using namespace station;

namespace {

const QDateTime noon(QDate(2024, 5, 1), QTime(12, 0), Qt::OffsetFromUTC, 7200);

JobStart job_at(const QDateTime& started, int port = 1, const QString& title = QStringLiteral("GATE 3"))
{
    JobStart start;
    start.started = started;
    start.host = QStringLiteral("line-pc");
    start.port = port;
    start.device = QStringLiteral("/dev/ttyUSB%1").arg(port - 1);
    start.title = title;
    start.comm_id = 7;
    start.serial = QStringLiteral("SN-0042");
    start.file_path = QStringLiteral("/srv/masters/master.txt");
    start.file_sha256 = QString(64, QLatin1Char('a'));
    start.mode = QStringLiteral("batch");
    start.keep_map = QStringLiteral("0x0100-0x011F,0x03F0");
    return start;
}

class StationRecords : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder_.isValid()); }
    QString db_path() const { return folder_.filePath(QStringLiteral("line/station.sqlite")); }
    void open(Records& records) const
    {
        QString error;
        ASSERT_TRUE(records.open(db_path(), &error)) << error.toStdString();
    }

    QTemporaryDir folder_;
};

TEST_F(StationRecords, UnfinishedJobStaysAbortedAcrossReopenAndFinishCompletesIt)
{
    JobStart start = job_at(noon);
    start.comm_id = -1; // unknown: stored as NULL, read back as -1
    start.serial = QString(); // no scanner on this line
    qint64 id = -1;
    {
        Records crashed;
        open(crashed);
        id = crashed.begin(start);
        ASSERT_GT(id, 0);
    } // the program "crashes": the job is never finished

    Records records;
    open(records);
    QList<JobRow> rows = records.list();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].result, JobResult::Aborted);
    EXPECT_FALSE(rows[0].end.has_value());

    JobEnd end;
    end.ended = noon.addSecs(41);
    end.result = JobResult::FailVerify;
    end.reason = QStringLiteral("2 words differ");
    end.differing = {0x12, 0x3FF};
    end.duration_ms = 41250;
    RecordsError error;
    ASSERT_TRUE(records.finish(id, end, &error)) << error.text.toStdString();
    EXPECT_FALSE(records.finish(id + 1, end, &error)) << "a job that does not exist was completed";
    EXPECT_FALSE(error.transient) << "waiting never makes a job that does not exist";

    rows = records.list();
    ASSERT_EQ(rows.size(), 1);
    const JobRow& row = rows[0];
    EXPECT_EQ(row.id, id);
    EXPECT_EQ(row.result, JobResult::FailVerify);
    EXPECT_EQ(row.start.started, noon);
    EXPECT_EQ(row.start.started.offsetFromUtc(), 7200);
    for (auto field : {&JobStart::host, &JobStart::device, &JobStart::title, &JobStart::serial,
                       &JobStart::file_path, &JobStart::file_sha256, &JobStart::mode, &JobStart::keep_map})
        EXPECT_EQ(row.start.*field, start.*field);
    EXPECT_EQ(row.start.port, 1);
    EXPECT_EQ(row.start.comm_id, -1);
    ASSERT_TRUE(row.end.has_value());
    EXPECT_EQ(row.end->ended, end.ended);
    EXPECT_EQ(row.end->result, JobResult::FailVerify);
    EXPECT_EQ(row.end->reason, end.reason);
    EXPECT_EQ(row.end->differing, end.differing);
    EXPECT_EQ(row.end->duration_ms, 41250);
    EXPECT_TRUE(records_csv(rows).contains(QStringLiteral(",0x0012 0x03FF,")));
}

TEST_F(StationRecords, TwoPortsWritingAtOnceLoseNoRow)
{
    constexpr int jobs_per_port = 50;
    std::latch together(2);
    QStringList failures[2];
    auto port_thread = [&](int port) {
        Records records; // each thread its own connection, as each port's thread has
        QString error;
        if (!records.open(db_path(), &error))
            failures[port - 1] << error;
        together.arrive_and_wait();
        for (int job = 0; job < jobs_per_port && failures[port - 1].isEmpty(); ++job) {
            RecordsError write_error;
            const qint64 id = records.begin(job_at(noon.addSecs(job), port), &write_error);
            JobEnd end;
            end.ended = noon.addSecs(job + 1);
            end.result = JobResult::Pass;
            if (id < 0 || !records.finish(id, end, &write_error))
                failures[port - 1] << write_error.text;
        }
    };
    std::thread first(port_thread, 1), second(port_thread, 2);
    first.join();
    second.join();
    EXPECT_TRUE(failures[0].isEmpty()) << failures[0].join('\n').toStdString();
    EXPECT_TRUE(failures[1].isEmpty()) << failures[1].join('\n').toStdString();

    Records records;
    open(records);
    const QList<JobRow> rows = records.list();
    ASSERT_EQ(rows.size(), 2 * jobs_per_port);
    int per_port[2] = {0, 0};
    for (const JobRow& row : rows) {
        EXPECT_EQ(row.result, JobResult::Pass) << "job " << row.id;
        ++per_port[row.start.port - 1];
    }
    EXPECT_EQ(per_port[0], jobs_per_port);
    EXPECT_EQ(per_port[1], jobs_per_port);
}

TEST_F(StationRecords, OpenRefusesWhatCannotHoldRecordsWithItsReason)
{
    const QString not_a_database = folder_.filePath(QStringLiteral("notes.sqlite"));
    QFile notes(not_a_database);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write(QByteArray("These are the line's notes, not a database.\n").repeated(200));
    notes.close();
    const QString under_a_file = not_a_database + QStringLiteral("/records/station.sqlite");

    for (const QString& path : {not_a_database, under_a_file}) {
        Records records;
        QString error;
        EXPECT_FALSE(records.open(path, &error)) << path.toStdString();
        EXPECT_FALSE(records.is_open());
        EXPECT_TRUE(error.startsWith(QStringLiteral("cannot open the record database ") + path + ": "))
            << error.toStdString();
        EXPECT_GT(error.size(), QStringLiteral("cannot open the record database : ").size() + path.size() + 3)
            << "no reason given: " << error.toStdString();
        EXPECT_FALSE(error.contains(QLatin1Char('\n'))) << error.toStdString();
    }
}

TEST_F(StationRecords, ListingsFilterBySinceNewestFirstAndQuoteCsv)
{
    Records records;
    open(records);
    const QString awkward = QStringLiteral("Gate 3, \"north\"");
    for (int hour = 0; hour < 3; ++hour)
        ASSERT_GT(records.begin(job_at(noon.addSecs(hour * 3600), hour + 1, hour == 2 ? awkward : "GATE")), 0);

    // The same instant given in UTC: a filter compares moments, not the texts of their offsets.
    const QList<JobRow> recent = records.list(noon.addSecs(3600).toUTC());
    ASSERT_EQ(recent.size(), 2);
    EXPECT_EQ(recent[0].start.port, 3);
    EXPECT_EQ(recent[1].start.port, 2);
    ASSERT_EQ(records.list(std::nullopt, 1).size(), 1);

    const QString csv = records_csv(recent);
    EXPECT_TRUE(csv.startsWith(QStringLiteral("id,started,ended,host,port,"))) << csv.toStdString();
    EXPECT_TRUE(csv.contains(QStringLiteral(",\"Gate 3, \"\"north\"\"\","))) << csv.toStdString();
    EXPECT_EQ(csv.count(QStringLiteral("\r\n")), 3);

    const QStringList lines = records_text(recent).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    const qsizetype result_column = lines[0].indexOf(QStringLiteral("Result"));
    for (const QString& line : lines.mid(1))
        EXPECT_EQ(line.indexOf(QStringLiteral("aborted")), result_column) << line.toStdString();
}

TEST_F(StationRecords, ADatabaseOfTheFirstLayoutReadsAsWithoutKeepMapsAndIsBroughtUpToDate)
{
    // A database an earlier station wrote: the first layout, version 1, one job.
    ASSERT_TRUE(QDir().mkpath(QFileInfo(db_path()).path()));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("first-layout"));
        db.setDatabaseName(db_path());
        ASSERT_TRUE(db.open());
        for (const char* statement :
             {"CREATE TABLE jobs (id INTEGER PRIMARY KEY AUTOINCREMENT, started TEXT NOT NULL, started_ms INTEGER NOT NULL, "
              "ended TEXT, host TEXT NOT NULL, port INTEGER NOT NULL, device TEXT NOT NULL, title TEXT NOT NULL, comm_id INTEGER, "
              "serial TEXT NOT NULL, file_path TEXT NOT NULL, file_sha256 TEXT NOT NULL, mode TEXT NOT NULL, result TEXT NOT NULL, "
              "reason TEXT NOT NULL DEFAULT '', differing TEXT NOT NULL DEFAULT '', duration_ms INTEGER)",
              "INSERT INTO jobs (started, started_ms, host, port, device, title, serial, file_path, file_sha256, mode, result) "
              "VALUES ('2024-05-01T12:00:00.000+02:00', 1714557600000, 'pc', 2, '/dev/ttyUSB1', 'OLD', '', '/m.dat', 'aa', "
              "'batch', 'pass')",
              "PRAGMA user_version = 1"})
            ASSERT_TRUE(QSqlQuery(db).exec(QLatin1String(statement))) << statement;
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("first-layout"));
    const QString copy = folder_.filePath(QStringLiteral("copy.sqlite"));
    ASSERT_TRUE(QFile::copy(db_path(), copy));

    // Read as it is (a reader changes nothing): its job has no keep map.
    {
        Records reader;
        QString error;
        ASSERT_TRUE(reader.open_for_reading(copy, &error)) << error.toStdString();
        const QList<JobRow> rows = reader.list(std::nullopt, -1, &error);
        ASSERT_EQ(rows.size(), 1) << error.toStdString();
        EXPECT_EQ(rows[0].start.title, QStringLiteral("OLD"));
        EXPECT_EQ(rows[0].start.keep_map, QString());
    }
    // Opened for writing it takes keep maps, and its old job still has none.
    Records records;
    open(records);
    ASSERT_GT(records.begin(job_at(noon.addSecs(60))), 0);
    const QList<JobRow> rows = records.list();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].start.keep_map, QStringLiteral("0x0100-0x011F,0x03F0"));
    EXPECT_EQ(rows[1].start.keep_map, QString());
    // The old job keeps no attempt (readers count it) and the new one is its camera's first.
    EXPECT_EQ(std::tuple(rows[1].start.attempt, rows[0].start.attempt), std::tuple(0, 1));
    const QString csv = records_csv(rows);
    EXPECT_TRUE(csv.startsWith(QStringLiteral("id,started,ended,host,port,device,title,comm_id,serial,file_path,file_sha256,"
                                              "mode,result,reason,differing,duration_ms,keep_map,job_id,station,operator,fault,"
                                              "attempt,retest_confirmed\r\n")))
        << csv.toStdString();
    EXPECT_TRUE(csv.contains(QStringLiteral(",\"0x0100-0x011F,0x03F0\",") + rows[0].start.job_id + QStringLiteral(",,,,1,0\r\n")))
        << csv.toStdString();
}

// The connection a Records object made on this thread (the only one the test has open).
QSqlDatabase own_connection()
{
    for (const QString& name : QSqlDatabase::connectionNames())
        if (name.startsWith(QLatin1String("station-records-"))) return QSqlDatabase::database(name);
    return {};
}

bool run_sql(QSqlDatabase db, const QString& statement) { return QSqlQuery(db).exec(statement); }

TEST_F(StationRecords, AWriteThatWaitingMayMendSaysSoAndSucceedsOnceItIsMended)
{
    // Each case keeps the write from being done, then mends what it broke (nothing, when
    // waiting cannot mend it).
    std::unique_ptr<DatabaseHolder> holder;
    const struct {
        const char* name;
        std::function<void()> break_it;
        std::function<void()> mend;
        bool transient;
        const char* reason;
    } cases[] = {
        {"another program holds the write lock",
         [&] { holder = std::make_unique<DatabaseHolder>(db_path(), DatabaseHolder::Hold::Writes); },
         [&] { holder->release(); }, true, "database is locked"},
        // A full disk, played by a cap on the size of the file.
        {"the database is full",
         [&] {
             QSqlQuery pages(own_connection());
             ASSERT_TRUE(pages.exec(QStringLiteral("PRAGMA page_count")) && pages.next());
             ASSERT_TRUE(run_sql(own_connection(), QStringLiteral("PRAGMA max_page_count = %1").arg(pages.value(0).toInt())));
         },
         [&] { run_sql(own_connection(), QStringLiteral("PRAGMA max_page_count = 1000000")); }, true,
         "database or disk is full"},
        // SQLite would go on writing into the deleted file, where nobody ever reads it.
        {"the file was deleted", [&] { ASSERT_TRUE(QFile::remove(db_path())); }, {}, false,
         "the file was deleted or replaced while the station used it"},
    };
    // Rows that take more than the free room of a page.
    JobStart start = job_at(noon);
    start.title = QString(3000, QLatin1Char('T'));
    const JobEnd end{noon, JobResult::FailLink, QString(3000, QLatin1Char('R')), {}, 1, {}, {}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Records records;
        open(records);
        const qint64 before = records.begin(job_at(noon));
        ASSERT_GT(before, 0);
        c.break_it();
        for (bool finishing : {false, true}) {
            RecordsError error;
            const bool done = finishing ? records.finish(before, end, &error) : records.begin(start, &error) > 0;
            EXPECT_FALSE(done) << (finishing ? "finish" : "begin");
            EXPECT_EQ(error.transient, c.transient) << error.text.toStdString();
            EXPECT_TRUE(error.text.endsWith(QStringLiteral(" in %1: %2").arg(db_path(), QLatin1String(c.reason))))
                << error.text.toStdString();
            EXPECT_EQ(error.text.count(db_path()), 1) << error.text.toStdString();
        }
        if (!c.mend) continue;
        c.mend();
        RecordsError error;
        const qint64 after = records.begin(start, &error);
        EXPECT_GT(after, before) << error.text.toStdString();
        EXPECT_TRUE(records.finish(before, end, &error)) << error.text.toStdString();
        EXPECT_EQ(records.list().size(), after) << "a failed write left a row behind";
    }
}

// A file of the first layout, or one whose number another change has already raised, as a station
// of an earlier version left it: one job in it.
void make_earlier_layout(const QString& path, int version, const QString& extra_column)
{
    const QString name = QStringLiteral("earlier-%1").arg(version);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        for (const QString& statement :
             {QStringLiteral("CREATE TABLE jobs (id INTEGER PRIMARY KEY AUTOINCREMENT, started TEXT NOT NULL, "
                             "started_ms INTEGER NOT NULL, ended TEXT, host TEXT NOT NULL, port INTEGER NOT NULL, "
                             "device TEXT NOT NULL, title TEXT NOT NULL, comm_id INTEGER, serial TEXT NOT NULL, "
                             "file_path TEXT NOT NULL, file_sha256 TEXT NOT NULL, mode TEXT NOT NULL, result TEXT "
                             "NOT NULL, reason TEXT NOT NULL DEFAULT '', differing TEXT NOT NULL DEFAULT '', "
                             "duration_ms INTEGER%1)")
                  .arg(extra_column.isEmpty() ? QString() : QStringLiteral(", ") + extra_column),
              QStringLiteral("INSERT INTO jobs (started, started_ms, host, port, device, title, serial, file_path, "
                             "file_sha256, mode, result, ended, reason, duration_ms) VALUES ('2024-05-01T12:00:00.000+02:00', "
                             "1714557600000, 'line-pc', 2, '/dev/ttyUSB1', 'OLD', 'SN-1', '/m.dat', 'aa', 'batch', 'pass', "
                             "'2024-05-01T12:00:30.000+02:00', '', 30000)"),
              QStringLiteral("PRAGMA user_version = %1").arg(version)})
            ASSERT_TRUE(query.exec(statement)) << statement.toStdString();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// Each step of the layout checks for its own columns, whatever number the file has: a file whose
// version another change raised still gains the plant's columns. Rows from before keep what they
// held, get ids of their own and stay in the file: they were never meant for a server.
TEST_F(StationRecords, AnEarlierLayoutGainsTheJournalsColumnsAndKeepsItsRows)
{
    const struct {
        const char* name;
        int version;
        const char* extra_column;
    } cases[] = {{"the first layout", 1, ""}, {"numbered 2 by another change", 2, "keep_map TEXT NOT NULL DEFAULT ''"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder_.filePath(QStringLiteral("earlier-%1.sqlite").arg(c.version));
        make_earlier_layout(path, c.version, QLatin1String(c.extra_column));
        {
            // Only read, the file is not changed: its rows show no station.
            Records reader;
            QString error;
            ASSERT_TRUE(reader.open_for_reading(path, &error)) << error.toStdString();
            const std::optional<QList<JobRow>> rows = reader.list(JobFilter{}, &error);
            ASSERT_TRUE(rows.has_value()) << error.toStdString();
            ASSERT_EQ(rows->size(), 1);
            EXPECT_TRUE(rows->first().start.station.isEmpty());
            EXPECT_EQ(reader.approvals().value_or(QList<Approval>{{}}).size(), 0);
        }
        Records records;
        QString error;
        ASSERT_TRUE(records.open(path, &error)) << error.toStdString();
        records.set_forwarding(true);
        JobStart start = job_at(noon.addSecs(60));
        start.station = QStringLiteral("line3-a");
        start.operator_name = QStringLiteral("ann");
        const qint64 id = records.begin(start);
        ASSERT_GT(id, 0);
        ASSERT_TRUE(records.finish(id, JobEnd{noon.addSecs(90), JobResult::Pass, {}, {}, 30000, {}, {}}));
        const QList<JobRow> rows = records.list();
        ASSERT_EQ(rows.size(), 2);
        const JobRow& old = rows[1];
        EXPECT_EQ(old.start.title, QStringLiteral("OLD"));
        EXPECT_EQ(old.result, JobResult::Pass);
        EXPECT_EQ(old.start.started, noon);
        EXPECT_EQ(old.start.job_id.size(), 36) << old.start.job_id.toStdString();
        EXPECT_NE(old.start.job_id, rows[0].start.job_id);
        EXPECT_EQ(rows[0].start.station, QStringLiteral("line3-a"));
        EXPECT_EQ(rows[0].start.operator_name, QStringLiteral("ann"));
        const std::optional<QList<JobRow>> waiting = records.waiting_rows(10);
        ASSERT_TRUE(waiting.has_value());
        ASSERT_EQ(waiting->size(), 1) << "a row from before the server waits for it";
        EXPECT_EQ(waiting->first().id, id);
    }
}

// Sets the run that began a row, as when an earlier run of the station began it.
void begun_by_another_run(qint64 id)
{
    for (const QString& name : QSqlDatabase::connectionNames()) {
        if (name.startsWith(QLatin1String("station-records-"))) {
            ASSERT_TRUE(QSqlQuery(QSqlDatabase::database(name))
                            .exec(QStringLiteral("UPDATE jobs SET run_id = 'earlier' WHERE id = %1").arg(id)));
        }
    }
}

// What waits for the server: rows begun while forwarding, complete or left incomplete by an
// earlier run, oldest first; a row this run is still writing waits for its end. A row marked sent
// waits no more, unless it was completed after it was read (its end is not on the server yet)
// or completed later (a row another run sent as it stood).
TEST_F(StationRecords, RowsWaitForTheServerOldestFirstUntilSentAsTheyStand)
{
    Records records;
    open(records);
    const JobEnd end{noon.addSecs(7200), JobResult::Pass, {}, {}, 1000, {}, {}};
    qint64 local = records.begin(job_at(noon.addSecs(-600)));  // no server then: never sent
    ASSERT_TRUE(records.finish(local, end));
    records.set_forwarding(true);
    QMap<int, qint64> by_minute; // rows begun in another order than their times
    for (int minute : {30, 10, 20, 0, 40}) {
        by_minute[minute] = records.begin(job_at(noon.addSecs(minute * 60)));
        ASSERT_GT(by_minute[minute], 0);
    }
    for (int minute : {30, 10, 20})
        ASSERT_TRUE(records.finish(by_minute[minute], end));
    begun_by_another_run(by_minute[40]); // left incomplete by a crash; minute 0 is still running
    const auto minutes = [&](const QList<JobRow>& rows) {
        QList<int> list;
        for (const JobRow& row : rows)
            list << by_minute.key(row.id, -1);
        return list;
    };
    const std::optional<QList<JobRow>> first = records.waiting_rows(3);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(minutes(*first), (QList<int>{10, 20, 30}));
    EXPECT_EQ(minutes(records.waiting_rows(10).value_or(QList<JobRow>())), (QList<int>{10, 20, 30, 40}));
    const std::optional<Backlog> backlog = records.backlog();
    ASSERT_TRUE(backlog.has_value());
    EXPECT_EQ(backlog->waiting, 4);
    EXPECT_EQ(backlog->oldest, noon.addSecs(600));

    // Minute 40 is sent as it stood (incomplete); the running job ends before its row is marked.
    QList<JobRow> read = records.waiting_rows(10).value_or(QList<JobRow>());
    for (const JobRow& row : records.list())
        if (row.id == by_minute[0])
            read << row; // read while running, as another run would send it
    ASSERT_EQ(by_minute.key(read.last().id), 0);
    ASSERT_TRUE(records.finish(by_minute[0], end));
    ASSERT_TRUE(records.mark_sent(read));
    EXPECT_EQ(minutes(records.waiting_rows(10).value_or(QList<JobRow>())), QList<int>{0}) << "an end never sent";
    ASSERT_TRUE(records.mark_sent(records.waiting_rows(10).value_or(QList<JobRow>())));
    EXPECT_TRUE(records.waiting_rows(10).value_or(QList<JobRow>{{}}).isEmpty());
    // A row sent incomplete waits again once completed.
    ASSERT_TRUE(records.finish(by_minute[40], end));
    EXPECT_EQ(minutes(records.waiting_rows(10).value_or(QList<JobRow>())), QList<int>{40});
    EXPECT_EQ(records.backlog().value_or(Backlog{}).waiting, 1);
}

// The SQLite file's own approvals (a station without a server): the first approval of a file
// stays. The copy of the server's approvals is replaced whole, with when it was made.
TEST_F(StationRecords, ApprovalsKeepTheFirstAndTheServersCopyIsReplacedWhole)
{
    Records records;
    open(records);
    const QString master = QStringLiteral("0123456789abcdef").repeated(4);
    const QString other = QStringLiteral("fedcba9876543210").repeated(4);
    const Approval first{master, QStringLiteral("gate.dat"), QStringLiteral("alice"), noon, QStringLiteral("first")};
    const Approval again{master.toUpper(), QStringLiteral("copy.dat"), QStringLiteral("bob"), noon.addDays(1), {}};
    const Approval later{other, QStringLiteral("door.dat"), QStringLiteral("carol"), noon.addSecs(60).toUTC(), {}};
    QString error;
    for (const Approval& approval : {first, again, later})
        ASSERT_TRUE(records.approve(approval, &error).has_value()) << error.toStdString();
    const std::optional<QList<Approval>> list = records.approvals(&error);
    ASSERT_TRUE(list.has_value()) << error.toStdString();
    ASSERT_EQ(list->size(), 2);
    EXPECT_EQ(list->at(0).approved_by, QStringLiteral("alice"));
    EXPECT_EQ(list->at(0).approved, noon);
    EXPECT_EQ(list->at(0).approved.offsetFromUtc(), 7200);
    EXPECT_EQ(list->at(0).note, QStringLiteral("first"));
    EXPECT_EQ(list->at(1).file_sha256, other);
    EXPECT_EQ(records.is_approved(master.toUpper()), std::optional<bool>(true));
    EXPECT_EQ(records.is_approved(QString(64, QLatin1Char('0'))), std::optional<bool>(false));
    EXPECT_FALSE(records.approve({QStringLiteral("abc"), {}, {}, noon, {}}, &error).has_value());

    EXPECT_FALSE(records.server_approvals().value_or(ApprovalsCopy{{}, noon}).made.isValid()) << "a copy never made";
    ASSERT_TRUE(records.keep_server_approvals({first, later}));
    ASSERT_TRUE(records.keep_server_approvals({later}));
    const std::optional<ApprovalsCopy> copy = records.server_approvals();
    ASSERT_TRUE(copy.has_value());
    ASSERT_EQ(copy->approvals.size(), 1);
    EXPECT_EQ(copy->approvals[0].file_sha256, other);
    EXPECT_LE(std::abs(copy->made.secsTo(QDateTime::currentDateTime())), 60);
    EXPECT_EQ(records.approvals().value_or(QList<Approval>()).size(), 2) << "the copy is not the file's own";
}

TEST(StationRecordsPath, DefaultFollowsXdgDataHomeElseHome)
{
    const PrivateFolder data_home("XDG_DATA_HOME");
    EXPECT_EQ(Records::default_path(), data_home.path() + QStringLiteral("/camera-adjust/station.sqlite"));
    qputenv("XDG_DATA_HOME", "");
    EXPECT_EQ(Records::default_path(),
              QDir::homePath() + QStringLiteral("/.local/share/camera-adjust/station.sqlite"));
}

} // namespace
