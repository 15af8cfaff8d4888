#include "station/master_file.h"

#include "link/hex_text.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace station {
namespace {

constexpr int kShownDifferences = 10;

QString word_text(int word)
{
    return word == kNotNamed ? QStringLiteral("none") : hex_word_text(word);
}

constexpr std::uint8_t kEepromSubCode = data_file::kParameterSubCode;
constexpr int kMaxAddress = data_file::kWords - 1;
constexpr qsizetype kAddressAt = 4;   // digits 5..8
constexpr qsizetype kWordEnd = 12;    // digits 9..12 the word

QChar char_at(const QByteArray& text, qsizetype i) { return QChar(static_cast<uchar>(text[i])); }
int pair_at(const QByteArray& text, qsizetype i) { return hex_pair_value(char_at(text, i), char_at(text, i + 1)); }

qsizetype leading_digits(const QByteArray& text)
{
    qsizetype n = 0;
    while (n < text.size() && hex_digit_value(char_at(text, n)) >= 0) ++n;
    return n;
}

// What one line of a master is.
struct LineReading {
    enum Kind { Record, Reset, EndMark, Refused } kind = Refused;
    WordRecord record;
    QString why; // Refused: what is wrong, without the file and line
};

// A line's characters without its CR (and without the LF, which read_line leaves out).
QByteArray text_of(const data_file::Line& line)
{
    QByteArray text = line.head;
    if (text.endsWith('\r')) text.chop(1);
    return text;
}

QString shown(const QByteArray& text) { return QString::fromLatin1(text.left(data_file::kLineDigits)); }

LineReading refused(const QString& why) { return {LineReading::Refused, {}, why}; }

// The digits of a record: all 30 hexadecimal, those of the address and word above all.
std::optional<QString> record_digits_fault(const QByteArray& text, qint64 length)
{
    const qsizetype digits = leading_digits(text);
    if (digits < std::min<qsizetype>(kWordEnd, text.size()))
        return QStringLiteral("a character that is not a hexadecimal digit in the address or word: \"%1\"").arg(shown(text));
    if (length > data_file::kLineDigits + 1 || text.size() > data_file::kLineDigits)
        return QStringLiteral("longer than a record's %1 digits").arg(data_file::kLineDigits);
    if (digits < data_file::kLineDigits)
        return QStringLiteral("a record cut short: %1 of %2 hexadecimal digits").arg(digits).arg(data_file::kLineDigits);
    return std::nullopt;
}

LineReading read_master_line(const data_file::Line& line)
{
    const QByteArray text = text_of(line);
    if (text.isEmpty()) return refused(QStringLiteral("an empty line"));
    if (text[0] == data_file::kEndOfFileMark) return {LineReading::EndMark, {}, {}};
    const int code = text.size() >= 2 ? pair_at(text, 0) : -1;
    if (code < 0) return refused(QStringLiteral("not a data file (a line of hexadecimal digits expected)"));
    const bool record = code == data_file::kParameterRecord && (text.size() < 4 || pair_at(text, 2) == kEepromSubCode);
    if (!record && code != frames::kCommandReset)
        return refused(QStringLiteral("not an EEPROM word record (230C address word) nor the reset (F3): \"%1\"").arg(shown(text)));
    if (const std::optional<QString> fault = record_digits_fault(text, line.length)) return refused(*fault);
    if (!record) return {LineReading::Reset, {}, {}};
    const int address = pair_at(text, kAddressAt) * 256 + pair_at(text, kAddressAt + 2);
    if (address > kMaxAddress)
        return refused(QStringLiteral("address %1 beyond %2").arg(address_text(address), address_text(kMaxAddress)));
    return {LineReading::Record, {0, address, pair_at(text, 8) * 256 + pair_at(text, 10)}, {}};
}

// A second record for an address must carry the same word.
std::optional<QString> conflict(const MasterFile& file, const WordRecord& record)
{
    const int earlier = file.words[static_cast<std::size_t>(record.address)];
    if (earlier == kNotNamed || earlier == record.word) return std::nullopt;
    int earlier_line = 0;
    for (const WordRecord& r : file.records)
        if (r.address == record.address) earlier_line = r.line;
    return QStringLiteral("address %1 named twice with different words (line %2: %3, line %4: %5)")
        .arg(address_text(record.address))
        .arg(earlier_line)
        .arg(word_text(earlier))
        .arg(record.line)
        .arg(word_text(record.word));
}

void add_record(MasterFile& file, const WordRecord& record)
{
    int& word = file.words[static_cast<std::size_t>(record.address)];
    if (word == kNotNamed) ++file.named;
    word = record.word;
    file.records.append(record);
}

// Lines after the reset line, which neither single mode nor the block uses.
int count_lines_after(QBuffer& buffer, qint64 pos, qint64 size)
{
    int count = 0;
    data_file::Line line;
    while (data_file::read_line(buffer, pos, size, line) == data_file::ReadStatus::Line)
        if (!text_of(line).isEmpty()) ++count;
    return count;
}

bool read_records(MasterFile& file, QString* error)
{
    file.words.fill(kNotNamed);
    QBuffer buffer(&file.bytes);
    buffer.open(QIODevice::ReadOnly);
    qint64 pos = 0;
    data_file::Line line;
    for (int number = 1; data_file::read_line(buffer, pos, file.bytes.size(), line) == data_file::ReadStatus::Line; ++number) {
        LineReading reading = read_master_line(line);
        reading.record.line = number;
        if (reading.kind == LineReading::Record) {
            if (const std::optional<QString> why = conflict(file, reading.record)) reading = refused(*why);
        }
        switch (reading.kind) {
        case LineReading::Refused:
            *error = QStringLiteral("%1: line %2: %3").arg(file.path).arg(number).arg(reading.why);
            return false;
        case LineReading::Record: add_record(file, reading.record); break;
        case LineReading::Reset:
            file.reset_line = number;
            file.lines_after_reset = count_lines_after(buffer, pos, file.bytes.size());
            return true;
        case LineReading::EndMark: return true;
        }
    }
    return true;
}

} // namespace

