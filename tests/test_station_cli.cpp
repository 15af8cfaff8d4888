// camera-station as a line runs it: the program itself against simulated cameras on
// pseudo-terminals published as COM1 and COM2, its records read back through its own listing.
// Every camera restarts for kBootMs after its reset unless a test says otherwise: the station
// counts a camera as restarted only once it has seen it go silent and answer again.

#include "codecs/data_file.h"
#include "records/records.h"
#include "sim_camera.h"
#include "station_test_support.h"
#include "station/keep_map.h"
#include "station/output.h"
#include "support/private_folder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <tuple>

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

// The last line of `text` that starts with `start`; empty when none does.
QString line_starting(const QString& text, const QString& start)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (auto line = lines.crbegin(); line != lines.crend(); ++line)
        if (line->startsWith(start)) return *line;
    return {};
}

// The last JSON event `event` of the output.
QJsonObject json_event(const QString& out, const QString& event)
{
    QJsonObject last;
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        if (object.value(QStringLiteral("event")).toString() == event) last = object;
    }
    return last;
}

// The fields of the CSV rows (no field of these tests is quoted), newest first.
QList<QStringList> csv_rows(const QString& csv)
{
    QList<QStringList> rows;
    for (const QString& line : csv.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(1)) rows << line.split(QLatin1Char(','));
    return rows;
}

// The CSV columns these tests look at.
enum Column { kId = 0, kStarted = 1, kEnded = 2, kPort = 4, kDevice = 5, kTitle = 6, kSerial = 8, kSha = 10, kResult = 12, kReason = 13, kDuration = 15, kKeepMap = 16 };

// Commands that change the camera: EEPROM writes, the block and the reset.
std::size_t writes_received(sim::SimCamera& camera)
{
    std::size_t writes = 0;
    for (const sim::Bytes& unit : camera.received())
        writes += unit.size() > 1 && (unit[0] == frames::SOH || unit[1] == 0x23 || unit[1] == frames::kCommandReset);
    return writes;
}

QString sha256_of_file(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex())
               : QString();
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
        if (arguments.value(0) != QLatin1String("diff") && arguments.value(0) != QLatin1String("survey")) // no records
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
    // The record names the file written by its SHA-256, which it did not know when the job began.
    const QList<QStringList> rows = csv_rows(records());
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].value(kSha), sha256_of_file(saved));
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
        {{QStringLiteral("--json")}, {QStringLiteral("\"comm_id\":42,")}, ",pass,", ",SOUTH DOOR 7 UPPER,42,"},
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
        const QString csv = records();
        const QString latest = csv.section(QStringLiteral("\r\n"), 1, 1);
        EXPECT_TRUE(latest.contains(QLatin1String(c.record))) << latest.toStdString();
        EXPECT_TRUE(latest.contains(QLatin1String(c.record_identity))) << latest.toStdString();
        if (!c.options.contains(QStringLiteral("--json"))) continue;
        // The result event carries what matches it with its record.
        const QJsonObject result = json_event(run.out, QStringLiteral("result"));
        const QStringList row = csv_rows(csv).value(0);
        EXPECT_EQ(QString::number(result.value(QStringLiteral("record_id")).toInteger()), row.value(kId));
        EXPECT_EQ(result.value(QStringLiteral("started")).toString(), row.value(kStarted));
        EXPECT_EQ(result.value(QStringLiteral("ended")).toString(), row.value(kEnded));
        EXPECT_EQ(result.value(QStringLiteral("device")).toString(), row.value(kDevice));
        EXPECT_EQ(result.value(QStringLiteral("file_sha256")).toString(), sha256_of_file(master));
        EXPECT_EQ(result.value(QStringLiteral("title")).toString(), QStringLiteral("SOUTH DOOR 7 UPPER"));
        EXPECT_EQ(result.value(QStringLiteral("result")).toString(), QStringLiteral("pass"));
        EXPECT_EQ(result.value(QStringLiteral("differing")).toArray(), QJsonArray());
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
        const Finished json = station({QStringLiteral("verify"), QStringLiteral("--json"), master});
        EXPECT_EQ(json_event(json.out, QStringLiteral("result")).value(QStringLiteral("differing")).toArray(),
                  QJsonArray{QStringLiteral("0x") + word_text(c.address)})
            << json.out.toStdString();
    }
    EXPECT_EQ(records().count(QLatin1String(",fail-verify,")), 12);
}

