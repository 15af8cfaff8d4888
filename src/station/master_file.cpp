#include "station/master_file.h"

#include "link/hex_text.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>


namespace station {
namespace {

constexpr int kShownDifferences = 10;

QString word_text(int word)
{
    return word == kNotNamed ? QStringLiteral("none") : hex_word_text(word);
}

int line_number_before(const QByteArray& bytes, qint64 pos)
{
    return static_cast<int>(bytes.left(static_cast<qsizetype>(pos)).count('\n'));
}

bool is_hex(char c) { return hex_digit_value(c) >= 0; }

// A line any reader of the window sends or stores begins with two hexadecimal digits; the
// readers skip anything else, which in a master file means it is not a data file.
int first_foreign_line(const QByteArray& bytes)
{
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        if (line.isEmpty() || line[0] == data_file::kEndOfFileMark) continue;
        if (line.size() < 2 || !is_hex(line[0]) || !is_hex(line[1])) return static_cast<int>(i + 1);
    }
    return 0;
}

bool read_words(MasterFile& file, QString* error)
{
    frames::ParamImage image;
    image.fill(kNotNamed);
    QBuffer buffer(&file.bytes);
    buffer.open(QIODevice::ReadOnly);
    qint64 pos = 0;
    if (!data_file::read_records(buffer, pos, file.bytes.size(), image)) {
        *error = QStringLiteral("%1: line %2: not a data file (a broken parameter record)")
                     .arg(file.path)
                     .arg(line_number_before(file.bytes, pos));
        return false;
    }
    file.named = 0;
    for (int a = 0; a < data_file::kWords; ++a) {
        const int low = image[static_cast<std::size_t>(2 * a)];
        const int high = image[static_cast<std::size_t>(2 * a + 1)];
        file.words[static_cast<std::size_t>(a)] = low == kNotNamed ? kNotNamed : high * 256 + low;
        if (low != kNotNamed) ++file.named;
    }
    return true;
}

} // namespace

QString address_text(int address)
{
    return QStringLiteral("0x") + hex_word_text(address);
}

bool read_whole_file(const QString& path, QByteArray& bytes, QString* error)
{
    QFile in(path);
    if (QFileInfo(path).isFile() && in.open(QIODevice::ReadOnly)) {
        bytes = in.readAll();
        if (in.error() == QFileDevice::NoError) return true;
    }
    *error = QStringLiteral("%1: cannot read: %2").arg(path, QFileInfo::exists(path) ? in.errorString() : QStringLiteral("no such file"));
    return false;
}

bool load_master_file(const QString& path, MasterFile& file, QString* error)
{
    file.path = QFileInfo(path).absoluteFilePath();
    if (!read_whole_file(file.path, file.bytes, error)) return false;
    if (const int line = first_foreign_line(file.bytes)) {
        *error = QStringLiteral("%1: line %2: not a data file (a line of hexadecimal digits expected)").arg(file.path).arg(line);
        return false;
    }
    if (!read_words(file, error)) return false;
    if (file.named == 0) {
        *error = QStringLiteral("%1: line 1: not a data file (no parameter records)").arg(file.path);
        return false;
    }
    file.sha256 = QString::fromLatin1(QCryptographicHash::hash(file.bytes, QCryptographicHash::Sha256).toHex());
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
