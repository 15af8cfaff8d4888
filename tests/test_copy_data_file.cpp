// The data file without a window: the records Camera->PC writes, the safe replacement of a file,
// the line reader, the single mode's line-to-frame conversion and the batch record reader, and
// both readers fed thousands of malformed files.

#include "pages/copy/data_file.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

using data_file::Line;
using data_file::ReadStatus;

QByteArray read_whole(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool write_whole(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Every line of `bytes`, as read_line gives them.
std::vector<Line> all_lines(const QByteArray& bytes, ReadStatus* last = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    qint64 pos = 0;
    std::vector<Line> lines;
    Line line;
    ReadStatus status;
    while ((status = data_file::read_line(buffer, pos, bytes.size(), line)) == ReadStatus::Line) lines.push_back(line);
    if (last) *last = status;
    if (status == ReadStatus::End) {
        EXPECT_EQ(pos, bytes.size());
    }
    return lines;
}

frames::Frame frame_of(const QByteArray& line_bytes, bool terminated, std::uint8_t fill = 0xEE)
{
    frames::Frame frame;
    frame.fill(fill);
    Line line;
    line.head = line_bytes.left(Line::kKeptChars);
    line.length = line_bytes.size();
    line.terminated = terminated;
    data_file::frame_from_line(line, frame);
    return frame;
}

struct BatchRead {
    bool ok;
    std::unique_ptr<frames::ParamImage> image; // on the heap, exactly the table's size
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

QByteArray record(const char* digits) { return QByteArray(digits).leftJustified(30, '0') + "\r\n"; }

TEST(DataFileWriter, RecordsAreThirtyUpperCaseDigitsAndTheFileEndsWithTheReset)
{
    EXPECT_EQ(data_file::parameter_record(0x0001, 0x1234), QByteArray("230C00011234000000000000000000\r\n"));
    EXPECT_EQ(data_file::parameter_record(0x03FE, 0xABCD), QByteArray("230C03FEABCD000000000000000000\r\n"));
    EXPECT_EQ(data_file::end_record(), QByteArray("F3" "0000000000" "0000000000" "00000000" "\r\n"));

    frames::ParamImage image;
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::int32_t>(0xFA00 + i);
    image[1023] = 0x7777; // read but never written
    const QByteArray file = data_file::camera_file(image);
    ASSERT_EQ(file.size(), 32768);
    for (int a = 0; a < 1023; ++a)
        ASSERT_EQ(file.mid(a * 32, 32), QString::asprintf("230C%04X%04X000000000000000000\r\n", a, (0xFA00 + a) & 0xFFFF).toLatin1());
    EXPECT_EQ(file.right(32), QByteArray("F3").leftJustified(30, '0') + "\r\n");
    EXPECT_FALSE(file.contains("7777"));
}

TEST(DataFileWriter, AFailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("camera.dat");
    ASSERT_TRUE(write_whole(target, "the old file"));

    const auto half_then_fail = [](QIODevice& device, const QByteArray& bytes) {
        device.write(bytes.left(bytes.size() / 2));
        return false;
    };
    EXPECT_FALSE(data_file::save_file(target, QByteArray(32768, 'X'), half_then_fail));
    EXPECT_EQ(read_whole(target), QByteArray("the old file"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"camera.dat"});

    EXPECT_FALSE(data_file::save_file(dir.filePath("no-such-folder/camera.dat"), "x"));
    ASSERT_TRUE(write_whole(dir.filePath("plain-file"), "a file, not a folder"));
    EXPECT_FALSE(data_file::save_file(dir.filePath("plain-file/camera.dat"), "x"));

    EXPECT_TRUE(data_file::save_file(target, "the new file"));
    EXPECT_EQ(read_whole(target), QByteArray("the new file"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"camera.dat", "plain-file"}));
}

TEST(DataFileLines, LinesEndAtLfKeepTheirCrAndOnlyTheirFirstBytes)
{
    ReadStatus last;
    const QByteArray huge(3 * 1024 * 1024, 'A');
    const std::vector<Line> lines = all_lines("ab\r\n\n" + huge + "\nxyz", &last);
    EXPECT_EQ(last, ReadStatus::End);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].head, QByteArray("ab\r"));
    EXPECT_TRUE(lines[0].terminated);
    EXPECT_EQ(lines[1].length, 0);
    EXPECT_EQ(lines[2].length, huge.size());
    EXPECT_EQ(lines[2].head, huge.left(Line::kKeptChars));
    EXPECT_EQ(lines[3].head, QByteArray("xyz"));
    EXPECT_FALSE(lines[3].terminated);

    // Binary bytes, NULs included, are characters like any other.
    const QByteArray binary("\x00\x01\xFF\n", 4);
    const std::vector<Line> raw = all_lines(binary);
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0].head, binary.left(3));
}