TEST_F(Station, ASingleJobWaitsForACameraStillRestarting)
{
    cameras[0].set_boot_ms(1500);
    Finished run = station({QStringLiteral("write"), QStringLiteral("--no-verify"), master});
    ASSERT_EQ(run.exit_code, 0) << run.out.toStdString();
    // The write's reset leaves the camera silent for 1.5 s: the verify waits for it.
    run = station({QStringLiteral("verify"), master});
    EXPECT_EQ(run.exit_code, 0) << run.out.toStdString();
    // diff reads a camera as verify does: once it answers again after the write's reset.
    ASSERT_EQ(station({QStringLiteral("write"), QStringLiteral("--no-verify"), master}).exit_code, 0);
    run = station({QStringLiteral("diff"), master, QStringLiteral("port:1")});
    EXPECT_EQ(run.exit_code, 0) << run.out.toStdString() << run.err.toStdString();
    // Every command that waits for a camera waits --boot-timeout for one.
    cameras[0].unplug();
    const QStringList one_second{QStringLiteral("--boot-timeout"), QStringLiteral("1")};
    const struct {
        QStringList arguments;
        int exit_code;
    } cases[] = {
        {QStringList{QStringLiteral("write"), master} + one_second, 1},
        {QStringList{QStringLiteral("verify"), master} + one_second, 1},
        {QStringList{QStringLiteral("save"), folder.path() + QStringLiteral("/saved.dat")} + one_second, 1},
        {QStringList{QStringLiteral("diff"), master, QStringLiteral("port:1")} + one_second, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        run = station(c.arguments);
        EXPECT_EQ(run.exit_code, c.exit_code);
        EXPECT_TRUE((run.out + run.err).contains(QLatin1String("no camera answered on ")))
            << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE((run.out + run.err).contains(QLatin1String(" within 1 s"))) << run.out.toStdString() << run.err.toStdString();
    }
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

// Units of one product: alike but for the words 0x0100..0x011F (and 1023) that each has of its
// own. The master is unit 1's memory with word 0x12 changed, so that every write changes one.
class KeepMap : public Station {
protected:
    static constexpr int kOwnFirst = 0x100;
    static constexpr int kOwnLast = 0x11F;

    void SetUp() override
    {
        Station::SetUp();
        camera().with_model([](sim::CameraModel& model) { model.set_product(sim::CameraModel::Product{5, kOwnFirst, kOwnLast}); });
        camera().plug_in(1);
        master_image = camera_image(camera());
        master_image[0x12] ^= 0x0101;
        write_file(master, data_file::camera_file(master_image));
        keep = QStringLiteral("0x%1-0x%2").arg(word_text(kOwnFirst), word_text(kOwnLast));
    }

    sim::SimCamera& camera() { return cameras[0]; }

    // The words of the camera's own range.
    QList<int> own_words()
    {
        const frames::ParamImage image = camera_image(camera());
        return QList<int>(image.begin() + kOwnFirst, image.begin() + kOwnLast + 1);
    }

    // EEPROM word writes received for an address of the own range.
    int own_records_received()
    {
        int records = 0;
        for (const sim::Bytes& unit : camera().received()) {
            const int address = unit.size() == frames::kFrameSize ? unit[3] * 256 + unit[4] : -1;
            records += unit[1] == 0x23 && unit[2] == 0x0C && kOwnFirst <= address && address <= kOwnLast;
        }
        return records;
    }

    frames::ParamImage master_image{};
    QString keep;
};

TEST_F(KeepMap, EachUnitKeepsItsOwnWordsThroughTheWriteAndTheRestart)
{
    const QString keep_file = folder.path() + QStringLiteral("/own.keep");
    write_file(keep_file, "# this product's calibration\r\n0x0100-0x010F\r\n0x0110 - 0x011F # trims\r\n");
    const struct {
        QStringList options;
        bool single;
    } cases[] = {
        {{QStringLiteral("--keep"), keep, QStringLiteral("--json")}, false},
        {{QStringLiteral("--keep-file"), keep_file}, false},
        {{QStringLiteral("--single"), QStringLiteral("--keep"), QStringLiteral("0x0100-0x0107"), QStringLiteral("--keep-file"),
          keep_file},
         true},
    };
    std::uint32_t unit = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        camera().plug_in(++unit); // another unit than the master's
        const QList<int> own = own_words();
        ASSERT_NE(own, QList<int>(master_image.begin() + kOwnFirst, master_image.begin() + kOwnLast + 1));
        camera().clear_received();
        const Finished run = station(QStringList{QStringLiteral("write"), master} + c.options);
        EXPECT_EQ(run.exit_code, 0) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral("each camera keeps its own words at %1 (32 words)").arg(keep)))
            << run.out.toStdString();
        EXPECT_EQ(own_words(), own) << "the unit's own words were overwritten";
        EXPECT_EQ(word_at(camera(), 0x12), master_image[0x12]) << "the master was not written";
        EXPECT_EQ(reset_count(camera()), 1);
        if (c.single) {
            EXPECT_EQ(own_records_received(), 0) << "a kept address was sent";
            EXPECT_EQ(writes_received(camera()), std::size_t{data_file::kWords - 1 - 32 + 1}) << "records and the reset";
        }
        const QStringList row = csv_rows(records()).value(0);
        EXPECT_EQ(row.value(kResult), QStringLiteral("pass"));
        EXPECT_EQ(row.value(kKeepMap), keep) << row.join(',').toStdString();
        if (c.options.contains(QStringLiteral("--json"))) {
            EXPECT_EQ(json_event(run.out, QStringLiteral("result")).value(QStringLiteral("keep_map")).toString(), keep);
        }
    }
}

