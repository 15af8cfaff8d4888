// The plant's records on a real PostgreSQL server: where --db points, the schema made once by
// stations starting together, a job stored once whatever is sent twice, approvals, look-ups
// across stations, and the reasons a station is refused.

#include "records/forwarder.h"
#include "records/server_records.h"
#include "records/server_uri.h"
#include "support/cut_proxy.h"
#include "support/test_database.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <thread>
#include <tuple>
#include <vector>

using namespace station;

namespace {

constexpr int kDeadlineMs = 10000;

const QString password_refused =
    QStringLiteral("the password never on the command line: libpq's ~/.pgpass or PGPASSWORD");

// ---- The --db value ----

struct UriCase {
    const char* text;
    const char* user;
    const char* host;
    int port;
    const char* database;
    QList<std::pair<QString, QString>> parameters;
};

TEST(ServerUriParse, PartsDecodedAndQueryParametersKept)
{
    const UriCase cases[] = {
        {"postgresql://station@records.plant.example/camera", "station", "records.plant.example", -1, "camera", {}},
        {"postgres://u@h:5433/d", "u", "h", 5433, "d", {}},
        {"postgresql://", "", "", -1, "", {}},
        {"postgresql://:6000", "", "", 6000, "", {}},
        {"postgresql:///camera?host=%2Ftmp%2Fpg%20x&port=6543", "", "/tmp/pg x", 6543, "camera", {}},
        {"postgresql://%2Fvar%2Frun%2Fpostgresql/camera", "", "/var/run/postgresql", -1, "camera", {}},
        {"postgresql://st%40tion@[::1]:5432/c%C3%A4mera", "st@tion", "::1", 5432, "c\xC3\xA4mera", {}},
        {"postgresql://u@h/d?user=other&dbname=db2", "other", "h", -1, "db2", {}},
        {"postgresql://h/d?sslmode=verify-full&connect_timeout=3&application_name=line%203&sslmode=require",
         "", "h", -1, "d",
         {{"connect_timeout", "3"}, {"application_name", "line 3"}, {"sslmode", "require"}}},
        {"postgresql://h/d?ssl=true", "", "h", -1, "d", {{"sslmode", "require"}}},
    };
    for (const UriCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_TRUE(looks_like_uri(QString::fromUtf8(c.text)));
        QString error;
        const std::optional<ServerUri> uri = parse_server_uri(QString::fromUtf8(c.text), &error);
        ASSERT_TRUE(uri.has_value()) << error.toStdString();
        EXPECT_EQ(uri->text, QString::fromUtf8(c.text));
        EXPECT_EQ(uri->user, QString::fromUtf8(c.user));
        EXPECT_EQ(uri->host, QString::fromUtf8(c.host));
        EXPECT_EQ(uri->port, c.port);
        EXPECT_EQ(uri->database, QString::fromUtf8(c.database));
        EXPECT_EQ(uri->parameters, c.parameters);
    }
}

TEST(ServerUriParse, RefusedWithOneLineReason)
{
    const std::pair<const char*, QString> cases[] = {
        {"postgresql://station:secret@h/camera", password_refused},
        {"postgresql://h/camera?password=secret", password_refused},
        {"postgresql://h/camera?sslpassword=secret", password_refused},
        {"mysql://h/camera", QStringLiteral("not a PostgreSQL URI")},
        {"postgresql://h:54x2/camera", QStringLiteral("invalid port \"54x2\"")},
        {"postgresql://h:70000/camera", QStringLiteral("invalid port \"70000\"")},
        {"postgresql://h/camera?port=0", QStringLiteral("invalid port \"0\"")},
        {"postgresql://h/cam%zzera", QStringLiteral("invalid percent escape \"%zz\"")},
        {"postgresql://h/camera%4", QStringLiteral("invalid percent escape \"%4\"")},
        {"postgresql://h/cam%00era", QStringLiteral("zero byte")},
        {"postgresql://[::1/camera", QStringLiteral("no closing")},
        {"postgresql://a,b/camera", QStringLiteral("only one host")},
        {"postgresql://h/camera?sslmode", QStringLiteral("the parameter \"sslmode\" has no value")},
        {"postgresql://h/camera?colour=blue", QStringLiteral("unknown parameter \"colour\"")},
        {"postgresql://h/camera?options=-c%20a%3Db;c", QStringLiteral("may not hold \";\"")},
    };
    for (const auto& [text, reason] : cases) {
        SCOPED_TRACE(text);
        QString error;
        EXPECT_FALSE(parse_server_uri(QString::fromUtf8(text), &error).has_value());
        EXPECT_TRUE(error.contains(reason)) << error.toStdString();
        EXPECT_FALSE(error.contains(QLatin1Char('\n')));
    }
}

TEST(ServerUriParse, SqlitePathsAreNotUrisAndOptionsAreQuotedForLibpq)
{
    for (const char* path : {"/var/lib/camera/station.sqlite", "records.sqlite", "./postgresql:/x"})
        EXPECT_FALSE(looks_like_uri(QString::fromUtf8(path))) << path;
    EXPECT_EQ(connect_options({{"application_name", "line 3"}, {"options", "-c a='b\\c'"}}),
              QStringLiteral("application_name='line 3' options='-c a=\\'b\\\\c\\''"));
}

// ---- Opening the server ----

TEST(ServerOpenFailure, BusyServerIsUnreachableRefusedLoginIsNot)
{
    const std::pair<const char*, ServerOpen> cases[] = {
        {"connection to server on socket \"/tmp/x/.s.PGSQL.5432\" failed: No such file or directory",
         ServerOpen::Unreachable},
        {"could not translate host name \"records\" to address: Temporary failure in name resolution",
         ServerOpen::Unreachable},
        {"connection to server at \"records\" (10.0.0.5), port 5432 failed: FATAL:  the database "
         "system is starting up", ServerOpen::Unreachable},
        {"connection to server at \"records\" (10.0.0.5), port 5432 failed: FATAL:  sorry, too many "
         "clients already", ServerOpen::Unreachable},
        {"connection to server at \"records\" (10.0.0.5), port 5432 failed: FATAL:  password "
         "authentication failed for user \"station\"", ServerOpen::Refused},
        {"connection to server at \"records\" (10.0.0.5), port 5432 failed: fe_sendauth: no "
         "password supplied", ServerOpen::Refused},
    };
    for (const auto& [message, kind] : cases)
        EXPECT_EQ(connect_failure_kind(QString::fromUtf8(message)), kind) << message;
}

std::optional<ServerUri> uri_of(const QString& text)
{
    QString error;
    std::optional<ServerUri> uri = parse_server_uri(text, &error);
    EXPECT_TRUE(uri.has_value()) << text.toStdString() << ": " << error.toStdString();
    return uri;
}

class ServerRecordsTest : public ServerDatabaseTest {
protected:
    void open(ServerRecords& records, const QString& uri_text = QString())
    {
        const std::optional<ServerUri> uri = uri_of(uri_text.isEmpty() ? database_.uri() : uri_text);
        ASSERT_TRUE(uri.has_value());
        QString error;
        ASSERT_EQ(records.open(*uri, &error), ServerOpen::Opened) << error.toStdString();
        ASSERT_TRUE(records.is_open());
    }
    // The first value of a statement run as the superuser.
    QVariant look(const QString& statement)
    {
        QSqlQuery query(database_.superuser_connection());
        if (!query.exec(statement) || !query.next()) {
            ADD_FAILURE() << statement.toStdString() << " failed";
            return {};
        }
        return query.value(0);
    }
    void change(const QString& statement)
    {
        QSqlQuery query(database_.superuser_connection());
        EXPECT_TRUE(query.exec(statement)) << statement.toStdString();
    }
};

TEST_F(ServerRecordsTest, StationsStartingTogetherCreateTheSchemaOnce)
{
    // Every station is held at the schema lock until all of them wait there, then all go at once.
    constexpr int stations = 4;
    const QString lock_key = QString::number(schema_lock_key);
    look(QStringLiteral("SELECT pg_advisory_lock(%1)").arg(lock_key));
    const std::optional<ServerUri> uri = uri_of(database_.uri());
    ASSERT_TRUE(uri.has_value());
    std::vector<QString> errors(stations);
    std::vector<std::thread> threads;
    for (int station = 0; station < stations; ++station) {
        threads.emplace_back([&, station] {
            ServerRecords records; // each station its own connection
            QString error;
            if (records.open(*uri, &error) != ServerOpen::Opened)
                errors[station] = error.isEmpty() ? QStringLiteral("not opened") : error;
        });
    }
    const bool all_waited = QTest::qWaitFor([&] {
        return look(QStringLiteral("SELECT count(*) FROM pg_locks WHERE locktype = 'advisory' "
                                   "AND NOT granted")).toInt() == stations;
    }, kDeadlineMs);
    look(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(lock_key));
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_TRUE(all_waited) << "the stations did not take the schema lock";
    for (const QString& error : errors)
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(look(QStringLiteral("SELECT count(*) FROM records_schema")).toInt(), 1);
    EXPECT_EQ(look(QStringLiteral("SELECT max(version) FROM records_schema")).toInt(),
              server_schema_version);
    for (const char* index : {"jobs_serial", "jobs_station", "jobs_started", "jobs_result"})
        EXPECT_TRUE(look(QStringLiteral("SELECT to_regclass('%1') IS NOT NULL").arg(index)).toBool())
            << index;
}

TEST_F(ServerRecordsTest, NewerSchemaIsRefusedWithItsVersion)
{
    {
        ServerRecords first;
        open(first);
    }
    change(QStringLiteral("UPDATE records_schema SET version = %1").arg(server_schema_version + 1));
    const std::optional<ServerUri> uri = uri_of(database_.uri());
    ASSERT_TRUE(uri.has_value());
    ServerRecords records;
    QString error;
    EXPECT_EQ(records.open(*uri, &error), ServerOpen::Refused);
    EXPECT_TRUE(error.endsWith(QStringLiteral("written by a newer version (schema %1)")
                                   .arg(server_schema_version + 1)))
        << error.toStdString();
}

TEST_F(ServerRecordsTest, RefusedLoginAndMissingDatabaseStopAStationAnAbsentServerDoesNot)
{
    const QString no_login = database_.name() + QStringLiteral("_badge"); // roles span databases
    change(QStringLiteral("CREATE ROLE %1 NOLOGIN").arg(no_login));
    QTemporaryDir no_server;
    ASSERT_TRUE(no_server.isValid());
    const std::tuple<QString, ServerOpen, QString> cases[] = {
        {TestDatabase::uri_for(database_.name(), QStringLiteral("nobody")), ServerOpen::Refused,
         QStringLiteral("role \"nobody\" does not exist")},
        {TestDatabase::uri_for(database_.name(), no_login), ServerOpen::Refused,
         QStringLiteral("not permitted to log in")},
        {TestDatabase::uri_for(QStringLiteral("no_such_records")), ServerOpen::Refused,
         QStringLiteral("database \"no_such_records\" does not exist")},
        {QStringLiteral("postgresql:///camera?host=%1").arg(no_server.path()), ServerOpen::Unreachable,
         QStringLiteral("No such file or directory")},
    };
    for (const auto& [text, kind, reason] : cases) {
        SCOPED_TRACE(text.toStdString());
        const std::optional<ServerUri> uri = uri_of(text);
        ASSERT_TRUE(uri.has_value());
        ServerRecords records;
        QString error;
        EXPECT_EQ(records.open(*uri, &error), kind);
        EXPECT_FALSE(records.is_open());
        EXPECT_TRUE(error.startsWith(QStringLiteral("cannot open the records on the server ") + text + ": "))
            << error.toStdString();
        EXPECT_TRUE(error.contains(reason)) << error.toStdString();
        EXPECT_FALSE(error.contains(QLatin1Char('\n'))) << error.toStdString();
    }
    change(QStringLiteral("DROP ROLE %1").arg(no_login));
}

TEST_F(ServerRecordsTest, UriParametersReachTheServerQuoted)
{
    ServerRecords records;
    open(records, database_.uri() + QStringLiteral("&application_name=line%203%20'a'%5C"));
    EXPECT_EQ(look(QStringLiteral("SELECT application_name FROM pg_stat_activity "
                                  "WHERE datname = current_database() AND pid <> pg_backend_pid()"))
                  .toString(),
              QStringLiteral("line 3 'a'\\"));
}

// ---- Jobs ----

const QDateTime noon(QDate(2024, 5, 1), QTime(12, 0), Qt::OffsetFromUTC, 7200);

ServerJob job(const QString& id, const QDateTime& started, bool completed,
              JobResult result = JobResult::FailVerify)
{
    ServerJob job;
    job.job_id = id;
    job.station = QStringLiteral("line3-a");
    job.operator_name = QStringLiteral("O'Brien \\ night shift");
    JobStart& start = job.row.start;
    start.started = started;
    start.host = QStringLiteral("line-pc");
    start.port = 2;
    start.device = QStringLiteral("/dev/ttyUSB1");
    start.title = QStringLiteral("GATE 3");
    start.comm_id = -1;
    start.serial = QStringLiteral("SN-0042");
    start.file_path = QStringLiteral("/srv/masters/master.dat");
    start.file_sha256 = QString(64, QLatin1Char('a'));
    start.mode = QStringLiteral("batch");
    start.keep_map = QStringLiteral("0x0100-0x011F,0x03F0");
    job.row.result = JobResult::Aborted;
    if (completed) {
        JobEnd end;
        end.ended = started.addSecs(41).toOffsetFromUtc(19800); // the clock changed zone meanwhile
        end.result = result;
        end.reason = QStringLiteral("2 words differ");
        end.differing = {0x12, 0x3FF};
        end.duration_ms = 41250;
        job.row.end = end;
        job.row.result = result;
    }
    return job;
}

void expect_same_job(const ServerJob& stored, const ServerJob& sent)
{
    EXPECT_EQ(stored.job_id, sent.job_id);
    EXPECT_EQ(stored.station, sent.station);
    EXPECT_EQ(stored.operator_name, sent.operator_name);
    const JobStart& a = stored.row.start;
    const JobStart& b = sent.row.start;
    EXPECT_EQ(a.started, b.started);
    EXPECT_EQ(a.started.offsetFromUtc(), b.started.offsetFromUtc());
    for (auto field : {&JobStart::host, &JobStart::device, &JobStart::title, &JobStart::serial,
                       &JobStart::file_path, &JobStart::file_sha256, &JobStart::mode, &JobStart::keep_map})
        EXPECT_EQ(a.*field, b.*field);
    EXPECT_EQ(a.port, b.port);
    EXPECT_EQ(a.comm_id, b.comm_id);
    EXPECT_EQ(stored.row.result, sent.row.result);
    ASSERT_EQ(stored.row.end.has_value(), sent.row.end.has_value());
    if (!sent.row.end)
        return;
    EXPECT_EQ(stored.row.end->ended, sent.row.end->ended);
    EXPECT_EQ(stored.row.end->ended.offsetFromUtc(), sent.row.end->ended.offsetFromUtc());
    EXPECT_EQ(stored.row.end->result, sent.row.end->result);
    EXPECT_EQ(stored.row.end->reason, sent.row.end->reason);
    EXPECT_EQ(stored.row.end->differing, sent.row.end->differing);
    EXPECT_EQ(stored.row.end->duration_ms, sent.row.end->duration_ms);
}

TEST_F(ServerRecordsTest, AJobSentAgainIsStoredOnceAndOnlyCompletedByItsEnd)
{
    ServerRecords records;
    open(records);
    // Each send is a batch of its own, as when a connection was lost after the server committed.
    const struct {
        const char* name;
        std::vector<bool> sends; // completed or not, in order
    } cases[] = {
        {"complete twice", {true, true}},
        {"incomplete twice", {false, false}},
        {"complete after incomplete", {false, true}},
        {"incomplete after complete", {true, false}},
    };
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString id = QStringLiteral("6f1c2a4e-0000-4000-8000-%1").arg(++number, 12, 10, QLatin1Char('0'));
        for (bool completed : c.sends) {
            const StoreOutcome outcome = records.store({job(id, noon, completed)});
            ASSERT_TRUE(outcome.committed) << outcome.error.toStdString();
            EXPECT_EQ(outcome.stored, QStringList{id});
        }
        JobFilter filter;
        filter.since = noon;
        filter.until = noon.addSecs(1);
        const std::optional<QList<ServerJob>> stored = records.jobs(filter);
        ASSERT_TRUE(stored.has_value());
        const QList<ServerJob> mine = [&] {
            QList<ServerJob> list;
            for (const ServerJob& row : *stored)
                if (row.job_id == id)
                    list << row;
            return list;
        }();
        ASSERT_EQ(mine.size(), 1);
        const bool completed = std::find(c.sends.begin(), c.sends.end(), true) != c.sends.end();
        expect_same_job(mine[0], job(id, noon, completed));
    }
}