TEST(DataFileLines, ADeviceEndingBeforeItsSizeIsAReadError)
{
    QBuffer buffer;
    buffer.setData("230C\r\n230C");
    buffer.open(QIODevice::ReadOnly);
    qint64 pos = 0;
    Line line;
    EXPECT_EQ(data_file::read_line(buffer, pos, 100, line), ReadStatus::Line);
    EXPECT_EQ(data_file::read_line(buffer, pos, 100, line), ReadStatus::Error);

    QBuffer closed; // not open: every read fails
    pos = 0;
    EXPECT_EQ(data_file::read_line(closed, pos, 10, line), ReadStatus::Error);
}

TEST(DataFileSingle, DigitsFillFrameBytesPairwiseUntilTheFirstNonDigit)
{
    const frames::Frame full = frame_of("230c0001aBcD0000000000000000FF\r", true);
    EXPECT_EQ(full[1], 0x23);
    EXPECT_EQ(full[2], 0x0C);
    EXPECT_EQ(full[5], 0xAB);
    EXPECT_EQ(full[6], 0xCD);
    EXPECT_EQ(full[15], 0xFF);
    EXPECT_EQ(full[0], 0xEE);
    EXPECT_EQ(full[16], 0xEE);

    // Stops at the G: bytes 1 and 2 converted, byte 3 keeps its contents.
    const frames::Frame stopped = frame_of("3312G4", true);
    EXPECT_EQ(stopped[1], 0x33);
    EXPECT_EQ(stopped[2], 0x12);
    EXPECT_EQ(stopped[3], 0xEE);

    // An odd digit count: the last byte gets only its high nibble.
    EXPECT_EQ(frame_of("F", true)[1], 0xF0);
    // More than 30 digits: byte 16 is never touched.
    EXPECT_EQ(frame_of(QByteArray(40, '1'), true)[16], 0xEE);

    // A last line without LF loses its last character.
    const frames::Frame unterminated = frame_of("23456", false);
    EXPECT_EQ(unterminated[2], 0x45);
    EXPECT_EQ(unterminated[3], 0xEE);

    frames::Frame untouched;
    untouched.fill(1);
    EXPECT_FALSE(data_file::frame_from_line(Line{}, untouched));
    EXPECT_FALSE(data_file::frame_from_line(Line{"x", 1, false}, untouched));
    EXPECT_EQ(untouched[1], 1);
    EXPECT_TRUE(data_file::frame_from_line(Line{"\r", 1, true}, untouched));
}

TEST(DataFileBatch, RecordsStoreLowThenHighByteAndOtherEntriesStay)
{
    const BatchRead r = read_batch(record("230C0005ABCD") + record("F3") + record("230c03ffbeef")
                                   + record("23990006AAAA") // digits 3-4 are not examined
                                   + record("230C0005A1B2") // the same address again
                                   + record("230C0400FFFF") // beyond the memory: skipped
                                   + record("230C00G12222") + record("230C00073G33") + record("2X0C00083333"));
    ASSERT_TRUE(r.ok);
    const frames::ParamImage& image = *r.image;
    EXPECT_EQ(image[10], 0xB2);
    EXPECT_EQ(image[11], 0xA1);
    EXPECT_EQ(image[2046], 0xEF);
    EXPECT_EQ(image[2047], 0xBE);
    EXPECT_EQ(image[12], 0xAA);
    EXPECT_EQ(image[13], 0xAA);
    int changed = 0;
    for (std::int32_t v : image) changed += v != 7;
    EXPECT_EQ(changed, 6);
}