TEST_F(KeepMap, AKeptWordThatChangesFailsNamingItWithBothValues)
{
    constexpr int kChanged = 0x105;
    constexpr int kAfter = 0x22F0;
    const auto changes_a_kept_word = [](sim::SimCamera& camera) {
        camera.set_on_restart([](sim::CameraModel& model) { model.set_eeprom_word(kChanged, kAfter); });
    };
    const auto swaps = [](sim::SimCamera& camera) { camera.set_swap_on_reset(true); };
    // A master naming all 1024 words leaves the kept words alone to tell the unit from another.
    frames::ParamImage all_words = master_image;
    QByteArray every_word = data_file::camera_file(all_words);
    every_word.insert(every_word.size() - kRecordBytes, data_file::parameter_record(kLastAddress, 0x1234));
    const QString master_of_all = folder.path() + QStringLiteral("/all.dat");
    write_file(master_of_all, every_word);
    const QString kept_changed = QStringLiteral("fail-verify: kept word 0x%3 changed: before %1, after %2");
    const QString camera_changed = QStringLiteral("fail-link: the camera changed during the job: word 0x%3 was %1, now %2");
    const struct {
        const char* name;
        std::function<void(sim::SimCamera&)> set_up;
        QString file;
        QStringList options;
        QString text; // %1 before, %2 after, %3 the address
        int address;
    } cases[] = {
        {"a kept word changed", changes_a_kept_word, master, {}, kept_changed, kChanged},
        {"a kept word changed, single", changes_a_kept_word, master, {QStringLiteral("--single")}, kept_changed, kChanged},
        // Without a word the file leaves unnamed, a changed kept word is another camera.
        {"a kept word changed, all words named", changes_a_kept_word, master_of_all, {}, camera_changed, kChanged},
        {"another unit, all words named", swaps, master_of_all, {}, camera_changed, kOwnFirst},
    };
    std::uint32_t unit = 20;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        camera().plug_in(unit += 2);
        c.set_up(camera());
        const int before = word_at(camera(), c.address);
        ASSERT_NE(before, kAfter);
        const Finished run = station(QStringList{QStringLiteral("write"), c.file, QStringLiteral("--keep"), keep} + c.options);
        camera().set_on_restart({});
        camera().set_swap_on_reset(false);
        EXPECT_EQ(run.exit_code, 1);
        const QString text = c.text.arg(word_text(before), word_text(word_at(camera(), c.address)), word_text(c.address));
        EXPECT_TRUE(run.out.contains(text)) << text.toStdString() << "\n" << run.out.toStdString();
    }
    EXPECT_EQ(records().count(QLatin1String(",pass,")), 0);
}

TEST_F(KeepMap, VerifyComparesEveryWordButTheKeptOnes)
{
    write_file(master, data_file::camera_file(camera_image(camera()))); // unit 1's memory as it is
    camera().plug_in(31);
    const struct {
        QStringList options;
        int exit_code;
        const char* text;
    } cases[] = {
        {{}, 1, "32 words differ: 0x0100 ("},
        {{QStringLiteral("--keep"), keep}, 0, "port 1: PASS"},
        // The range's last address is kept too, and the address after it compared.
        {{QStringLiteral("--keep"), QStringLiteral("0x0100-0x011E")}, 1, "1 word differs: 0x011F ("},
        {{QStringLiteral("--keep"), QStringLiteral("0x0101-0x011F")}, 1, "1 word differs: 0x0100 ("},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options.join(' ').toStdString());
        const Finished run = station(QStringList{QStringLiteral("verify"), master} + c.options);
        EXPECT_EQ(run.exit_code, c.exit_code);
        EXPECT_TRUE(run.out.contains(QLatin1String(c.text))) << run.out.toStdString();
    }
}

TEST_F(KeepMap, SurveyFindsTheOwnWordsOfFilesAndCamerasAndWritesThemAsAKeepFile)
{
    const QString one = folder.path() + QStringLiteral("/one.dat");
    const QString two = folder.path() + QStringLiteral("/two.dat");
    write_file(one, data_file::camera_file(camera_image(camera())));
    camera().plug_in(41);
    write_file(two, data_file::camera_file(camera_image(camera())));
    camera().plug_in(42);
    const QString keep_out = folder.path() + QStringLiteral("/found.keep");
    const QString differ = QStringLiteral("0x0100-0x011F  32 words    1 of 2 cameras differs from the most common word");
    const struct {
        QStringList arguments;
        QStringList shown;
    } cases[] = {
        {{one, two}, {differ, QStringLiteral("0x03FF         1 word      not compared: not named by every input")}},
        {{QStringLiteral("port:1"), one, two, QStringLiteral("--keep-out"), keep_out},
         {QStringLiteral("0x0100-0x011F  32 words    2 of 3 cameras differ from the most common word"),
          QStringLiteral("keep file written: ") + keep_out}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Finished run = station(QStringList{QStringLiteral("survey")} + c.arguments);
        EXPECT_EQ(run.exit_code, 0) << run.err.toStdString();
        for (const QString& line : c.shown) EXPECT_TRUE(run.out.contains(line)) << run.out.toStdString();
    }
    station::KeepMap found;
    QString error;
    ASSERT_TRUE(station::load_keep_file(keep_out, found, &error)) << error.toStdString();
    EXPECT_EQ(found.text(), keep);
    // The keep file found is the one a write of the line takes.
    EXPECT_EQ(station({QStringLiteral("write"), master, QStringLiteral("--keep-file"), keep_out}).exit_code, 0);
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

TEST_F(Station, TheLoopWritesAnUnverifiedCameraOnceThroughItsRestart)
{
    sim::SimCamera& camera = cameras[0];
    camera.set_boot_ms(2000); // longer than the three missed probes that mean "gone"
    camera.plug_in(65);
    QProcess process;
    start(process, {QStringLiteral("write"), QStringLiteral("--no-verify"), QStringLiteral("--loop"),
                    QStringLiteral("--boot-timeout"), QStringLiteral("5"), master});
    QByteArray out;
    const auto results = [&](const char* line) {
        out += process.readAllStandardOutput();
        return out.count(line);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return results("port 1: UNVERIFIED") == 1; }, kJobDeadlineMs)) << out.toStdString();
    camera.clear_received();
    // Its restart, then six probes answered: well past the silence of an unplugging.
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.received_count() >= 6; }, kJobDeadlineMs));
    EXPECT_EQ(writes_received(camera), 0u) << "written again";
    EXPECT_EQ(results("port 1: waiting for a camera"), 1) << "its restart was taken for an unplugging: " << out.toStdString();
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(kJobDeadlineMs));
    EXPECT_EQ(records().count(QLatin1String(",unverified,")), 1);
}