TEST_F(ServerRecordsTest, BatchIsOneTransactionAndLeavesOutWhatCanNeverBeStored)
{
    ServerRecords records;
    open(records);
    QList<ServerJob> batch;
    for (int i = 0; i < 200; ++i)
        batch << job(QStringLiteral("batch-%1").arg(i), noon.addSecs(i), i % 3 != 0);
    batch << job(QString(), noon, true);                         // no id
    batch << job(QStringLiteral("no-start"), QDateTime(), false); // no start time
    ServerJob odd = job(QStringLiteral("odd-serial"), noon, true);
    odd.row.start.serial = QStringLiteral("SN") + QChar(0) + QStringLiteral("7"); // a scanner's stray byte
    batch << odd;

    StoreOutcome outcome = records.store(batch);
    ASSERT_TRUE(outcome.committed) << outcome.error.toStdString();
    ASSERT_EQ(outcome.stored.size(), 201);
    EXPECT_EQ(outcome.stored.first(), QStringLiteral("batch-0"));
    EXPECT_EQ(outcome.stored.last(), QStringLiteral("odd-serial"));
    ASSERT_EQ(outcome.refused.size(), 2);
    EXPECT_EQ(outcome.refused[1].first, QStringLiteral("no-start"));
    EXPECT_FALSE(outcome.refused[0].second.isEmpty());
    EXPECT_EQ(look(QStringLiteral("SELECT count(*) FROM jobs")).toInt(), 201);
    JobFilter filter;
    filter.serial = QStringLiteral("SN\uFFFD7");
    EXPECT_EQ(records.jobs(filter).value_or(QList<ServerJob>{}).size(), 1);

    // A row the server refuses fails the whole batch: nothing of it is stored.
    change(QStringLiteral("ALTER TABLE jobs ADD CONSTRAINT no_rejects CHECK (serial <> 'REJECT')"));
    QList<ServerJob> doomed = {job(QStringLiteral("doomed-1"), noon, true),
                               job(QStringLiteral("doomed-2"), noon, true)};
    doomed[1].row.start.serial = QStringLiteral("REJECT");
    outcome = records.store(doomed);
    EXPECT_FALSE(outcome.committed);
    EXPECT_TRUE(outcome.stored.isEmpty());
    EXPECT_TRUE(outcome.error.contains(QStringLiteral("doomed-2"))) << outcome.error.toStdString();
    EXPECT_EQ(look(QStringLiteral("SELECT count(*) FROM jobs")).toInt(), 201);
    // The connection is still usable after the failed batch.
    EXPECT_TRUE(records.store({job(QStringLiteral("after"), noon, true)}).committed);
}

