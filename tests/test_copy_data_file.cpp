// The data file without a window: the writer, the safe replacement of a file, the line reader,
// both readers, and thousands of malformed files through them.

#include "codecs/data_file.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <memory>
#include <random>

namespace {

using data_file::Line;
using data_file::ReadStatus;

QByteArray record(const char* digits) { return QByteArray(digits).leftJustified(30, '0') + "\r\n"; }

struct Lines {
    std::vector<Line> lines;
    ReadStatus last;
    qint64 pos;
};

Lines all_lines(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    Lines r{{}, ReadStatus::Line, 0};
    Line line;
    while ((r.last = data_file::read_line(buffer, r.pos, bytes.size(), line)) == ReadStatus::Line) r.lines.push_back(line);
    return r;
}

frames::Frame frame_of(const QByteArray& text, bool terminated)
{
    frames::Frame frame;
    frame.fill(0xEE);
    data_file::frame_from_line(Line{text.left(Line::kKeptChars), text.size(), terminated}, frame);
    return frame;
}

struct BatchRead {
    bool ok;
    std::unique_ptr<frames::ParamImage> image; // on the heap at its exact size: ASan sees overruns
};

BatchRead read_batch(const QByteArray& bytes, std::int32_t fill = 7)
{
    auto image = std::make_unique<frames::ParamImage>();
    image->fill(fill);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    qint64 pos = 0;
    const bool ok = data_file::read_records(buffer, pos, bytes.size(), *image);
    return {ok, std::move(image)};
}

TEST(DataFile, CameraFileIs1023UpperCaseRecordsAndTheReset)
{
    frames::ParamImage image;
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::int32_t>(0xFA00 + i);
    image[1] = 0x1234;
    image[1023] = 0x7777; // read but never written
    const QByteArray file = data_file::camera_file(image);
    ASSERT_EQ(file.size(), 32768);
    EXPECT_EQ(file.mid(32, 32), QByteArray("230C00011234000000000000000000\r\n"));
    EXPECT_EQ(file.mid(1022 * 32, 32), QByteArray("230C03FEFDFE000000000000000000\r\n"));
    EXPECT_EQ(file.right(32), QByteArray("F30000000000000000000000000000\r\n"));
    EXPECT_FALSE(file.contains("7777"));
}

TEST(DataFile, AFailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("camera.dat");
    ASSERT_TRUE(data_file::save_file(target, "the old file"));
    const auto half_then_fail = [](QIODevice& device, const QByteArray& bytes) {
        device.write(bytes.left(bytes.size() / 2));
        return false;
    };
    EXPECT_FALSE(data_file::save_file(target, QByteArray(32768, 'X'), half_then_fail));
    EXPECT_FALSE(data_file::save_file(dir.filePath("no-such-folder/camera.dat"), "x"));
    EXPECT_FALSE(data_file::save_file(target + "/camera.dat", "x")); // its folder is a file
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("the old file"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"camera.dat"});
}

// Root may write into any folder. For its lifetime this thread (only this one) acts without the
// capability that overrides file permissions, so a read-only folder stops it as it stops a
// technician; an ordinary user has no such capability to drop.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride()
    {
        syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        syscall(SYS_capset, &header_, reduced);
    }
    ~WithoutPermissionOverride() { syscall(SYS_capset, &header_, saved_); }
    WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
    WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};

TEST(DataFile, AWritableFileInAFolderThatTakesNoNewFileIsWrittenInPlace)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("shared.dat");
    ASSERT_TRUE(data_file::save_file(target, "the old file"));
    const QFile::Permissions open_folder = QFile::permissions(dir.path());
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    const auto reopen = qScopeGuard([&] { QFile::setPermissions(dir.path(), open_folder); });
    {
        const WithoutPermissionOverride as_a_technician;
        ASSERT_FALSE(QFile(dir.filePath("probe")).open(QIODevice::WriteOnly))
            << "the folder must refuse new files for this test to mean anything";
        EXPECT_TRUE(data_file::save_file(target, "the new file"));
    }
    QFile saved(target);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("the new file"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"shared.dat"});
}

