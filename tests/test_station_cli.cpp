// camera-station as a line runs it: the program itself against simulated cameras on
// pseudo-terminals published as COM1 and COM2, its records read back through its own listing.

#include "codecs/data_file.h"
#include "sim_camera.h"
#include "station_test_support.h"
#include "station/output.h"
#include "support/private_folder.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>

namespace {

constexpr int kJobDeadlineMs = 60000;

struct Finished {
    int exit_code = -1;
    QString out;
    QString err;
};

QString finish(QProcess& process, Finished& run)
{
    run.exit_code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run.out + run.err;
}

class Station : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        for (std::size_t i = 0; i < cameras.size(); ++i) {
            ASSERT_TRUE(cameras[i].start());
            ASSERT_TRUE(cameras[i].publish_as_port(static_cast<int>(i) + 1));
        }
        master = folder.path() + QStringLiteral("/master.dat");
        db = folder.path() + QStringLiteral("/records.sqlite");
        // The master: camera 1's memory with one word changed, so every write changes something.
        frames::ParamImage image = camera_image(cameras[0]);
        image[0x12] ^= 0x0101;
        write_file(master, data_file::camera_file(image));
    }

    static void write_file(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    void start(QProcess& process, QStringList arguments)
    {
        arguments = QStringList{QStringLiteral("--db"), db} + arguments; // a later --db wins
        process.start(QStringLiteral(CAMERA_STATION_EXE), arguments);
        ASSERT_TRUE(process.waitForStarted(10000)) << "camera-station did not start";
    }

    Finished station(const QStringList& arguments)
    {
        QProcess process;
        Finished run;
        start(process, arguments);
        const bool ended = process.waitForFinished(kJobDeadlineMs);
        finish(process, run);
        EXPECT_TRUE(ended) << "camera-station did not end: " << run.out.toStdString();
        return run;
    }

    QString records() { return station({QStringLiteral("records"), QStringLiteral("--csv")}).out; }

    // The simulator's memory against the master file, address for address (0..1022).
    bool holds_master(sim::SimCamera& camera)
    {
        QFile file(master);
        return file.open(QIODevice::ReadOnly) && data_file::camera_file(camera_image(camera)) == file.readAll();
    }

    PrivateFolder config{"XDG_CONFIG_HOME"};
    PrivateFolder data{"XDG_DATA_HOME"};
    QTemporaryDir folder;
    std::array<sim::SimCamera, 2> cameras;
    QString master;
    QString db;
};

TEST_F(Station, SaveWritesTheFileTheCopyPageWrites)
{
    cameras[0].plug_in(5);
    const QString saved = folder.path() + QStringLiteral("/saved.dat");
    const Finished run = station({QStringLiteral("save"), saved});
    ASSERT_EQ(run.exit_code, 0) << run.out.toStdString() << run.err.toStdString();
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), data_file::camera_file(camera_image(cameras[0])));
}

TEST_F(Station, WriteProvesTheCameraHoldsTheFile)
{
    struct Case {
        QStringList options;
        const char* verdict;
        const char* record;
    };
    const Case cases[] = {
        {{}, "PASS", ",pass,"},
        {{QStringLiteral("--single")}, "PASS", ",pass,"},
        {{QStringLiteral("--no-verify")}, "UNVERIFIED", ",unverified,"},
    };
    std::uint32_t seed = 11;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        cameras[0].plug_in(++seed);
        const std::uint16_t last_word = camera_image(cameras[0])[1023] & 0xFFFF;
        QStringList arguments{QStringLiteral("write"), master};
        arguments += c.options;
        const Finished run = station(arguments);
        EXPECT_EQ(run.exit_code, 0) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QLatin1String(c.verdict))) << run.out.toStdString();
        EXPECT_TRUE(holds_master(cameras[0]));
        // The word the file does not name keeps the camera's own value.
        EXPECT_EQ(camera_image(cameras[0])[1023], last_word);
        EXPECT_TRUE(records().contains(QLatin1String(c.record)));
    }
}