TEST_F(Station, AJobCutShortLeavesAnAbortedRecord)
{
    // A crash leaves the row begun; a stop (Ctrl-C, the terminal closed, kill) completes it with
    // its end, duration and why it stopped.
    const struct {
        int signal;
        const char* reason; // nullptr: the row has no end
    } cases[] = {{SIGKILL, nullptr}, {SIGINT, "(interrupted)"}, {SIGTERM, "(terminated)"}, {SIGHUP, "(the terminal hung up)"}};
    std::uint32_t seed = 40;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        cameras[0].plug_in(++seed);
        cameras[0].clear_received();
        QProcess process;
        start(process, {QStringLiteral("write"), QStringLiteral("--single"), master});
        ASSERT_TRUE(QTest::qWaitFor([&] { return cameras[0].received_count() > 100; }, kJobDeadlineMs));
        ::kill(static_cast<pid_t>(process.processId()), c.signal);
        ASSERT_TRUE(process.waitForFinished(kJobDeadlineMs));
        if (c.reason) {
            EXPECT_EQ(process.exitCode(), 1);
        }
        const QStringList row = csv_rows(records()).value(0);
        EXPECT_EQ(row.value(kResult), QStringLiteral("aborted"));
        EXPECT_EQ(row.value(kEnded).isEmpty(), c.reason == nullptr) << row.join(',').toStdString();
        EXPECT_EQ(row.value(kDuration).isEmpty(), c.reason == nullptr) << row.join(',').toStdString();
        if (c.reason) {
            EXPECT_TRUE(row.value(kReason).endsWith(QLatin1String(c.reason))) << row.join(',').toStdString();
        }
    }
}

TEST_F(Station, NoCameraIsWrittenOrReportedWithoutItsRecord)
{
    sim::SimCamera& camera = cameras[0];
    camera.set_boot_ms(1500); // long enough to take the lock while the camera restarts
    {
        station::Records made;
        QString error;
        ASSERT_TRUE(made.open(db, &error)) << error.toStdString();
    }
    // While another program holds the write lock, the row cannot be begun: the camera waits, untouched.
    camera.plug_in(91);
    camera.clear_received();
    auto holder = std::make_unique<DatabaseHolder>(db, DatabaseHolder::Hold::Writes);
    ASSERT_TRUE(holder->held());
    QProcess process;
    QByteArray out;
    const auto seen = [&](const char* text) {
        out += process.readAllStandardOutput();
        return out.contains(text);
    };
    start(process, {QStringLiteral("write"), master});
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen("port 1: waiting to record"); }, kJobDeadlineMs)) << out.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen("database is locked; trying again"); }, kJobDeadlineMs)) << out.toStdString();
    EXPECT_EQ(writes_received(camera), 0u) << "the camera was written before its row existed";
    holder->release();
    ASSERT_TRUE(process.waitForFinished(kJobDeadlineMs));
    out += process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("port 1: PASS")) << out.toStdString();
    EXPECT_EQ(csv_rows(records()).value(0).value(kResult), QStringLiteral("pass"));

    // The lock taken while the camera restarts: its result waits for its row; stopped then, the
    // station names the camera whose record stays incomplete, and the result it would have had.
    camera.plug_in(92);
    out.clear();
    start(process, {QStringLiteral("write"), master});
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen("port 1: booting"); }, kJobDeadlineMs)) << out.toStdString();
    holder = std::make_unique<DatabaseHolder>(db, DatabaseHolder::Hold::Writes);
    ASSERT_TRUE(holder->held());
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen("port 1: waiting to record"); }, kJobDeadlineMs)) << out.toStdString();
    EXPECT_FALSE(out.contains("PASS")) << "a result given before it was recorded: " << out.toStdString();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(kJobDeadlineMs));
    out += process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 1) << out.toStdString();
    holder->release();
    const QStringList row = csv_rows(records()).value(0);
    EXPECT_EQ(row.value(kResult), QStringLiteral("aborted"));
    EXPECT_TRUE(row.value(kEnded).isEmpty()) << row.join(',').toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("port 1: NOT RECORDED  title \"CAM92\"  COMM ID 17  ").toUtf8())) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("it would have been PASS; its record %1 stays incomplete: cannot complete the record of job %1 in %2: database is locked")
                                 .arg(row.value(kId), db)
                                 .toUtf8()))
        << out.toStdString();

    // A failure that waiting cannot mend (the file deleted) stops the station at once, saying so.
    camera.plug_in(93);
    out.clear();
    start(process, {QStringLiteral("write"), master});
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen("port 1: booting"); }, kJobDeadlineMs)) << out.toStdString();
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) QFile::remove(db + suffix);
    ASSERT_TRUE(process.waitForFinished(kJobDeadlineMs)) << "the station spins on a database that is gone";
    out += process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 1) << out.toStdString();
    EXPECT_TRUE(out.contains("port 1: NOT RECORDED  title \"CAM93\"")) << out.toStdString();
    EXPECT_TRUE(process.readAllStandardError().contains("the file was deleted or replaced while the station used it: the station stops"));
}