TEST(DataFile, LinesEndAtLfKeepTheirCrAndOnlyTheirFirstBytes)
{
    const QByteArray huge(3 * 1024 * 1024, 'A');
    const Lines r = all_lines("ab\r\n\n" + huge + "\n" + QByteArray("\x00\xFF", 2));
    EXPECT_EQ(r.last, ReadStatus::End);
    ASSERT_EQ(r.lines.size(), 4u);
    EXPECT_EQ(r.lines[0].head, QByteArray("ab\r"));
    EXPECT_EQ(r.lines[1].length, 0);
    EXPECT_EQ(r.lines[2].length, huge.size());
    EXPECT_EQ(r.lines[2].head, huge.left(Line::kKeptChars));
    EXPECT_EQ(r.lines[3].head, QByteArray("\x00\xFF", 2));
    EXPECT_FALSE(r.lines[3].terminated);

    // A device that ends before the size taken at opening is a read error.
    QBuffer shrunk;
    shrunk.setData("230C\r\n230C");
    shrunk.open(QIODevice::ReadOnly);
    qint64 pos = 0;
    Line line;
    EXPECT_EQ(data_file::read_line(shrunk, pos, 100, line), ReadStatus::Line);
    EXPECT_EQ(data_file::read_line(shrunk, pos, 100, line), ReadStatus::Error);
}

TEST(DataFile, SingleModeFillsFrameBytesPairwiseUntilTheFirstNonDigit)
{
    const frames::Frame full = frame_of("230c0001aBcD0000000000000000FF\r", true);
    EXPECT_EQ(std::vector<int>(full.begin(), full.begin() + 7), (std::vector<int>{0xEE, 0x23, 0x0C, 0, 1, 0xAB, 0xCD}));
    EXPECT_EQ(full[15], 0xFF);
    EXPECT_EQ(full[16], 0xEE);
    EXPECT_EQ(frame_of(QByteArray(40, '1'), true)[16], 0xEE); // never beyond byte 15

    const frames::Frame stopped = frame_of("3312G4", true); // byte 3 keeps its contents
    EXPECT_EQ(std::vector<int>(stopped.begin() + 1, stopped.begin() + 4), (std::vector<int>{0x33, 0x12, 0xEE}));
    EXPECT_EQ(frame_of("F", true)[1], 0xF0);             // an odd digit: the high nibble only
    EXPECT_EQ(frame_of("23456", false)[3], 0xEE);        // no LF: the last character is dropped

    // What each line gives: the last character of a line without an LF is dropped before it is
    // judged.
    using data_file::LineFrame;
    const std::pair<Line, LineFrame> kinds[] = {
        {Line{}, LineFrame::Empty},
        {Line{"x", 1, false}, LineFrame::Empty},
        {Line{"\r", 1, true}, LineFrame::Empty}, // a blank line of a CR LF file
        {Line{"\rx", 2, false}, LineFrame::Empty},
        {Line{"G30C0001", 8, true}, LineFrame::NoDigit},
        {Line{" 230C", 5, true}, LineFrame::NoDigit},
        {Line{"\r\r", 2, true}, LineFrame::NoDigit},
        {Line{"xy", 2, false}, LineFrame::NoDigit},
        {Line{"f", 1, true}, LineFrame::Converted},
        {Line{"2x", 2, false}, LineFrame::Converted},
    };
    for (const auto& [line, kind] : kinds) {
        frames::Frame frame{};
        EXPECT_EQ(data_file::frame_from_line(line, frame), kind) << line.head.toStdString();
    }
}

