// camera-station in a plant: station processes with simulated cameras write to one real
// PostgreSQL server through their journals: every job there once, with its station, operator and
// times; a server that goes away mid-loop costs no camera and no record; approved masters alone
// are written; a server or a setting that cannot be used stops a station before any camera.

#include "codecs/data_file.h"
#include "records/records.h"
#include "records/server_records.h"
#include "sim_camera.h"
#include "station_test_support.h"
#include "support/private_folder.h"
#include "support/test_database.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

#include <array>
#include <map>
#include <memory>

namespace {

using station::JobResult;
using station::JobRow;

constexpr int kDeadlineMs = 60000;
constexpr int kBootMs = 300;

struct Finished {
    int exit_code = -1;
    QString out;
    QString err;
};

QList<QJsonObject> json_events(const QString& out, const QString& event)
{
    QList<QJsonObject> events;
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        if (object.value(QStringLiteral("event")).toString() == event) events << object;
    }
    return events;
}

int results_on(const QString& out, int port)
{
    int count = 0;
    for (const QJsonObject& result : json_events(out, QStringLiteral("result")))
        count += result.value(QStringLiteral("port")).toInt() == port;
    return count;
}

QStringList notes_of(const QString& out)
{
    QStringList notes;
    for (const QJsonObject& note : json_events(out, QStringLiteral("note"))) notes << note.value(QStringLiteral("text")).toString();
    return notes;
}

// The rows of a database on a server, read by a connection of their own; nothing when the server
// cannot be reached.
std::optional<QList<station::ServerJob>> server_rows(const QString& uri_text, const station::JobFilter& filter = {})
{
    const std::optional<station::ServerUri> uri = station::parse_server_uri(uri_text, nullptr);
    station::ServerRecords server;
    if (!uri || server.open(*uri, nullptr) != station::ServerOpen::Opened) return std::nullopt;
    return server.jobs(filter);
}

int count_on(const QString& uri)
{
    const std::optional<QList<station::ServerJob>> rows = server_rows(uri);
    return rows ? static_cast<int>(rows->size()) : -1;
}

// Every row of the journals is on the server once, as the journal holds it.
void expect_on_server_as_in_journals(const QList<station::ServerJob>& stored, const QList<JobRow>& journals)
{
    ASSERT_EQ(stored.size(), journals.size());
    std::map<QString, const station::ServerJob*> by_id;
    for (const station::ServerJob& job : stored) EXPECT_TRUE(by_id.emplace(job.job_id, &job).second) << "twice: " << job.job_id.toStdString();
    for (const JobRow& row : journals) {
        SCOPED_TRACE(row.start.job_id.toStdString());
        const auto found = by_id.find(row.start.job_id);
        ASSERT_NE(found, by_id.end());
        const station::JobRow& kept = found->second->row;
        EXPECT_EQ(found->second->station, row.start.station);
        EXPECT_EQ(found->second->operator_name, row.start.operator_name);
        EXPECT_EQ(kept.start.started, row.start.started);
        EXPECT_EQ(kept.start.started.offsetFromUtc(), row.start.started.offsetFromUtc());
        for (auto field : {&station::JobStart::host, &station::JobStart::device, &station::JobStart::title,
                           &station::JobStart::serial, &station::JobStart::file_sha256, &station::JobStart::mode,
                           &station::JobStart::keep_map})
            EXPECT_EQ(kept.start.*field, row.start.*field);
        EXPECT_EQ(kept.start.port, row.start.port);
        EXPECT_EQ(kept.start.comm_id, row.start.comm_id);
        EXPECT_EQ(kept.result, row.result);
        ASSERT_EQ(kept.end.has_value(), row.end.has_value());
        if (row.end) {
            EXPECT_EQ(kept.end->ended, row.end->ended);
            EXPECT_EQ(kept.end->duration_ms, row.end->duration_ms);
        }
    }
}