// ---- Approvals ----

TEST_F(ServerRecordsTest, TheFirstApprovalOfAMasterStays)
{
    ServerRecords records;
    open(records);
    const QString master = QStringLiteral("0123456789abcdef").repeated(4);
    const QString other = QStringLiteral("fedcba9876543210").repeated(4);
    const Approval first{master, QStringLiteral("gate.dat"), QStringLiteral("alice"), noon,
                         QStringLiteral("first")};
    const Approval again{master.toUpper(), QStringLiteral("gate-copy.dat"), QStringLiteral("bob"),
                         noon.addDays(1), QStringLiteral("again")};
    const Approval later{other, QStringLiteral("door.dat"), QStringLiteral("carol"),
                         noon.addSecs(60).toUTC(), QString()};

    QString error;
    for (const Approval& approval : {first, again, later})
        ASSERT_TRUE(records.approve(approval, &error).has_value()) << error.toStdString();
    const std::optional<Approval> kept = records.approve(again);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->approved_by, QStringLiteral("alice"));

    const std::optional<QList<Approval>> list = records.approvals(&error);
    ASSERT_TRUE(list.has_value()) << error.toStdString();
    ASSERT_EQ(list->size(), 2);
    const Approval& stored = list->at(0);
    EXPECT_EQ(stored.file_sha256, master);
    EXPECT_EQ(stored.file_name, first.file_name);
    EXPECT_EQ(stored.approved_by, first.approved_by);
    EXPECT_EQ(stored.approved, noon);
    EXPECT_EQ(stored.approved.offsetFromUtc(), 7200);
    EXPECT_EQ(stored.note, first.note);
    EXPECT_EQ(list->at(1).approved_by, QStringLiteral("carol"));

    EXPECT_EQ(records.is_approved(master.toUpper()), std::optional<bool>(true));
    EXPECT_EQ(records.is_approved(other), std::optional<bool>(true));
    EXPECT_EQ(records.is_approved(QString(64, QLatin1Char('0'))), std::optional<bool>(false));
    EXPECT_FALSE(records.approve({QStringLiteral("abc"), {}, {}, noon, {}}, &error).has_value());
    EXPECT_TRUE(error.contains(QStringLiteral("abc"))) << error.toStdString();
}