TEST(DataFile, BatchStoresLowThenHighByteAndSkipsWhatIsNotARecord)
{
    const BatchRead r = read_batch(record("230C0005ABCD") + record("F3") + record("230c03ffbeef")
                                   + record("23990006AAAA") // digits 3-4 are not examined
                                   + record("230C0005A1B2") // the same address again
                                   + record("230C0400FFFF") + record("230C00G12222") + record("230C00073G33"));
    ASSERT_TRUE(r.ok);
    const frames::ParamImage& image = *r.image;
    EXPECT_EQ(std::vector<int>(image.begin() + 10, image.begin() + 14), (std::vector<int>{0xB2, 0xA1, 0xAA, 0xAA}));
    EXPECT_EQ(image[2046], 0xEF);
    EXPECT_EQ(image[2047], 0xBE);
    EXPECT_EQ(std::count(image.begin(), image.end(), 7), 2048 - 6);

    const BatchRead marked = read_batch(record("230C00011111") + "\x1A\r\n" + record("230C00022222"));
    EXPECT_TRUE(marked.ok);
    EXPECT_EQ((*marked.image)[4], 7);
    const BatchRead tail = read_batch(record("230C00011111") + "230C00023333000000"); // no LF: ignored
    EXPECT_TRUE(tail.ok);
    EXPECT_EQ((*tail.image)[4], 7);

    EXPECT_FALSE(read_batch(record("230C00011111") + "230C000222\r\n").ok); // 11 characters, CR included
    EXPECT_TRUE(read_batch(record("230C00011111") + "F3\r\n").ok);         // short, but not 23
    for (const char* empty : {"\n", "\r\n"}) {
        EXPECT_FALSE(read_batch(record("230C00011111") + empty + record("230C00022222")).ok) << empty;
        EXPECT_TRUE(read_batch(empty + record("230C00011111")).ok) << empty; // a first one is skipped
    }
}

// A 23 line shorter than 12 characters, or an empty line (nothing or a lone CR) after a non-empty
// one, before the file's last LF: the batch reader must fail on exactly these files.
bool batch_should_fail(const QByteArray& file)
{
    const QList<QByteArray> lines = file.split('\n');
    bool after_non_empty = false;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QByteArray& l = lines[i];
        const bool empty = l.isEmpty() || l == "\r";
        if (empty ? after_non_empty : (l.startsWith("23") && l.size() < 12)) return true;
        if (l.startsWith('\x1A')) return false;
        after_non_empty = after_non_empty || !empty;
    }
    return false;
}

TEST(DataFile, MalformedFilesNeitherCrashNorHangNorWriteOutsideTheTable)
{
    std::mt19937 random(20240);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char alphabet[] = "0123456789ABCDEFabcdefG \r\n\x1A\xFF";
    for (int round = 0; round < 3000; ++round) {
        QByteArray file;
        for (int l = 1 + pick(40); l > 0; --l) {
            QByteArray line;
            switch (round % 4) {
            case 0: // random bytes
                for (int i = pick(80); i > 0; --i) line += static_cast<char>(random());
                break;
            case 1: // the file's own characters, cut at any length
                for (int i = pick(40); i > 0; --i) line += alphabet[pick(sizeof alphabet - 1)];
                break;
            case 2: // records with any address, some cut short
                line = QString::asprintf("230C%04X%04X", static_cast<unsigned>(random() & 0xFFFF),
                                         static_cast<unsigned>(random() & 0xFFFF)).toLatin1().left(pick(14));
                break;
            default: // an occasional huge line
                line = round % 40 == 3 && l == 1 ? QByteArray(300000 + pick(1000), '2') : record("230C0001FFFF");
            }
            file += line;
            if (pick(10) != 0) file += '\n';
        }

        const Lines r = all_lines(file);
        ASSERT_EQ(r.last, ReadStatus::End);
        ASSERT_EQ(r.pos, file.size());
        for (const Line& line : r.lines) {
            ASSERT_LE(line.head.size(), Line::kKeptChars);
            frames::Frame frame;
            frame.fill(0xEE);
            data_file::frame_from_line(line, frame);
            ASSERT_EQ(frame[0], 0xEE);
            ASSERT_EQ(frame[16], 0xEE);
        }
        const BatchRead batch = read_batch(file, -5);
        for (std::int32_t v : *batch.image) ASSERT_TRUE(v == -5 || (v >= 0 && v <= 255));
        ASSERT_EQ(batch.ok, !batch_should_fail(file)) << round;
    }
}

} // namespace