class Plant : public ServerDatabaseTest {
protected:
    void SetUp() override
    {
        ServerDatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(folder.isValid());
        for (std::size_t i = 0; i < cameras.size(); ++i) {
            cameras[i].set_boot_ms(kBootMs);
            ASSERT_TRUE(cameras[i].start());
            ASSERT_TRUE(cameras[i].publish_as_port(static_cast<int>(i) + 1));
        }
        master = folder.path() + QStringLiteral("/master.dat");
        frames::ParamImage image = camera_image(cameras[0]);
        image[0x12] ^= 0x0101;
        write_file(master, data_file::camera_file(image));
        QFile file(master);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        master_sha = QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
    }

    static void write_file(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    void settings(const QString& text) { write_file(config.path() + QStringLiteral("/camera-adjust/station.conf"), text.toUtf8()); }

    // A station PC: its own journal under its data folder; the port links are the test's.
    QString data_home(const QString& name)
    {
        const QString path = folder.path() + QStringLiteral("/pc-") + name;
        QDir().mkpath(path);
        return path;
    }

    QString journal_of(const QString& home) const { return home + QStringLiteral("/camera-adjust/station.sqlite"); }

    QList<JobRow> journal_rows(const QString& home) const
    {
        station::Records records;
        QString error;
        EXPECT_TRUE(records.open_for_reading(journal_of(home), &error)) << error.toStdString();
        return records.list();
    }

    void start(QProcess& process, const QStringList& arguments, const QString& home)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(CAMERA_STATION_EXE), arguments);
        ASSERT_TRUE(process.waitForStarted(10000)) << "camera-station did not start";
    }

    Finished station(const QStringList& arguments, const QString& home)
    {
        QProcess process;
        Finished run;
        start(process, arguments, home);
        EXPECT_TRUE(process.waitForFinished(kDeadlineMs)) << "camera-station did not end";
        run.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    std::size_t commands_received() const
    {
        std::size_t count = 0;
        for (const sim::SimCamera& camera : cameras) count += const_cast<sim::SimCamera&>(camera).received_count();
        return count;
    }

    PrivateFolder config{"XDG_CONFIG_HOME"};
    PrivateFolder data{"XDG_DATA_HOME"};
    QTemporaryDir folder;
    std::array<sim::SimCamera, 4> cameras;
    QString master;
    QString master_sha;
};

// A station's loop, read as it runs.
struct Loop {
    QProcess process;
    QString out;
    QString read()
    {
        out += QString::fromUtf8(process.readAllStandardOutput());
        return out;
    }
};