// ---- Look-ups across stations ----

// The same rows in a station's SQLite file answer the same look-ups.
TEST_F(ServerRecordsTest, EveryFilterAloneAndCombinedNewestFirstOnTheServerAndInSqlite)
{
    ServerRecords records;
    open(records);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    Records file;
    QString error;
    ASSERT_TRUE(file.open(folder.filePath(QStringLiteral("station.sqlite")), &error)) << error.toStdString();
    auto make = [](const char* id, const char* station, const char* serial, int hour,
                   std::optional<JobResult> result) {
        ServerJob made = job(QString::fromLatin1(id), noon.addSecs(hour * 3600), result.has_value(),
                             result.value_or(JobResult::Aborted));
        made.station = QString::fromLatin1(station);
        made.row.start.serial = QString::fromLatin1(serial);
        made.row.start.job_id = made.job_id;
        made.row.start.station = made.station;
        made.row.start.operator_name = made.operator_name;
        return made;
    };
    // Ids not in time order; the last one started latest but shows an earlier local time.
    QList<ServerJob> rows = {
        make("d1", "line1", "SN-1", 0, JobResult::Pass),
        make("b2", "line2", "SN-1", 1, JobResult::FailVerify),
        make("e3", "line1", "SN-2", 2, JobResult::FailVerify),
        make("a4", "line2", "SN-2", 3, std::nullopt),
        make("c5", "line1", "SN-1", 4, JobResult::Pass),
    };
    rows[4].row.start.started = rows[4].row.start.started.toOffsetFromUtc(-5 * 3600);
    ASSERT_TRUE(records.store(rows).committed);
    for (const ServerJob& row : rows) {
        const qint64 id = file.begin(row.row.start);
        ASSERT_GT(id, 0);
        if (row.row.end) {
            ASSERT_TRUE(file.finish(id, *row.row.end));
        }
    }

    auto at = [](int hour) { return noon.addSecs(hour * 3600).toUTC(); };
    const struct {
        const char* name;
        JobFilter filter;
        QStringList ids;
    } cases[] = {
        {"all", {}, {"c5", "a4", "e3", "b2", "d1"}},
        {"station", {QStringLiteral("line1"), {}, {}, {}, {}}, {"c5", "e3", "d1"}},
        {"serial", {{}, QStringLiteral("SN-2"), {}, {}, {}}, {"a4", "e3"}},
        {"result", {{}, {}, JobResult::FailVerify, {}, {}}, {"e3", "b2"}},
        {"aborted", {{}, {}, JobResult::Aborted, {}, {}}, {"a4"}},
        {"since, inclusive", {{}, {}, {}, at(1), {}}, {"c5", "a4", "e3", "b2"}},
        {"until, exclusive", {{}, {}, {}, {}, at(2)}, {"b2", "d1"}},
        {"since and until", {{}, {}, {}, at(1), at(3)}, {"e3", "b2"}},
        {"station, serial and result",
         {QStringLiteral("line1"), QStringLiteral("SN-1"), JobResult::Pass, {}, {}}, {"c5", "d1"}},
        {"station and since", {QStringLiteral("line2"), {}, {}, at(2), {}}, {"a4"}},
        {"limit", {{}, {}, {}, {}, {}, 2}, {"c5", "a4"}},
        {"no such station", {QStringLiteral("line9"), {}, {}, {}, {}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QList<ServerJob>> found = records.jobs(c.filter, &error);
        ASSERT_TRUE(found.has_value()) << error.toStdString();
        const std::optional<QList<JobRow>> in_file = file.list(c.filter, &error);
        ASSERT_TRUE(in_file.has_value()) << error.toStdString();
        QStringList ids, file_ids;
        for (const ServerJob& row : *found)
            ids << row.job_id;
        for (const JobRow& row : *in_file)
            file_ids << row.start.job_id;
        EXPECT_EQ(ids, c.ids);
        EXPECT_EQ(file_ids, c.ids);
    }
}

// ---- The journal forwarded ----

// A journal row begun by an earlier run of the station that never ended it (a crash).
void left_by_a_crash(const QString& journal, qint64 id)
{
    const QString name = QStringLiteral("crash-%1").arg(id);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(journal);
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(QStringLiteral("UPDATE jobs SET run_id = 'an earlier run' WHERE id = %1").arg(id)));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QList<ServerJob> stored_for(ServerRecords& server, const QString& station)
{
    JobFilter filter;
    filter.station = station;
    return server.jobs(filter).value_or(QList<ServerJob>());
}

QStringList ids_of(const QList<ServerJob>& jobs)
{
    QStringList ids;
    for (const ServerJob& job : jobs)
        ids << job.job_id;
    ids.sort();
    return ids;
}

// A cut connection loses no row and doubles none: cut before the server's commit (nothing stored,
// so the rows must not count as sent), or after it (stored, but the station never heard: they go
// again and are kept once). Rows go oldest first, with the times they were begun at, and a job
// still running in this run waits for its end while the others go.
TEST_F(ServerRecordsTest, TheJournalGoesOnceOldestFirstWithItsOwnTimesWhereverTheConnectionIsCut)
{
    constexpr int kDeadline = 30000;
    {
        ServerRecords first; // the schema: the commit that makes it is not the one cut
        open(first);
    }
    const std::optional<ServerUri> direct = uri_of(database_.uri());
    ASSERT_TRUE(direct.has_value());
    ServerRecords server;
    open(server);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (CutProxy::Cut cut : {CutProxy::Cut::BeforeCommit, CutProxy::Cut::AfterCommit}) {
        const bool after = cut == CutProxy::Cut::AfterCommit;
        const QString station = after ? QStringLiteral("cut-after") : QStringLiteral("cut-before");
        SCOPED_TRACE(station.toStdString());
        const QString journal_path = folder.filePath(station + QStringLiteral(".sqlite"));
        Records journal;
        QString error;
        ASSERT_TRUE(journal.open(journal_path, &error)) << error.toStdString();
        journal.set_forwarding(true);
        // Begun in another order than their times: hours 5, 1, 6, 0, 3, 2, 4 after noon.
        QList<qint64> ids;
        for (int hour : {5, 1, 6, 0, 3, 2, 4}) {
            ServerJob made = job(QString(), noon.addSecs(hour * 3600), true);
            made.row.start.station = station;
            made.row.start.operator_name = QStringLiteral("O'Brien");
            ids << journal.begin(made.row.start);
            ASSERT_GT(ids.last(), 0);
            ASSERT_TRUE(journal.finish(ids.last(), *made.row.end));
        }
        ServerJob crashed = job(QString(), noon.addSecs(7 * 3600), false);
        crashed.row.start.station = station;
        const qint64 crashed_id = journal.begin(crashed.row.start);
        left_by_a_crash(journal_path, crashed_id);
        ServerJob running = job(QString(), noon.addSecs(-3600), false); // the oldest of all
        running.row.start.station = station;
        const qint64 running_id = journal.begin(running.row.start);

        CutProxy proxy(TestDatabase::server().host, TestDatabase::server().port);
        ASSERT_TRUE(proxy.listening());
        proxy.arm(cut);
        ServerUri through = *direct;
        through.host = proxy.folder();
        ForwarderSettings settings;
        settings.journal = journal_path;
        settings.server = through;
        settings.batch = 3;
        settings.poll_ms = 50;
        settings.retry_ms = 200;
        Forwarder forwarder(settings, {});
        forwarder.start();

        ASSERT_TRUE(QTest::qWaitFor([&] {
            return proxy.cuts() == 1 && forwarder.status().server == ForwardStatus::Server::Unreachable;
        }, kDeadline)) << "the connection was never cut";
        const QList<ServerJob> first = stored_for(server, station);

        QStringList oldest;
        for (const JobRow& row : journal.list())
            if (row.start.started < noon.addSecs(3 * 3600) && row.id != running_id)
                oldest << row.start.job_id;
        oldest.sort();
        EXPECT_EQ(ids_of(first), after ? oldest : QStringList()) << "not the oldest three";
        ASSERT_TRUE(QTest::qWaitFor([&] { return forwarder.status().backlog.waiting == 8; }, kDeadline));
        EXPECT_TRUE(forward_status_text(forwarder.status()).startsWith(QStringLiteral("records: 8 waiting, server unreachable since ")))
            << forward_status_text(forwarder.status()).toStdString();

        proxy.let_go();
        ASSERT_TRUE(QTest::qWaitFor([&] { return stored_for(server, station).size() == 8; }, kDeadline));
        ASSERT_TRUE(QTest::qWaitFor([&] { return forwarder.status().backlog.waiting == 0; }, kDeadline));
        EXPECT_EQ(forward_status_text(forwarder.status()), QStringLiteral("records: all on the server"));
        // The running job goes once it has ended.
        JobEnd end = *job(QString(), noon, true).row.end;
        ASSERT_TRUE(journal.finish(running_id, end));
        ASSERT_TRUE(QTest::qWaitFor([&] { return stored_for(server, station).size() == 9; }, kDeadline));
        forwarder.finish(kDeadline);

        const QList<ServerJob> stored = stored_for(server, station);
        const QList<JobRow> rows = journal.list();
        ASSERT_EQ(stored.size(), rows.size());
        for (const JobRow& row : rows) {
            SCOPED_TRACE(row.id);
            const auto same = std::find_if(stored.begin(), stored.end(),
                                           [&](const ServerJob& job) { return job.job_id == row.start.job_id; });
            ASSERT_NE(same, stored.end());
            expect_same_job(*same, server_job(row));
        }
        EXPECT_EQ(journal.backlog().value_or(Backlog{-1, {}}).waiting, 0) << "rows on the server still wait";
    }
}

} // namespace