TEST_F(Station, AWordTheCameraDoesNotHoldFailsNamingIt)
{
    cameras[0].set_boot_ms(300);
    cameras[0].set_unwritten_word(0x12);
    for (const char* command : {"verify", "write"}) {
        SCOPED_TRACE(command);
        const Finished run = station({QLatin1String(command), master});
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_TRUE(run.out.contains(QLatin1String("port 1: FAIL"))) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains(QLatin1String("1 word differs: 0x0012"))) << run.out.toStdString();
    }
    EXPECT_EQ(records().count(QLatin1String(",fail-verify,")), 2);
}

TEST_F(Station, ASingleJobWaitsForACameraStillRestarting)
{
    cameras[0].set_boot_ms(1500);
    Finished run = station({QStringLiteral("write"), QStringLiteral("--no-verify"), master});
    ASSERT_EQ(run.exit_code, 0) << run.out.toStdString();
    // The write's reset leaves the camera silent for 1.5 s: the verify waits for it.
    run = station({QStringLiteral("verify"), master});
    EXPECT_EQ(run.exit_code, 0) << run.out.toStdString();
    cameras[0].unplug();
    run = station({QStringLiteral("write"), QStringLiteral("--boot-timeout"), QStringLiteral("1"), master});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(run.out.contains(QLatin1String("fail-link: no camera answered on"))) << run.out.toStdString();
}

TEST_F(Station, ACameraLostMidWriteFailsOnlyItsOwnPort)
{
    cameras[0].plug_in(21);
    cameras[1].plug_in(22);
    QProcess process;
    start(process, {QStringLiteral("write"), QStringLiteral("--single"), QStringLiteral("--ports"),
                    QStringLiteral("1,2"), master});
    ASSERT_TRUE(QTest::qWaitFor([&] { return cameras[1].received_count() > 200; }, kJobDeadlineMs))
        << "port 2 never started writing";
    cameras[1].stop(); // the cable is pulled
    ASSERT_TRUE(process.waitForFinished(kJobDeadlineMs)) << "camera-station did not end";
    Finished run;
    const QString all = finish(process, run);
    EXPECT_EQ(run.exit_code, 1) << all.toStdString();
    EXPECT_TRUE(run.out.contains(QLatin1String("port 1: PASS"))) << all.toStdString();
    EXPECT_TRUE(run.out.contains(QLatin1String("port 2: FAIL"))) << all.toStdString();
    EXPECT_TRUE(run.out.contains(QLatin1String("fail-link: line lost at"))) << all.toStdString();
    EXPECT_TRUE(holds_master(cameras[0]));
}

TEST_F(Station, TheLoopRecordsEveryCameraOnce)
{
    for (sim::SimCamera& camera : cameras) camera.set_boot_ms(200);
    cameras[0].plug_in(31);
    cameras[1].plug_in(32);
    QProcess process;
    start(process, {QStringLiteral("write"), QStringLiteral("--loop"), QStringLiteral("--ports"),
                    QStringLiteral("1,2"), QStringLiteral("--boot-timeout"), QStringLiteral("5"), master});
    QByteArray out;
    const auto results = [&](const char* line) {
        out += process.readAllStandardOutput();
        return out.count(line);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return results("port 1: PASS") == 1 && results("port 2: PASS") == 1; },
                                kJobDeadlineMs))
        << out.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return results("port 1: unplug") + results("port 2: unplug") == 2; },
                                kJobDeadlineMs));
    // The next cameras: port 1's passes, port 2's refuses the block.
    for (sim::SimCamera& camera : cameras) camera.unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return results("waiting for a camera") == 4; }, kJobDeadlineMs))
        << out.toStdString();
    cameras[0].plug_in(33);
    cameras[1].plug_in(34);
    cameras[1].inject_for_command(sim::Fault::Refuse, 0x74);
    ASSERT_TRUE(QTest::qWaitFor([&] { return results("port 1: PASS") == 2 && results("port 2: FAIL") == 1; },
                                kJobDeadlineMs))
        << out.toStdString();
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(kJobDeadlineMs));
    out += process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 1) << out.toStdString();
    EXPECT_TRUE(out.contains("summary: 3 passed, 1 failed")) << out.toStdString();
    const QString rows = records();
    EXPECT_EQ(rows.count(QLatin1String(",pass,")), 3) << rows.toStdString();
    EXPECT_EQ(rows.count(QLatin1String(",fail-refused,")), 1) << rows.toStdString();
}