TEST(DataFileBatch, EndMarkEndsReadingAndShortOrEmptyLinesAreFailures)
{
    const BatchRead marked = read_batch(record("230C00011111") + "\x1A\r\n" + record("230C00022222"));
    EXPECT_TRUE(marked.ok);
    EXPECT_EQ((*marked.image)[2], 0x11);
    EXPECT_EQ((*marked.image)[4], 7);

    EXPECT_FALSE(read_batch(record("230C00011111") + "230C000222\r\n").ok); // 11 characters, CR included
    EXPECT_TRUE(read_batch(record("230C00011111") + "F3\r\n").ok);           // short, but not 23
    EXPECT_FALSE(read_batch(record("230C00011111") + "\n" + record("230C00022222")).ok);
    EXPECT_TRUE(read_batch("\n" + record("230C00011111")).ok); // an empty first line is skipped

    // A last line without LF is ignored, even a record.
    const BatchRead tail = read_batch(record("230C00011111") + "230C00023333000000");
    EXPECT_TRUE(tail.ok);
    EXPECT_EQ((*tail.image)[4], 7);
}

// Thousands of malformed files through both readers. The table lives on the heap at its exact
// size, so a write outside it is caught by the address sanitizer.
TEST(DataFileMalformed, NoReaderCrashesHangsOrWritesOutsideTheTable)
{
    std::mt19937 random(20240);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char alphabet[] = "0123456789ABCDEFabcdefG \r\n\x1A\x00\xFF";
    for (int round = 0; round < 3000; ++round) {
        QByteArray file;
        const int kind = round % 4;
        const int lines = 1 + pick(40);
        for (int l = 0; l < lines; ++l) {
            QByteArray line;
            switch (kind) {
            case 0: // random bytes
                for (int i = pick(80); i > 0; --i) line += static_cast<char>(random());
                break;
            case 1: // characters of the file's own alphabet, truncated at any length
                for (int i = pick(40); i > 0; --i) line += alphabet[pick(sizeof alphabet - 1)];
                break;
            case 2: // records with any address, some cut short
                line = QString::asprintf("230C%04X%04X", static_cast<unsigned>(random() & 0xFFFF),
                                         static_cast<unsigned>(random() & 0xFFFF))
                           .toLatin1()
                           .left(pick(14) + 2);
                break;
            default: // an occasional huge line
                line = l == 0 && round % 40 == 3 ? QByteArray(300000 + pick(1000), '2') : record("230C0001FFFF");
                break;
            }
            file += line;
            if (pick(10) != 0) file += '\n';
        }

        ReadStatus last;
        const std::vector<Line> read = all_lines(file, &last);
        ASSERT_EQ(last, ReadStatus::End);
        qint64 total = 0;
        for (const Line& line : read) {
            ASSERT_LE(line.head.size(), Line::kKeptChars);
            total += line.length + (line.terminated ? 1 : 0);
            frames::Frame frame;
            frame.fill(0xEE);
            data_file::frame_from_line(line, frame);
            ASSERT_EQ(frame[0], 0xEE);
            ASSERT_EQ(frame[16], 0xEE);
        }
        ASSERT_EQ(total, file.size());

        const BatchRead batch = read_batch(file, -5);
        for (std::int32_t v : *batch.image) ASSERT_TRUE(v == -5 || (v >= 0 && v <= 255));
        if (kind == 2) {
            // A 23 line of fewer than 12 characters before any end is a read failure.
            bool expect_failure = false;
            bool seen_non_empty = false;
            for (const QByteArray& l : file.split('\n').mid(0, file.count('\n'))) {
                if (l.isEmpty() && seen_non_empty) {
                    expect_failure = true;
                    break;
                }
                seen_non_empty = seen_non_empty || !l.isEmpty();
                if (l.size() < 12) {
                    expect_failure = true;
                    break;
                }
            }
            ASSERT_EQ(batch.ok, !expect_failure) << file.toStdString();
        }
    }
}

} // namespace