QString address_text(int address)
{
    return QStringLiteral("0x") + hex_word_text(address);
}

QString sha256_text(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// A FIFO is never opened: its open would wait for a writer.
bool read_whole_file(const QString& path, QByteArray& bytes, QString* error)
{
    const QFileInfo info(path);
    QString why;
    if (!info.exists()) {
        why = QStringLiteral("no such file");
    } else if (info.isDir()) {
        why = QStringLiteral("a folder, not a file");
    } else if (!info.isFile()) {
        why = QStringLiteral("not a regular file (a FIFO, a socket or a device)");
    } else {
        QFile in(path);
        if (in.open(QIODevice::ReadOnly)) bytes = in.readAll();
        if (in.isOpen() && in.error() == QFileDevice::NoError) return true;
        why = in.errorString();
    }
    *error = QStringLiteral("%1: cannot read: %2").arg(path, why);
    return false;
}

bool load_master_file(const QString& path, MasterFile& file, QString* error)
{
    file.path = QFileInfo(path).absoluteFilePath();
    if (!read_whole_file(file.path, file.bytes, error)) return false;
    if (!read_records(file, error)) return false;
    if (file.named == 0) {
        *error = QStringLiteral("%1: line 1: not a data file (no parameter records)").arg(file.path);
        return false;
    }
    file.sha256 = sha256_text(file.bytes);
    return true;
}

frames::ParamImage block_image(const WordMap& words, const WordMap& camera)
{
    frames::ParamImage image{};
    for (std::size_t a = 0; a < words.size(); ++a) {
        const int word = words[a] != kNotNamed ? words[a] : camera[a];
        image[2 * a] = word & 0xFF;
        image[2 * a + 1] = (word >> 8) & 0xFF;
    }
    return image;
}

QList<int> differing_addresses(const WordMap& expected, const WordMap& actual)
{
    QList<int> differing;
    for (int a = 0; a < data_file::kWords; ++a) {
        const int want = expected[static_cast<std::size_t>(a)];
        if (want != kNotNamed && actual[static_cast<std::size_t>(a)] != want) differing.append(a);
    }
    return differing;
}

QString difference_entry(int address, const WordMap& expected, const WordMap& actual, const QString& expected_name,
                         const QString& actual_name)
{
    const auto a = static_cast<std::size_t>(address);
    return QStringLiteral("%1 (%2 %3, %4 %5)")
        .arg(address_text(address), expected_name, word_text(expected[a]), actual_name, word_text(actual[a]));
}

QString difference_text(const QList<int>& differing, const WordMap& expected, const WordMap& actual,
                        const QString& expected_name, const QString& actual_name)
{
    QStringList shown;
    for (int a : differing.mid(0, kShownDifferences))
        shown << difference_entry(a, expected, actual, expected_name, actual_name);
    const QString more = differing.size() > kShownDifferences ? QStringLiteral(", ...") : QString();
    const QString noun = differing.size() == 1 ? QStringLiteral("word differs") : QStringLiteral("words differ");
    return QStringLiteral("%1 %2: %3%4").arg(differing.size()).arg(noun, shown.join(QStringLiteral(", ")), more);
}

} // namespace station