TEST_F(Station, AJobCutShortLeavesAnAbortedRecord)
{
    cameras[0].plug_in(41);
    QProcess process;
    start(process, {QStringLiteral("write"), QStringLiteral("--single"), master});
    ASSERT_TRUE(QTest::qWaitFor([&] { return cameras[0].received_count() > 100; }, kJobDeadlineMs));
    process.kill();
    ASSERT_TRUE(process.waitForFinished(kJobDeadlineMs));
    EXPECT_TRUE(records().contains(QLatin1String(",aborted,")));
}

TEST_F(Station, DiffNamesTheAddressesWithBothWords)
{
    const QString other = folder.path() + QStringLiteral("/other.dat");
    frames::ParamImage image = camera_image(cameras[0]);
    write_file(other, data_file::camera_file(image));
    const Finished differ = station({QStringLiteral("diff"), master, other});
    EXPECT_EQ(differ.exit_code, 1);
    const QString word = QStringLiteral("%1").arg(image[0x12], 4, 16, QLatin1Char('0')).toUpper();
    EXPECT_TRUE(differ.out.contains(QStringLiteral("0x0012 (") + master)) << differ.out.toStdString();
    EXPECT_TRUE(differ.out.contains(other + QStringLiteral(" ") + word)) << differ.out.toStdString();
    EXPECT_TRUE(differ.out.contains(QLatin1String("1 address(es) differ")));
    EXPECT_EQ(station({QStringLiteral("diff"), other, QStringLiteral("port:1")}).exit_code, 0);
}

TEST_F(Station, UsageAndSetUpErrorsExitWithTwo)
{
    const QString text = folder.path() + QStringLiteral("/notes.dat");
    write_file(text, "230C0000\r\nhello\r\n");
    const struct {
        QStringList arguments;
        const char* message;
    } cases[] = {
        {{}, "no command"},
        {{QStringLiteral("copy"), master}, "unknown command"},
        {{QStringLiteral("write")}, "wrong number of arguments"},
        {{QStringLiteral("write"), QStringLiteral("--ports"), QStringLiteral("1,x"), master}, "bad port"},
        {{QStringLiteral("save"), QStringLiteral("--loop"), master}, "--loop goes with"},
        {{QStringLiteral("write"), text}, "notes.dat: line 2: not a data file"},
        {{QStringLiteral("write"), QStringLiteral("--port"), QStringLiteral("3"), master}, "port 3 ("},
        {{QStringLiteral("write"), master, QStringLiteral("--db"), QStringLiteral("/proc/none/x.sqlite")},
         "cannot open the records"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Finished run = station(c.arguments);
        EXPECT_EQ(run.exit_code, 2);
        EXPECT_TRUE(run.err.contains(QLatin1String(c.message))) << run.err.toStdString();
    }
}

} // namespace

// On a terminal the live port lines are drawn below the permanent ones; at the end they must
// leave, so that the summary is the last thing the operator sees.
TEST(StationOutput, TheSummaryEndsATerminalRun)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        station::Output output(station::OutputMode::Terminal, file);
        output.set_ports({1, 2});
        output.state(1, QStringLiteral("writing"));
        output.finished({1, station::JobResult::Pass, QStringLiteral("CAM 1"), {}, 1200, {}});
        output.summary({1, 0, 0, 0});
    }
    std::rewind(file);
    QByteArray text;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, file)) text.append(buffer, static_cast<qsizetype>(n));
    std::fclose(file);
    const qsizetype summary = text.lastIndexOf("summary: 1 passed");
    ASSERT_GE(summary, 0) << text.toStdString();
    EXPECT_FALSE(text.mid(summary).contains("port ")) << text.toStdString();
}