TEST_F(Plant, TwoStationsWriteToOneServerEveryJobOnceNamedAsInTheirJournals)
{
    const QStringList loop{QStringLiteral("write"), master, QStringLiteral("--loop"), QStringLiteral("--json"),
                           QStringLiteral("--boot-timeout"), QStringLiteral("5"), QStringLiteral("--db"), database_.uri()};
    const struct {
        QString name;
        QString operator_name;
        QList<int> ports;
        QString keep_map; // its cameras keep their own words there
    } stations[] = {{QStringLiteral("line-a"), QStringLiteral("ann"), {1, 2}, {}},
                    {QStringLiteral("line-b"), QStringLiteral("O'Brien"), {3, 4}, QStringLiteral("0x0100-0x011F")}};
    std::array<Loop, 2> loops;
    for (std::size_t s = 0; s < 2; ++s) {
        const QString ports = QStringLiteral("%1,%2").arg(stations[s].ports[0]).arg(stations[s].ports[1]);
        start(loops[s].process,
              loop + QStringList{QStringLiteral("--ports"), ports, QStringLiteral("--station"), stations[s].name,
                                 QStringLiteral("--operator"), stations[s].operator_name}
                  + (stations[s].keep_map.isEmpty() ? QStringList() : QStringList{QStringLiteral("--keep"), stations[s].keep_map}),
              data_home(stations[s].name));
    }
    std::uint32_t seed = 200;
    for (int round = 1; round <= 2; ++round) {
        for (std::size_t i = 0; i < cameras.size(); ++i) cameras[i].plug_in(++seed);
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return results_on(loops[0].read(), 1) == round && results_on(loops[0].read(), 2) == round
                   && results_on(loops[1].read(), 3) == round && results_on(loops[1].read(), 4) == round;
        }, kDeadlineMs)) << loops[0].out.toStdString() << loops[1].out.toStdString();
        for (sim::SimCamera& camera : cameras) camera.unplug();
    }
    for (Loop& station : loops) {
        station.process.terminate();
        ASSERT_TRUE(station.process.waitForFinished(kDeadlineMs));
        station.read();
        EXPECT_EQ(station.process.exitCode(), 0) << station.out.toStdString();
        EXPECT_EQ(notes_of(station.out).value(notes_of(station.out).size() - 1), QStringLiteral("records: all on the server"))
            << station.out.toStdString();
    }
    QList<JobRow> journals;
    for (const auto& s : stations) {
        const QList<JobRow> rows = journal_rows(data_home(s.name));
        EXPECT_EQ(rows.size(), 4);
        for (const JobRow& row : rows) {
            EXPECT_EQ(row.start.station, s.name);
            EXPECT_EQ(row.start.operator_name, s.operator_name);
            EXPECT_EQ(row.start.keep_map, s.keep_map);
            EXPECT_EQ(row.result, JobResult::Pass);
        }
        journals += rows;
    }
    const std::optional<QList<station::ServerJob>> stored = server_rows(database_.uri());
    ASSERT_TRUE(stored.has_value());
    expect_on_server_as_in_journals(*stored, journals);

    // The look-ups across stations, as the command line passes them to the server.
    const struct {
        QStringList options;
        int rows;
        QString station; // of every row listed
    } lookups[] = {
        {{QStringLiteral("--station"), QStringLiteral("line-b")}, 4, QStringLiteral("line-b")},
        {{QStringLiteral("--result"), QStringLiteral("pass"), QStringLiteral("--station"), QStringLiteral("line-a")}, 4,
         QStringLiteral("line-a")},
        {{QStringLiteral("--result"), QStringLiteral("fail-verify")}, 0, {}},
        {{QStringLiteral("--until"), QStringLiteral("2000-01-01")}, 0, {}},
        {{QStringLiteral("--since"), QStringLiteral("2000-01-01"), QStringLiteral("--serial"), QString()}, 8, {}},
    };
    for (const auto& lookup : lookups) {
        SCOPED_TRACE(lookup.options.join(' ').toStdString());
        const Finished listed = station(QStringList{QStringLiteral("records"), QStringLiteral("--json"), QStringLiteral("--db"),
                                                    database_.uri()} + lookup.options,
                                        data_home(QStringLiteral("office")));
        EXPECT_EQ(listed.exit_code, 0) << listed.err.toStdString();
        const QStringList lines = listed.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        EXPECT_EQ(lines.size(), lookup.rows) << listed.out.toStdString();
        for (const QString& line : lines) {
            const QJsonObject row = QJsonDocument::fromJson(line.toUtf8()).object();
            if (!lookup.station.isEmpty()) {
                EXPECT_EQ(row.value(QStringLiteral("station")).toString(), lookup.station);
            }
        }
    }
}