// A camera that passed with this master is written again only when the operator confirms: without
// --retest it is left as it is (no record, exit 1, a note says why); with it, its record says so
// and counts the attempt. Another serial number is no retest and is written without asking.
TEST_F(Station, ACameraThatPassedIsWrittenAgainOnlyWithRetest)
{
    const auto write_serial = [&](const char* serial, const QStringList& more) {
        QProcess process;
        start(process, QStringList{QStringLiteral("write"), QStringLiteral("--serial"), QStringLiteral("--boot-timeout"),
                                   QStringLiteral("5"), master} + more);
        QByteArray out;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (out += process.readAllStandardOutput()).contains("scan the serial number"); },
                                    kJobDeadlineMs)) << out.toStdString();
        process.write(QByteArray(serial) + '\n');
        process.closeWriteChannel();
        Finished run;
        EXPECT_TRUE(process.waitForFinished(kJobDeadlineMs)) << "camera-station did not end";
        finish(process, run);
        run.out.prepend(QString::fromUtf8(out));
        return run;
    };
    const int before = word_at(cameras[0], 0x12);
    Finished run = write_serial("SN-1", {});
    ASSERT_EQ(run.exit_code, 0) << run.out.toStdString() << run.err.toStdString();
    ASSERT_TRUE(holds_master(cameras[0]));

    cameras[0].with_model([&](sim::CameraModel& model) { model.set_eeprom_word(0x12, static_cast<std::uint16_t>(before)); });
    run = write_serial("SN-1", {});
    EXPECT_EQ(run.exit_code, 1) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("SN-1 passed with master.dat before: not written again (--retest writes it)")))
        << run.out.toStdString();
    EXPECT_EQ(word_at(cameras[0], 0x12), before) << "written without the operator's confirmation";

    run = write_serial("SN-1", {QStringLiteral("--retest")});
    EXPECT_EQ(run.exit_code, 0) << run.out.toStdString();
    EXPECT_TRUE(holds_master(cameras[0]));
    run = write_serial("SN-2", {});
    EXPECT_EQ(run.exit_code, 0) << run.out.toStdString();

    station::Records records;
    QString error;
    ASSERT_TRUE(records.open_for_reading(db, &error)) << error.toStdString();
    const QList<station::JobRow> rows = records.list();
    ASSERT_EQ(rows.size(), 3) << "a camera not written has no record";
    const auto row_of = [](const station::JobRow& row) {
        return std::tuple(row.start.serial, row.start.attempt, row.start.retest_confirmed, row.result);
    };
    EXPECT_EQ(row_of(rows[0]), std::tuple(QStringLiteral("SN-2"), 1, false, station::JobResult::Pass));
    EXPECT_EQ(row_of(rows[1]), std::tuple(QStringLiteral("SN-1"), 2, true, station::JobResult::Pass));
    EXPECT_EQ(row_of(rows[2]), std::tuple(QStringLiteral("SN-1"), 1, false, station::JobResult::Pass));
    EXPECT_EQ(rows[0].end.value_or(station::JobEnd{}).fault, QStringLiteral("none"));
}

TEST_F(Station, EachSerialNumberGoesToThePortThatAsked)
{
    for (sim::SimCamera& camera : cameras) camera.unplug();
    QProcess process;
    start(process, {QStringLiteral("write"), QStringLiteral("--loop"), QStringLiteral("--ports"), QStringLiteral("1,2"),
                    QStringLiteral("--serial"), QStringLiteral("--boot-timeout"), QStringLiteral("5"), master});
    QByteArray out;
    const auto count = [&](const QString& text) {
        out += process.readAllStandardOutput();
        return static_cast<int>(out.count(text.toUtf8()));
    };
    const auto asking = [&] { return count(QStringLiteral(": scan the serial number")); };
    const auto scan = [&](const char* lines) { process.write(lines); };
    const auto pass_line = [&](int port) {
        return line_starting(QString::fromUtf8(out), QStringLiteral("port %1: PASS").arg(port));
    };

    // A scan while no port asks is refused, never kept for the next camera.
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(QStringLiteral("waiting for a camera")) == 2; }, kJobDeadlineMs));
    scan("EARLY\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(QStringLiteral("scan \"EARLY\" refused: no port asks for a serial number")) == 1; },
                                kJobDeadlineMs))
        << out.toStdString();

    // Two cameras at once: one port asks at a time, the other once the first has its serial; a
    // double scan is refused rather than given to the camera of the port that asks next.
    cameras[0].plug_in(101);
    cameras[1].plug_in(102);
    ASSERT_TRUE(QTest::qWaitFor([&] { return asking() == 1; }, kJobDeadlineMs)) << out.toStdString();
    const int first = out.contains("port 1: scan the serial number") ? 1 : 2;
    const int second = 3 - first;
    EXPECT_FALSE(QTest::qWaitFor([&] { return asking() > 1; }, 1500)) << "two ports ask at once: " << out.toStdString();
    EXPECT_EQ(count(QStringLiteral("port %1: another port asks first").arg(second)), 1) << out.toStdString();
    scan("SN-A\nSN-A\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(QStringLiteral("port %1: scan the serial number").arg(second)) == 1; },
                                kJobDeadlineMs))
        << out.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(QStringLiteral("scan \"SN-A\" refused: port %1 was given this serial number just now").arg(first)) == 1; },
                                kJobDeadlineMs))
        << out.toStdString();
    scan("SN-B\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(QStringLiteral(": PASS")) == 2; }, kJobDeadlineMs)) << out.toStdString();
    EXPECT_TRUE(pass_line(first).contains(QLatin1String("serial SN-A  "))) << out.toStdString();
    EXPECT_TRUE(pass_line(second).contains(QLatin1String("serial SN-B  "))) << out.toStdString();

    // The input ends while one port asks and the other's camera, which has its serial, is being
    // written: that job ends with its serial, the camera waiting for one is not written.
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(QStringLiteral("unplug the camera")) == 2; }, kJobDeadlineMs));
    for (sim::SimCamera& camera : cameras) camera.unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(QStringLiteral("waiting for a camera")) == 4; }, kJobDeadlineMs));
    cameras[0].plug_in(103);
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(QStringLiteral("port 1: scan the serial number")) == 2; }, kJobDeadlineMs))
        << out.toStdString();
    scan("SN-C\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(QStringLiteral("port 1: camera found")) == 2; }, kJobDeadlineMs));
    cameras[1].plug_in(104);
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(QStringLiteral("port 2: scan the serial number")) == 2; }, kJobDeadlineMs))
        << out.toStdString();
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(kJobDeadlineMs)) << "the station did not end with its input";
    out += process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 1) << out.toStdString();
    EXPECT_TRUE(pass_line(1).contains(QLatin1String("serial SN-C  "))) << out.toStdString();
    EXPECT_TRUE(out.contains("port 2: the input of serial numbers ended: no camera written here")) << out.toStdString();
    EXPECT_TRUE(out.contains("summary: 3 passed, 0 failed, 0 unverified, 0 aborted\n")) << out.toStdString();

    QMap<QString, QString> port_of_serial;
    for (const QStringList& row : csv_rows(records())) port_of_serial[row.value(kSerial)] = row.value(kPort);
    const QMap<QString, QString> expected{{QStringLiteral("SN-A"), QString::number(first)},
                                          {QStringLiteral("SN-B"), QString::number(second)},
                                          {QStringLiteral("SN-C"), QStringLiteral("1")}};
    EXPECT_EQ(port_of_serial, expected);

    // No input at all: no camera is named, none written.
    cameras[0].plug_in(105);
    cameras[0].clear_received();
    QProcess none;
    none.setStandardInputFile(QProcess::nullDevice());
    start(none, {QStringLiteral("write"), QStringLiteral("--serial"), master});
    ASSERT_TRUE(none.waitForFinished(kJobDeadlineMs));
    EXPECT_EQ(none.exitCode(), 1);
    EXPECT_EQ(writes_received(cameras[0]), 0u);
}

