// camera-station as a line runs it: the program itself against simulated cameras on
// pseudo-terminals published as COM1 and COM2, its records read back through its own listing.
// Every camera restarts for kBootMs after its reset unless a test says otherwise: the station
// counts a camera as restarted only once it has seen it go silent and answer again.

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
#include <functional>
#include <memory>

namespace {

constexpr int kJobDeadlineMs = 60000;
constexpr int kBootMs = 300;
constexpr int kLastAddress = 0x3FF;
constexpr int kRecordBytes = data_file::kLineBytes;

QString word_text(int word) { return QStringLiteral("%1").arg(word & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper(); }

// A line of a data file: `head`, zeros up to `digits` digits, CR LF.
QByteArray line(const char* head, int digits = data_file::kLineDigits)
{
    QByteArray text(head);
    return text.leftJustified(digits, '0') + "\r\n";
}

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
            cameras[i].set_boot_ms(kBootMs);
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

    static int word_at(sim::SimCamera& camera, int address) { return camera_image(camera)[static_cast<std::size_t>(address)]; }

    static int reset_count(sim::SimCamera& camera)
    {
        return camera.with_model([](sim::CameraModel& model) { return model.reset_count(); });
    }

    // The camera's on-screen title and COMM ID (setup group 6, byte 5).
    static void set_identity(sim::CameraModel& model, const char* title, std::uint8_t comm_id)
    {
        model.setup().set_factory_title(title);
        model.setup().set_byte(6, 5, comm_id);
    }

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
    // The file may set the title and COMM ID: the record and the output carry them as the camera
    // holds them after its restart. Titles of more than 15 characters take all four blocks.
    cameras[0].set_on_restart([](sim::CameraModel& model) { set_identity(model, "SOUTH DOOR 7 UPPER", 42); });
    struct Case {
        QStringList options;
        QStringList shown; // in the output
        const char* record;
        const char* record_identity;
    };
    const QString restarted = QStringLiteral("port 1: PASS  title \"SOUTH DOOR 7 UPPER\"  COMM ID 42");
    const Case cases[] = {
        {{}, {restarted}, ",pass,", ",SOUTH DOOR 7 UPPER,42,"},
        {{QStringLiteral("--single")}, {restarted}, ",pass,", ",SOUTH DOOR 7 UPPER,42,"},
        {{QStringLiteral("--json")},
         {QStringLiteral("\"comm_id\":42,"), QStringLiteral("\"result\":\"pass\",\"serial\":\"\",\"title\":\"SOUTH DOOR 7 UPPER\"")},
         ",pass,", ",SOUTH DOOR 7 UPPER,42,"},
        // Without the read-back the station does not wait for the restart: what it read before.
        {{QStringLiteral("--no-verify")}, {QStringLiteral("port 1: UNVERIFIED  title \"NORTH GATE 12 EAST\"  COMM ID 7")},
         ",unverified,", ",NORTH GATE 12 EAST,7,"},
    };
    std::uint32_t seed = 11;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        cameras[0].plug_in(++seed);
        cameras[0].with_model([](sim::CameraModel& model) { set_identity(model, "NORTH GATE 12 EAST", 7); });
        const std::uint16_t last_word = camera_image(cameras[0])[1023] & 0xFFFF;
        QStringList arguments{QStringLiteral("write"), master};
        arguments += c.options;
        const Finished run = station(arguments);
        EXPECT_EQ(run.exit_code, 0) << run.out.toStdString() << run.err.toStdString();
        for (const QString& text : c.shown) EXPECT_TRUE(run.out.contains(text)) << run.out.toStdString();
        EXPECT_TRUE(holds_master(cameras[0]));
        // The word the file does not name keeps the camera's own value.
        EXPECT_EQ(camera_image(cameras[0])[1023], last_word);
        const QString latest = records().section(QStringLiteral("\r\n"), 1, 1);
        EXPECT_TRUE(latest.contains(QLatin1String(c.record))) << latest.toStdString();
        EXPECT_TRUE(latest.contains(QLatin1String(c.record_identity))) << latest.toStdString();
    }
}