// The server stops in the middle of a loop (as when the network drops): the cameras go on passing,
// their records wait in the journal and all arrive once, with the times they were begun at, when
// it is back: during the run, and after a restart of the station for what was left at its end.
TEST_F(Plant, AServerGoneMidLoopCostsNoCameraAndLosesOrDoublesNoRecord)
{
    ThrowawayServer own;
    if (own.server().skip) GTEST_SKIP() << own.server().problem.toStdString();
    QString problem;
    const QString uri = own.create_database(QStringLiteral("plant"), &problem);
    ASSERT_FALSE(uri.isEmpty()) << problem.toStdString();
    const QString home = data_home(QStringLiteral("line-s"));
    const QStringList named{QStringLiteral("--db"), uri, QStringLiteral("--station"), QStringLiteral("line-s"),
                            QStringLiteral("--operator"), QStringLiteral("eve"), QStringLiteral("--json")};
    Loop loop;
    start(loop.process,
          QStringList{QStringLiteral("write"), master, QStringLiteral("--loop"), QStringLiteral("--boot-timeout"),
                      QStringLiteral("5")} + named,
          home);
    sim::SimCamera& camera = cameras[0];
    std::uint32_t seed = 300;
    int passed = 0;
    const auto next_camera = [&] {
        camera.plug_in(++seed);
        ++passed;
        const bool done = QTest::qWaitFor([&] { return results_on(loop.read(), 1) == passed; }, kDeadlineMs);
        camera.unplug();
        return done;
    };
    ASSERT_TRUE(next_camera()) << loop.out.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return count_on(uri) == 1; }, kDeadlineMs));

    ASSERT_TRUE(own.halt());
    ASSERT_TRUE(next_camera()) << loop.out.toStdString();
    ASSERT_TRUE(next_camera()) << loop.out.toStdString();
    const auto told = [&](const QString& start) {
        return QTest::qWaitFor([&] {
            loop.read();
            return notes_of(loop.out).filter(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(start))).size() > 0;
        }, kDeadlineMs);
    };
    EXPECT_TRUE(told(QStringLiteral("records: 2 waiting, server unreachable since "))) << loop.out.toStdString();
    ASSERT_TRUE(own.resume());
    ASSERT_TRUE(QTest::qWaitFor([&] { return count_on(uri) == 3; }, kDeadlineMs)) << loop.out.toStdString();
    EXPECT_TRUE(told(QStringLiteral("records: all on the server"))) << loop.out.toStdString();

    // Gone again at the end of the run: what is left goes out on the next one.
    ASSERT_TRUE(own.halt());
    ASSERT_TRUE(next_camera()) << loop.out.toStdString();
    ::kill(static_cast<pid_t>(loop.process.processId()), SIGINT);
    ASSERT_TRUE(loop.process.waitForFinished(kDeadlineMs));
    loop.read();
    EXPECT_EQ(loop.process.exitCode(), 0) << loop.out.toStdString();
    EXPECT_TRUE(notes_of(loop.out).last().startsWith(QStringLiteral("records: 1 waiting, server unreachable since ")));
    EXPECT_TRUE(notes_of(loop.out).last().endsWith(QStringLiteral("; they go out on the next run")));
    ASSERT_TRUE(own.resume());
    camera.plug_in(++seed);
    const Finished again = station(QStringList{QStringLiteral("write"), master} + named, home);
    EXPECT_EQ(again.exit_code, 0) << again.out.toStdString() << again.err.toStdString();
    const std::optional<QList<station::ServerJob>> stored = server_rows(uri);
    ASSERT_TRUE(stored.has_value());
    expect_on_server_as_in_journals(*stored, journal_rows(home));
    EXPECT_EQ(stored->size(), 5);
}