TEST_F(Station, AReaderThatGoesAwayEndsTheRunAsCtrlCDoes)
{
    // head takes the first five lines (waiting, found, reading, writing, booting) and goes; the
    // next one is written once the camera has restarted, in the middle of its job.
    cameras[0].set_boot_ms(1000);
    std::uint32_t seed = 110;
    for (const QStringList& options : {QStringList{}, QStringList{QStringLiteral("--json")}}) {
        SCOPED_TRACE(options.join(' ').toStdString());
        cameras[0].plug_in(++seed);
        QProcess shell;
        shell.start(QStringLiteral("bash"), QStringList{QStringLiteral("-c"),
                                                        QStringLiteral("\"$0\" \"$@\" | head -n 5 >/dev/null; exit ${PIPESTATUS[0]}"),
                                                        QStringLiteral(CAMERA_STATION_EXE), QStringLiteral("--db"), db,
                                                        QStringLiteral("write"), master} + options);
        ASSERT_TRUE(shell.waitForFinished(kJobDeadlineMs));
        EXPECT_EQ(shell.exitCode(), 1) << "killed by the broken pipe? " << shell.readAllStandardError().toStdString();
        const QStringList row = csv_rows(records()).value(0);
        EXPECT_EQ(row.value(kResult), QStringLiteral("aborted"));
        EXPECT_FALSE(row.value(kEnded).isEmpty()) << row.join(',').toStdString();
        EXPECT_TRUE(row.value(kReason).endsWith(QLatin1String("(the output was closed)"))) << row.join(',').toStdString();
    }
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
    const QString fifo = folder.path() + QStringLiteral("/fifo.dat");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString backwards_keep = master_of("backwards.keep", "0x0100\n# trims\n0x0120-0x0100\n");
    const QString no_keep_file = folder.path() + QStringLiteral("/none.keep");
    const QString keep = QStringLiteral("--keep");
    const QString keep_file = QStringLiteral("--keep-file");
    const QString keep_out = QStringLiteral("--keep-out");
    const QString no_database = folder.path() + QStringLiteral("/none/station.sqlite");
    const QString bad_db = QStringLiteral("/proc/none/x.sqlite");
    const QString boot = QStringLiteral("--boot-timeout");
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
        {{QStringLiteral("write"), fifo}, "fifo.dat: cannot read: not a regular file (a FIFO"},
        {{QStringLiteral("verify"), folder.path()}, ": cannot read: a folder, not a file"},
        {{QStringLiteral("save"), folder.path()}, ": a folder, not a file"},
        // Numbers out of reach and options the command does not take.
        {{QStringLiteral("write"), boot, QStringLiteral("nan"), master}, "bad --boot-timeout \"nan\""},
        {{QStringLiteral("write"), boot, QStringLiteral("inf"), master}, "bad --boot-timeout \"inf\""},
        {{QStringLiteral("write"), boot, QStringLiteral("0.5"), master}, "bad --boot-timeout \"0.5\""},
        {{QStringLiteral("write"), boot, QStringLiteral("3601"), master}, "bad --boot-timeout \"3601\""},
        {{QStringLiteral("diff"), master, QStringLiteral("port:10")}, "bad port \"port:10\": a port is a number 1..9"},
        {{QStringLiteral("diff"), QStringLiteral("port:0"), master}, "bad port \"port:0\""},
        {{QStringLiteral("diff"), master, master, QStringLiteral("--port"), QStringLiteral("2")}, "--port goes with"},
        {{QStringLiteral("diff"), master, master, boot, QStringLiteral("2")}, "--boot-timeout goes with"},
        {{QStringLiteral("diff"), master, master, QStringLiteral("--json")}, "--json goes with"},
        {{QStringLiteral("diff"), master, master, QStringLiteral("--db"), db}, "--db goes with"},
        {{QStringLiteral("records"), QStringLiteral("--operator"), QStringLiteral("ann")}, "--operator goes with"},
        {{QStringLiteral("records"), QStringLiteral("--port"), QStringLiteral("1")}, "--port goes with"},
        {{QStringLiteral("records"), QStringLiteral("--id"), QStringLiteral("3")}, "--id goes with"},
        {{QStringLiteral("save"), master, QStringLiteral("--ports"), QStringLiteral("1,2")}, "--ports goes with"},
        // Keep maps: a bad one is refused before any camera, and only write and verify take one.
        {{QStringLiteral("write"), keep, QStringLiteral("0x0100,0x0400"), master}, "bad --keep item \"0x0400\": beyond 0x03FF"},
        {{QStringLiteral("verify"), keep, QStringLiteral("0x0100"), keep, QStringLiteral("0x01G0"), master},
         "bad --keep item \"0x01G0\": not a hexadecimal address"},
        {{QStringLiteral("write"), keep_file, backwards_keep, master},
         "backwards.keep: line 3: \"0x0120-0x0100\": a backwards range"},
        {{QStringLiteral("verify"), keep, QStringLiteral("0x0100"), keep_file, no_keep_file, master}, "none.keep: cannot read: no such file"},
        {{QStringLiteral("save"), folder.path() + QStringLiteral("/saved.dat"), keep, QStringLiteral("0x0100")}, "--keep goes with write and verify"},
        {{QStringLiteral("diff"), master, master, keep_file, backwards_keep}, "--keep-file goes with write and verify"},
        {{QStringLiteral("write"), master, keep_out, no_keep_file}, "--keep-out goes with survey"},
        {{QStringLiteral("survey"), master}, "wrong number of arguments for this command (at least 2 wanted)"},
        {{QStringLiteral("survey"), QStringLiteral("port:1"), master, keep_out, folder.path()}, ": a folder, not a file"},
        {{QStringLiteral("survey"), master, QStringLiteral("port:10")}, "bad port \"port:10\""},
        // Databases: each named once in the message; one only read is never made.
        {{QStringLiteral("write"), master, QStringLiteral("--db"), bad_db},
         "camera-station: cannot open the record database /proc/none/x.sqlite: cannot create the folder"},
        {{QStringLiteral("records"), QStringLiteral("--db"), no_database},
         "cannot read the record database %1: there is no such file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Finished run = station(c.arguments);
        EXPECT_EQ(run.exit_code, 2);
        QString message = QString::fromLatin1(c.message);
        if (message.contains(QLatin1String("%1"))) message = message.arg(no_database);
        EXPECT_TRUE(run.err.contains(message)) << run.err.toStdString();
        EXPECT_LE(run.err.count(bad_db), 1) << run.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(no_database).path())) << "reading the records made a folder";
    // Refused before any camera was asked anything.
    EXPECT_EQ(cameras[0].received_count() + cameras[1].received_count(), 0u);
}

