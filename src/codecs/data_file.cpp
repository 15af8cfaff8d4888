#include "codecs/data_file.h"

#include "link/hex_text.h"

#include <QIODevice>
#include <QSaveFile>

#include <algorithm>
#include <initializer_list>

namespace data_file {
namespace {

constexpr int kChunk = 4096;
constexpr int kBatchMinimumChars = 12; // digits 1..12: code, sub-code, address, word

// A line of 30 digits, the bytes' digit pairs first and zeros after them, then CR LF.
QByteArray record_of(std::initializer_list<int> bytes)
{
    QByteArray line(kLineDigits, '0');
    qsizetype at = 0;
    for (int byte : bytes) {
        const QByteArray digits = hex_byte_text(byte).toLatin1();
        line[at++] = digits[0];
        line[at++] = digits[1];
    }
    return line + "\r\n";
}

QChar char_at(const QByteArray& text, qsizetype i) { return QChar(static_cast<uchar>(text[i])); }

int pair_at(const QByteArray& text, qsizetype i) { return hex_pair_value(char_at(text, i), char_at(text, i + 1)); }

void keep_head(Line& line, const char* bytes, qint64 count)
{
    const qint64 room = Line::kKeptChars - line.head.size();
    if (room > 0) line.head.append(bytes, static_cast<qsizetype>(std::min(room, count)));
}

// Nothing, or only the CR that ends a blank line of a CR LF file.
bool is_empty(const QByteArray& head, qint64 length) { return length == 0 || (length == 1 && head[0] == '\r'); }

enum class Record { Stored, Skipped, EndMark, TooShort };

// One batch line (not empty): stores its word when it is a valid parameter record.
Record store_record(const Line& line, frames::ParamImage& image)
{
    const QByteArray& h = line.head;
    if (h[0] == kEndOfFileMark) return Record::EndMark;
    if (line.length < 2 || pair_at(h, 0) != kParameterRecord) return Record::Skipped;
    if (line.length < kBatchMinimumChars) return Record::TooShort;
    const int address_high = pair_at(h, 4);
    const int address_low = pair_at(h, 6);
    const int word_high = pair_at(h, 8);
    const int word_low = pair_at(h, 10);
    if (address_high < 0 || address_low < 0 || word_high < 0 || word_low < 0) return Record::Skipped;
    const int address = address_high * 256 + address_low;
    if (address >= kWords) return Record::Skipped;
    image[static_cast<std::size_t>(2 * address)] = word_low;
    image[static_cast<std::size_t>(2 * address + 1)] = word_high;
    return Record::Stored;
}

} // namespace

QByteArray parameter_record(int address, int word)
{
    return record_of({kParameterRecord, kParameterSubCode, address >> 8, address, word >> 8, word});
}

QString dialog_filter() { return QStringLiteral("データ (*.dat);;すべてのファイル (*)"); }

QByteArray end_record() { return record_of({frames::kCommandReset}); }

QByteArray camera_file(const frames::ParamImage& image)
{
    QByteArray file;
    file.reserve(kFileBytes);
    for (int address = 0; address < kRecordsWritten; ++address)
        file += parameter_record(address, image[static_cast<std::size_t>(address)]);
    return file + end_record();
}

bool write_all(QIODevice& device, const QByteArray& bytes) { return device.write(bytes) == bytes.size(); }

bool save_file(const QString& path, const QByteArray& bytes, const Writer& writer)
{
    QSaveFile file(path);
    // A shared data file may be writable in a folder set up by someone else that allows no new
    // file, so no temporary file beside it: there the file is written in place, at the cost of
    // leaving it incomplete should the write fail.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (!writer(file, bytes)) {
        file.cancelWriting(); // the destructor then removes the temporary file
        return false;
    }
    return file.commit();
}

ReadStatus read_line(QIODevice& device, qint64& pos, qint64 size, Line& line)
{
    line = Line{};
    if (pos >= size) return ReadStatus::End;
    char chunk[kChunk + 1];
    while (pos < size) {
        const qint64 wanted = std::min<qint64>(kChunk, size - pos);
        const qint64 got = device.readLine(chunk, wanted + 1); // at most `wanted` bytes and a NUL
        if (got <= 0) return ReadStatus::Error;
        pos += got;
        const bool lf = chunk[got - 1] == '\n';
        const qint64 chars = lf ? got - 1 : got;
        keep_head(line, chunk, chars);
        line.length += chars;
        if (lf) {
            line.terminated = true;
            break;
        }
    }
    return ReadStatus::Line;
}

LineFrame frame_from_line(const Line& line, frames::Frame& frame)
{
    const qint64 length = line.terminated ? line.length : line.length - 1;
    if (length < 0 || is_empty(line.head, length)) return LineFrame::Empty;
    if (hex_digit_value(char_at(line.head, 0)) < 0) return LineFrame::NoDigit;
    const auto digits = static_cast<qsizetype>(std::min<qint64>({length, line.head.size(), kLineDigits}));
    for (qsizetype i = 0; i < digits; ++i) {
        const int value = hex_digit_value(char_at(line.head, i));
        if (value < 0) break;
        std::uint8_t& byte = frame[static_cast<std::size_t>(1 + i / 2)];
        if (i % 2 == 0)
            byte = static_cast<std::uint8_t>(value * 16);
        else
            byte = static_cast<std::uint8_t>(byte | value);
    }
    return LineFrame::Converted;
}

bool read_records(QIODevice& device, qint64& pos, qint64 size, frames::ParamImage& image)
{
    bool after_non_empty = false;
    Line line;
    for (;;) {
        const ReadStatus status = read_line(device, pos, size, line);
        if (status == ReadStatus::End) return true;
        if (status == ReadStatus::Error) return false;
        if (!line.terminated) continue; // the file's last line, without an LF: ignored
        if (is_empty(line.head, line.length)) {
            if (after_non_empty) return false;
            continue;
        }
        after_non_empty = true;
        switch (store_record(line, image)) {
        case Record::EndMark: return true;
        case Record::TooShort: return false;
        case Record::Stored:
        case Record::Skipped: break;
        }
    }
}

} // namespace data_file