// With require_approved a station writes only a master whose SHA-256 was approved: in its SQLite
// file without a server, on the server, or by the journal's copy of the server's approvals when
// the server cannot be reached at the start. A master refused touches no camera.
TEST_F(Plant, OnlyAnApprovedMasterIsWritten)
{
    QTemporaryDir no_server;
    ASSERT_TRUE(no_server.isValid());
    const QString away = QStringLiteral("postgresql:///camera?host=%1").arg(no_server.path());
    const QString sqlite = folder.path() + QStringLiteral("/line.sqlite");
    const QString not_approved = QStringLiteral("%1 (SHA-256 %2) is not approved for writing").arg(master, master_sha);
    const QString approved_now = QStringLiteral("approved: master.dat SHA-256 %1 by quinn, ").arg(master_sha);
    const struct {
        const char* name;
        QString approve_in; // where `approve` stores the approval
        QString write_with; // the station's database when it writes
        QString refused;    // before the approval
        QString approval;   // what `approve` says
        QString note;       // said when it writes
    } cases[] = {
        {"without a server", sqlite, sqlite, not_approved, approved_now, {}},
        {"on the server", database_.uri(), database_.uri(), not_approved, approved_now, {}},
        // This station has never reached the server: it cannot tell.
        {"by the journal's copy", database_.uri(), away,
         QStringLiteral("cannot tell whether %1 (SHA-256 %2) is approved: the server cannot be reached and the journal "
                        "holds no copy of its approvals yet").arg(master, master_sha),
         QStringLiteral("approved already: master.dat SHA-256 %1 by quinn, ").arg(master_sha),
         QStringLiteral("the server cannot be reached: master.dat was checked against the journal's copy of its approvals made ")},
    };
    int pc = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString home = data_home(QString::number(++pc));
        // The master with a line more after its reset line: another SHA-256, never approved.
        const QString other = folder.path() + QStringLiteral("/other-%1.dat").arg(pc);
        QFile file(master);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        write_file(other, file.readAll() + QByteArray("\r\n"));
        settings(QStringLiteral("[station]\nrequire_approved=true\ndatabase=%1\n").arg(c.write_with));
        cameras[0].plug_in(400 + pc);
        cameras[0].clear_received();
        Finished run = station({QStringLiteral("write"), master}, home);
        EXPECT_EQ(run.exit_code, 2) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(c.refused)) << run.err.toStdString();
        EXPECT_EQ(cameras[0].received_count(), 0u) << "a camera was asked before the master was refused";

        const Finished approved = station({QStringLiteral("approve"), master, QStringLiteral("--db"), c.approve_in,
                                           QStringLiteral("--operator"), QStringLiteral("quinn"), QStringLiteral("--note"),
                                           QStringLiteral("line 3, week 12")},
                                          home);
        ASSERT_EQ(approved.exit_code, 0) << approved.err.toStdString();
        EXPECT_TRUE(approved.out.startsWith(c.approval)) << approved.out.toStdString();
        const Finished listed = station({QStringLiteral("approved"), QStringLiteral("--csv"), QStringLiteral("--db"), c.approve_in}, home);
        EXPECT_TRUE(listed.out.contains(QStringLiteral(",quinn,%1,master.dat,\"line 3, week 12\"").arg(master_sha)))
            << listed.out.toStdString() << listed.err.toStdString();

        run = station({QStringLiteral("write"), master, QStringLiteral("--json"), QStringLiteral("--operator"), QStringLiteral("quinn")}, home);
        EXPECT_EQ(run.exit_code, 0) << run.out.toStdString() << run.err.toStdString();
        EXPECT_EQ(json_events(run.out, QStringLiteral("result")).value(0).value(QStringLiteral("result")).toString(),
                  QStringLiteral("pass"));
        if (!c.note.isEmpty()) {
            EXPECT_TRUE(notes_of(run.out).value(1).startsWith(c.note)) << run.out.toStdString();
        }
        cameras[0].clear_received();
        run = station({QStringLiteral("write"), other}, home);
        EXPECT_EQ(run.exit_code, 2) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("other-%1.dat (SHA-256 ").arg(pc))) << run.err.toStdString();
        EXPECT_EQ(cameras[0].received_count(), 0u);
    }
}