TEST_F(Station, ReadingTheRecordsTakesNoLockAndWorksOnAReadOnlyCopy)
{
    {
        station::Records records;
        QString error;
        ASSERT_TRUE(records.open(db, &error)) << error.toStdString();
        station::JobStart start;
        start.started = QDateTime::currentDateTime();
        start.port = 3;
        start.title = QStringLiteral("GATE");
        ASSERT_GT(records.begin(start), 0);
    }
    // Copies that cannot be written: a file of mode 0444 in a folder that can, and a file alone
    // (no write-ahead log beside it) in a folder that cannot. Root is exempt from modes, so the
    // listing then runs as nobody.
    ASSERT_EQ(::chmod(QFile::encodeName(folder.path()).constData(), 0755), 0);
    const QString open_folder = folder.path() + QStringLiteral("/open");
    const QString closed_folder = folder.path() + QStringLiteral("/closed");
    for (const QString& copy_folder : {open_folder, closed_folder}) {
        ASSERT_TRUE(QDir().mkpath(copy_folder));
        ASSERT_TRUE(QFile::copy(db, copy_folder + QStringLiteral("/copy.sqlite")));
        ASSERT_EQ(::chmod(QFile::encodeName(copy_folder + QStringLiteral("/copy.sqlite")).constData(), 0444), 0);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(open_folder).constData(), 0777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(closed_folder).constData(), 0555), 0);
    const QStringList closed_before = QDir(closed_folder).entryList(QDir::Files);

    DatabaseHolder holder(db, DatabaseHolder::Hold::Writes); // and another program writing the original
    ASSERT_TRUE(holder.held());
    for (const QString& path : {db, open_folder + QStringLiteral("/copy.sqlite"), closed_folder + QStringLiteral("/copy.sqlite")}) {
        SCOPED_TRACE(path.toStdString());
        QProcess process;
        process.setChildProcessModifier([] {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
        });
        process.start(QStringLiteral(CAMERA_STATION_EXE), {QStringLiteral("records"), QStringLiteral("--csv"), QStringLiteral("--db"), path});
        ASSERT_TRUE(process.waitForFinished(kJobDeadlineMs));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        EXPECT_EQ(csv_rows(out).size(), 1) << out.toStdString();
        EXPECT_EQ(csv_rows(out).value(0).value(kPort), QStringLiteral("3")) << out.toStdString();
    }
    EXPECT_EQ(QDir(closed_folder).entryList(QDir::Files), closed_before);
}