TEST_F(Station, AWordTheCameraDoesNotHoldFailsNamingIt)
{
    // The first and the last word a file names count as much as any between them; a file may
    // name all 1024 words.
    const struct {
        int address;
        bool all_words;
    } cases[] = {{0x0000, false}, {0x0012, false}, {0x03FE, false}, {kLastAddress, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        cameras[0].set_unwritten_word(c.address);
        frames::ParamImage image = camera_image(cameras[0]);
        image[static_cast<std::size_t>(c.address)] ^= 0x0101;
        QByteArray file = data_file::camera_file(image);
        if (c.all_words) file.insert(file.size() - kRecordBytes, data_file::parameter_record(kLastAddress, image[kLastAddress]));
        write_file(master, file);
        for (const char* command : {"verify", "write"}) {
            SCOPED_TRACE(command);
            const Finished run = station({QLatin1String(command), master});
            EXPECT_EQ(run.exit_code, 1);
            EXPECT_TRUE(run.out.contains(QLatin1String("port 1: FAIL"))) << run.out.toStdString();
            EXPECT_TRUE(run.out.contains(QStringLiteral("1 word differs: 0x%1 (file %2, camera %3)")
                                             .arg(word_text(c.address), word_text(image[c.address]),
                                                  word_text(word_at(cameras[0], c.address)))))
                << run.out.toStdString();
        }
    }
    EXPECT_EQ(records().count(QLatin1String(",fail-verify,")), 8);
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

TEST_F(Station, APassNeedsTheRestartSeenAndTheSameCameraAfterIt)
{
    using Setup = std::function<void(sim::SimCamera&)>;
    const Setup late = [](sim::SimCamera& camera) { camera.set_reset_delay_ms(60); };
    const Setup swapped = [](sim::SimCamera& camera) { camera.set_swap_on_reset(true); };
    const QStringList single{QStringLiteral("--single")};
    const QString changed = QStringLiteral("the camera changed during the job: word 0x03FF was %1, now %2");
    const struct {
        const char* name;
        QStringList options;
        Setup set_up;
        int exit_code;
        QString text; // %1 and %2: the last word before and after the job
        int resets;
    } cases[] = {
        // Answers to the probes sent before the camera acted on its reset do not count as back.
        {"acted on late", {}, late, 0, QStringLiteral("port 1: PASS"), 1},
        {"acted on late, single", single, late, 0, QStringLiteral("port 1: PASS"), 1},
        {"ignored", {}, [](sim::SimCamera& camera) { camera.set_reset_ignored(true); }, 1,
         QStringLiteral("fail-refused: camera ignored its reset: it went on answering for "), 0},
        {"never back", {QStringLiteral("--boot-timeout"), QStringLiteral("1")},
         [](sim::SimCamera& camera) { camera.set_boot_ms(4000); }, 1,
         QStringLiteral("fail-link: camera did not answer within 1 s after its reset"), 1},
        // The camera that comes back holds the file too, but it is another camera.
        {"swapped", {}, swapped, 1, QStringLiteral("fail-link: ") + changed, 1},
        {"swapped, single", single, swapped, 1, QStringLiteral("fail-link: ") + changed, 1},
    };
    std::uint32_t seed = 70;
    int passes = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimCamera& camera = cameras[0];
        camera.plug_in(seed += 2);
        c.set_up(camera);
        const int before = word_at(camera, kLastAddress);
        const Finished run = station(QStringList{QStringLiteral("write"), master} + c.options);
        camera.set_reset_delay_ms(0);
        camera.set_reset_ignored(false);
        camera.set_swap_on_reset(false);
        camera.set_boot_ms(kBootMs);
        EXPECT_EQ(run.exit_code, c.exit_code) << run.out.toStdString();
        const QString text = c.text.contains(QLatin1String("%1"))
                                 ? c.text.arg(word_text(before), word_text(word_at(camera, kLastAddress)))
                                 : c.text;
        EXPECT_TRUE(run.out.contains(text)) << run.out.toStdString();
        EXPECT_EQ(reset_count(camera), c.resets);
        passes += c.exit_code == 0;
    }
    EXPECT_EQ(records().count(QLatin1String(",pass,")), passes);
}

TEST_F(Station, WhatSingleModeSendsIsWhatTheReadBackCompares)
{
    // Two masters that change the camera's word at 0x03FE: one in a last record without a line
    // end (and without a reset line), one in a record after the reset line.
    sim::SimCamera& camera = cameras[0];
    frames::ParamImage image = camera_image(camera);
    const int own = image[0x3FE];
    image[0x3FE] ^= 0x0101;
    const QByteArray records = data_file::camera_file(image).chopped(kRecordBytes);
    const QByteArray unterminated = records.chopped(2);
    QByteArray after_reset = data_file::camera_file(camera_image(camera)) + data_file::parameter_record(0x3FE, image[0x3FE]);
    const struct {
        const char* name;
        QByteArray file;
        int word_at_3fe;
        const char* note;
        bool note_in_batch; // the block is always followed by a reset
    } cases[] = {
        {"last line without a line end", unterminated, image[0x3FE], "has no reset line: the station resets each camera",
         false},
        {"a record after the reset line", after_reset, own, "the 1 line(s) after the reset line (line 1024) are neither",
         true},
    };
    for (const auto& c : cases) {
        write_file(master, c.file);
        for (const QStringList& options : {QStringList{}, QStringList{QStringLiteral("--single")}}) {
            SCOPED_TRACE(std::string(c.name) + " " + options.join(' ').toStdString());
            camera.plug_in(81);
            const Finished run = station(QStringList{QStringLiteral("write"), master} + options);
            EXPECT_EQ(run.exit_code, 0) << run.out.toStdString();
            EXPECT_EQ(word_at(camera, 0x3FE), c.word_at_3fe);
            EXPECT_EQ(reset_count(camera), 1);
            EXPECT_EQ(run.out.contains(QLatin1String(c.note)), !options.isEmpty() || c.note_in_batch) << run.out.toStdString();
        }
    }
}

TEST_F(Station, AReplyCountsOnlyWhenItAnswersTheCommandSent)
{
    // Verify against a master the camera holds: a PASS shows that every answer to another read
    // (another item, index or address) and every byte left on the line was passed over.
    sim::SimCamera& camera = cameras[0];
    camera.with_model([](sim::CameraModel& model) { set_identity(model, "NORTH GATE 12 EAST", 7); });
    write_file(master, data_file::camera_file(camera_image(camera)));
    for (sim::Fault fault : {sim::Fault::ForeignFirst, sim::Fault::Trailing}) {
        SCOPED_TRACE(sim::fault_name(fault));
        camera.clear_faults();
        for (std::uint8_t item : {0x0C, 0x10}) camera.inject_for_command(fault, 0x33, item);
        const Finished run = station({QStringLiteral("verify"), master});
        EXPECT_EQ(run.exit_code, 0) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains(QLatin1String("port 1: PASS  title \"NORTH GATE 12 EAST\"  COMM ID 7")))
            << run.out.toStdString();
    }
    camera.clear_faults();
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

TEST_F(Station, TheLoopWritesACameraOnceAndNoticesAnotherInItsPlace)
{
    sim::SimCamera& camera = cameras[0];
    camera.plug_in(61);
    QProcess process;
    start(process, {QStringLiteral("write"), QStringLiteral("--loop"), QStringLiteral("--boot-timeout"), QStringLiteral("5"),
                    master});
    QByteArray out;
    const auto results = [&](const char* line) {
        out += process.readAllStandardOutput();
        return out.count(line);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return results("port 1: unplug the camera") == 1; }, kJobDeadlineMs))
        << out.toStdString();
    // It sits on the line and misses half the probes: one, then two in a row, which leave it
    // present, then four, after which it has gone and comes back as the same camera (loss seed
    // 23: lost, kept, kept, kept, lost, lost, kept, lost, lost, lost, lost, kept).
    camera.clear_received();
    camera.set_lost_reads(0.5, 23);
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.received_count() >= 12; }, kJobDeadlineMs));
    camera.set_lost_reads(0, 0);
    EXPECT_EQ(results("camera found"), 1) << out.toStdString();
    EXPECT_EQ(results("port 1: waiting for a camera"), 2) << out.toStdString();
    // Another camera takes its place between two probes.
    camera.plug_in(62);
    ASSERT_TRUE(QTest::qWaitFor([&] { return results("port 1: PASS") == 2; }, kJobDeadlineMs)) << out.toStdString();
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(kJobDeadlineMs));
    out += process.readAllStandardOutput();
    EXPECT_EQ(results("camera found"), 2) << out.toStdString();
    EXPECT_EQ(results("port 1: waiting for a camera"), 2) << "the new camera was taken for a gone one";
    const QString rows = records();
    EXPECT_EQ(rows.count(QLatin1String(",pass,")), 2) << rows.toStdString();
    EXPECT_TRUE(rows.contains(QLatin1String(",CAM62,"))) << rows.toStdString();
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
    write_file(text, line("230C00001234") + "hello\r\n");
    // Masters that are refused, each naming the line at fault.
    const QByteArray good = line("230C00001234");
    const auto master_of = [&](const char* name, const QByteArray& bytes) {
        const QString path = folder.path() + QLatin1Char('/') + QLatin1String(name);
        write_file(path, bytes);
        return path;
    };
    const QString register_write = master_of("register.dat", good + line("230A00123456"));
    const QString other_sub_code = master_of("sub-code.dat", good + good + line("230D00011234"));
    const QString bad_address = master_of("address.dat", good + line("230C00G11234"));
    const QString bad_word = master_of("word.dat", good + line("230C000112Z4"));
    const QString cut_short = master_of("short.dat", good + line("230C00011234", 28));
    const QString beyond = master_of("beyond.dat", good + line("230C04001234"));
    const QString twice = master_of("twice.dat", good + line("230C00011111")
                                                      + line("230C00012222"));
    for (sim::SimCamera& camera : cameras) camera.clear_received();
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
        {{QStringLiteral("write"), register_write}, "register.dat: line 2: not an EEPROM word record"},
        {{QStringLiteral("write"), QStringLiteral("--single"), other_sub_code}, "sub-code.dat: line 3: not an EEPROM word record"},
        {{QStringLiteral("verify"), bad_address}, "address.dat: line 2: a character that is not a hexadecimal digit in the address"},
        {{QStringLiteral("write"), bad_word}, "word.dat: line 2: a character that is not a hexadecimal digit in the address or word"},
        {{QStringLiteral("write"), cut_short}, "short.dat: line 2: a record cut short: 28 of 30"},
        {{QStringLiteral("write"), beyond}, "beyond.dat: line 2: address 0x0400 beyond 0x03FF"},
        {{QStringLiteral("write"), twice}, "twice.dat: line 3: address 0x0001 named twice with different words (line 2: 1111, line 3: 2222)"},
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
    // Refused before any camera was asked anything.
    EXPECT_EQ(cameras[0].received_count() + cameras[1].received_count(), 0u);
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