// What cannot be used stops a station at its start, with one line and exit status 2, before
// any camera: a database URI that does not parse, a server that refuses the login, a database
// that does not exist or holds a newer schema, a settings file that cannot be read, no operator
// where one is required. A server merely unreachable is no error: the journal takes the record.
TEST_F(Plant, WhatCannotBeUsedStopsTheStationBeforeAnyCameraAnAbsentServerDoesNot)
{
    TestDatabase newer;
    ASSERT_TRUE(newer.problem().isEmpty()) << newer.problem().toStdString();
    {
        const std::optional<station::ServerUri> uri = station::parse_server_uri(newer.uri(), nullptr);
        station::ServerRecords records;
        ASSERT_EQ(records.open(*uri, nullptr), station::ServerOpen::Opened);
    }
    QSqlQuery(newer.superuser_connection()).exec(QStringLiteral("UPDATE records_schema SET version = version + 1"));
    const struct {
        const char* name;
        QString settings;
        QStringList options;
        QString message; // empty: no error
    } cases[] = {
        {"a URI that does not parse", {}, {QStringLiteral("--db"), QStringLiteral("postgresql://h/d?colour=blue")},
         QStringLiteral("the database URI does not parse: ")},
        {"a password in the URI", {}, {QStringLiteral("--db"), QStringLiteral("postgresql://u:secret@h/d")},
         QStringLiteral("the database URI does not parse: the password never on the command line")},
        {"a login refused", {}, {QStringLiteral("--db"), TestDatabase::uri_for(database_.name(), QStringLiteral("nobody"))},
         QStringLiteral("role \"nobody\" does not exist")},
        {"no such database", QStringLiteral("[station]\ndatabase=%1\n").arg(TestDatabase::uri_for(QStringLiteral("no_such_db"))), {},
         QStringLiteral("database \"no_such_db\" does not exist")},
        {"a newer schema", {}, {QStringLiteral("--db"), newer.uri()}, QStringLiteral("written by a newer version (schema 2)")},
        {"a misspelt setting", QStringLiteral("[station]\nrequire_aproved=true\n"), {},
         QStringLiteral("station.conf: unknown setting \"require_aproved\" in [station]")},
        {"a yes or no that is neither", QStringLiteral("[station]\nrequire_operator=perhaps\n"), {},
         QStringLiteral("station.conf: require_operator=perhaps: true or false")},
        {"no operator where one is required", QStringLiteral("[station]\nrequire_operator=true\n"), {},
         QStringLiteral("no operator named: the station's settings (")},
        {"the operator given", QStringLiteral("[station]\nrequire_operator=true\n"), {QStringLiteral("--operator"), QStringLiteral("kim")}, {}},
        {"a server away", {}, {QStringLiteral("--db"), QStringLiteral("postgresql:///camera?host=%1").arg(folder.path())}, {}},
    };
    int pc = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        settings(c.settings);
        cameras[0].plug_in(500 + pc);
        cameras[0].clear_received();
        const QString home = data_home(QStringLiteral("start-%1").arg(++pc));
        const Finished run = station(QStringList{QStringLiteral("write"), master} + c.options, home);
        if (c.message.isEmpty()) {
            EXPECT_EQ(run.exit_code, 0) << run.out.toStdString() << run.err.toStdString();
            EXPECT_EQ(journal_rows(home).size(), 1);
            continue;
        }
        EXPECT_EQ(run.exit_code, 2) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
        EXPECT_EQ(run.err.count(QLatin1Char('\n')), 1) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(QLatin1String("secret"))) << run.err.toStdString();
        EXPECT_EQ(cameras[0].received_count(), 0u) << "a camera was asked before the start was refused";
    }
    // The record of the run without its server waits in the journal, begun with its station's name.
    station::Records journal;
    ASSERT_TRUE(journal.open(journal_of(data_home(QStringLiteral("start-%1").arg(pc))), nullptr));
    EXPECT_EQ(journal.backlog().value_or(station::Backlog{}).waiting, 1);
    EXPECT_EQ(journal.list().value(0).start.station, QSysInfo::machineHostName());
}

} // namespace