TEST_F(Station, TimesAreLocalWithTheirOffsetInListingsAndInSince)
{
    // A job started at 10:00 UTC, listed and filtered on a machine at UTC+9.
    {
        station::Records records;
        QString error;
        ASSERT_TRUE(records.open(db, &error)) << error.toStdString();
        station::JobStart start;
        start.started = QDateTime(QDate(2024, 5, 1), QTime(12, 0), Qt::OffsetFromUTC, 7200);
        ASSERT_GT(records.begin(start), 0);
    }
    const struct {
        QStringList arguments;
        const char* shown; // nullptr: the job is not listed
    } cases[] = {
        {{QStringLiteral("records")}, "2024-05-01T19:00:00+09:00"},
        {{QStringLiteral("records"), QStringLiteral("--csv")}, ",2024-05-01T19:00:00.000+09:00,"},
        {{QStringLiteral("records"), QStringLiteral("--since"), QStringLiteral("2024-05-01T18:30")}, "2024-05-01T19:00:00+09:00"},
        {{QStringLiteral("records"), QStringLiteral("--since"), QStringLiteral("2024-05-01T19:30")}, nullptr},
        {{QStringLiteral("records"), QStringLiteral("--since"), QStringLiteral("2024-05-01T09:30Z")}, "2024-05-01T19:00:00+09:00"},
        {{QStringLiteral("records"), QStringLiteral("--since"), QStringLiteral("2024-05-02")}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TZ"), QStringLiteral("JST-9")); // UTC+9, without a time zone database
        process.setProcessEnvironment(environment);
        start(process, c.arguments);
        ASSERT_TRUE(process.waitForFinished(kJobDeadlineMs));
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_EQ(out.count(QLatin1String("2024-05-01T")), c.shown ? 1 : 0) << out.toStdString();
        if (c.shown) {
            EXPECT_TRUE(out.contains(QLatin1String(c.shown))) << out.toStdString();
        }
    }
}

} // namespace

// What a terminal shows of what was written to it: the escape sequences the station's live port
// lines use (ESC[nF up n lines to the start, ESC[2K clear the line, ESC[J clear to the end).
QStringList screen_of(const QByteArray& written)
{
    QStringList rows{QString()};
    int row = 0;
    for (qsizetype i = 0; i < written.size(); ++i) {
        const char c = written[i];
        if (c == '\x1b' && i + 1 < written.size() && written[i + 1] == '[') {
            qsizetype end = i + 2;
            while (end < written.size() && !QChar::fromLatin1(written[end]).isLetter()) ++end;
            const int n = written.mid(i + 2, end - i - 2).toInt();
            const char command = written[end];
            if (command == 'F') row = std::max(0, row - n);
            if (command == 'K') rows[row].clear();
            if (command == 'J') rows = rows.mid(0, row) << QString();
            i = end;
        } else if (c == '\n') {
            if (++row == rows.size()) rows << QString();
        } else {
            rows[row] += QChar::fromLatin1(c);
        }
    }
    while (!rows.isEmpty() && rows.last().isEmpty()) rows.removeLast();
    return rows;
}

// On a terminal the live port lines are drawn below the permanent ones: an error of a port that
// cannot be opened stays above them, and at the end they leave, so that the summary is the last
// thing the operator sees. Standard error shares the terminal.
TEST(StationOutput, ATerminalKeepsErrorsAndEndsWithTheSummary)
{
    using station::CameraReport;
    using station::JobResult;
    using station::Output;
    const CameraReport passed{1, JobResult::Pass, QStringLiteral("CAM 1"), {}, 1200, {}};
    std::FILE* typed = nullptr; // the terminal, for the echo of what is typed on it
    const struct {
        const char* name;
        std::function<void(Output&)> events;
        QStringList screen;
    } cases[] = {
        {"a run", [&](Output& out) {
             out.state(1, QStringLiteral("writing"));
             out.finished(passed);
             out.summary({1, 0, 0, 0, 0});
         },
         {QStringLiteral("port 1: PASS  title \"CAM 1\"  1.2 s"), QStringLiteral("summary: 1 passed, 0 failed, 0 unverified, 0 aborted")}},
        {"a port that cannot be opened", [&](Output& out) {
             out.state(1, QStringLiteral("writing"));
             out.error(2, QStringLiteral("port 2 (/dev/ttyUSB1): cannot open"));
             out.state(1, QStringLiteral("booting"));
             out.finished(passed);
             out.summary({1, 0, 0, 0, 0});
         },
         {QStringLiteral("camera-station: port 2 (/dev/ttyUSB1): cannot open"), QStringLiteral("port 1: PASS  title \"CAM 1\"  1.2 s"),
          QStringLiteral("summary: 1 passed, 0 failed, 0 unverified, 0 aborted")}},
        // A scanner types on the terminal the output is shown on: its echo goes with the port lines.
        {"a serial number typed", [&](Output& out) {
             out.state(1, QStringLiteral("scan the serial number"));
             std::fputs("SN-0042\n", typed);
             out.line_typed();
             out.state(1, QStringLiteral("writing"));
             out.finished(passed);
             out.summary({1, 0, 0, 0, 0});
         },
         {QStringLiteral("port 1: PASS  title \"CAM 1\"  1.2 s"), QStringLiteral("summary: 1 passed, 0 failed, 0 unverified, 0 aborted")}},
        {"one job without a summary", [&](Output& out) {
             out.state(1, QStringLiteral("verifying"));
             out.finished(passed);
             out.clear_ports();
         },
         {QStringLiteral("port 1: PASS  title \"CAM 1\"  1.2 s")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        typed = file;
        std::fflush(stderr);
        const int saved_stderr = ::dup(STDERR_FILENO);
        ::dup2(::fileno(file), STDERR_FILENO);
        {
            Output output(station::OutputMode::Terminal, file);
            output.set_ports({1, 2});
            c.events(output);
        }
        std::fflush(stderr);
        ::dup2(saved_stderr, STDERR_FILENO);
        ::close(saved_stderr);
        std::rewind(file);
        QByteArray text;
        char buffer[4096];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, file)) text.append(buffer, static_cast<qsizetype>(n));
        std::fclose(file);
        EXPECT_EQ(screen_of(text), c.screen) << text.toStdString();
    }
}
