#include "station/keep_map.h"

#include "codecs/data_file.h"
#include "link/hex_text.h"
#include "station/master_file.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace station {
namespace {

constexpr int kLastAddress = data_file::kWords - 1;

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

const QString kNotAnAddress = QStringLiteral("not a hexadecimal address (0x0000..0x03FF)");

// One address, "0x" and hexadecimal digits of either case; the reason it is bad, or empty.
QString read_address(QStringView text, int& address)
{
    const bool prefixed = text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
    if (!prefixed) return kNotAnAddress;
    int value = 0;
    for (QChar c : text.mid(2)) {
        const int digit = hex_digit_value(c);
        if (digit < 0) return kNotAnAddress;
        // Held below one past the range, so that any number of digits can neither overflow nor wrap.
        value = std::min(value * 16 + digit, kLastAddress + 1);
    }
    if (value > kLastAddress) return QStringLiteral("beyond ") + address_text(kLastAddress);
    address = value;
    return {};
}

// "0x0100" or "0x0100-0x011F", blanks around the dash allowed; the reason it is bad, or empty.
QString read_item(QStringView item, AddressRange& range)
{
    if (item.isEmpty()) return QStringLiteral("an empty item");
    const qsizetype dash = item.indexOf(u'-');
    const QStringView first = (dash < 0 ? item : item.left(dash)).trimmed();
    const QStringView last = dash < 0 ? first : item.mid(dash + 1).trimmed();
    QString reason = read_address(first, range.first);
    if (reason.isEmpty()) reason = read_address(last, range.last);
    if (reason.isEmpty() && range.first > range.last)
        return QStringLiteral("a backwards range (its first address is above its last)");
    return reason;
}

// Adds the comma-separated items of `text` to `map`. On a bad item returns why and sets `bad_item`.
QString add_items(QStringView text, KeepMap& map, QString& bad_item)
{
    for (QStringView item : text.split(u',')) {
        item = item.trimmed();
        AddressRange range;
        const QString reason = read_item(item, range);
        if (!reason.isEmpty()) {
            bad_item = item.toString();
            return reason;
        }
        map.add(range);
    }
    return {};
}

void add_all(KeepMap& map, const KeepMap& more)
{
    for (const AddressRange& range : more.ranges()) map.add(range);
}

} // namespace

QString range_text(const AddressRange& range)
{
    const QString first = address_text(range.first);
    return range.first == range.last ? first : first + u'-' + address_text(range.last);
}

QString words_text(int count)
{
    return count == 1 ? QStringLiteral("1 word") : QStringLiteral("%1 words").arg(count);
}

void KeepMap::add(AddressRange range)
{
    range.first = std::max(range.first, 0);
    range.last = std::min(range.last, kLastAddress);
    if (range.first > range.last) return;
    const auto at = std::lower_bound(ranges_.begin(), ranges_.end(), range,
                                     [](const AddressRange& a, const AddressRange& b) { return a.first < b.first; });
    ranges_.insert(at, range);
    // Merge every range that overlaps or touches the one before it.
    QList<AddressRange> merged;
    for (const AddressRange& r : std::as_const(ranges_)) {
        if (!merged.isEmpty() && r.first <= merged.last().last + 1)
            merged.last().last = std::max(merged.last().last, r.last);
        else
            merged.append(r);
    }
    ranges_ = merged;
}

bool KeepMap::contains(int address) const
{
    return std::any_of(ranges_.begin(), ranges_.end(),
                       [address](const AddressRange& r) { return r.first <= address && address <= r.last; });
}

int KeepMap::count() const
{
    int total = 0;
    for (const AddressRange& range : ranges_) total += range.count();
    return total;
}

QList<int> KeepMap::addresses() const
{
    QList<int> all;
    for (const AddressRange& range : ranges_)
        for (int a = range.first; a <= range.last; ++a) all.append(a);
    return all;
}

QString KeepMap::text() const
{
    QStringList items;
    for (const AddressRange& range : ranges_) items << range_text(range);
    return items.join(u',');
}

bool parse_keep_list(const QString& list, KeepMap& map, QString* error)
{
    if (list.trimmed().isEmpty()) {
        *error = QStringLiteral("bad --keep \"%1\": no address given").arg(list);
        return false;
    }
    KeepMap parsed;
    QString item;
    const QString reason = add_items(list, parsed, item);
    if (!reason.isEmpty()) {
        *error = QStringLiteral("bad --keep item \"%1\": %2").arg(item, reason);
        return false;
    }
    add_all(map, parsed);
    return true;
}

bool load_keep_file(const QString& path, KeepMap& map, QString* error)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QByteArray bytes;
    if (!read_whole_file(absolute, bytes, error)) return false;
    if (bytes.startsWith(kUtf8Bom)) bytes.remove(0, sizeof kUtf8Bom - 1); // as some editors save text
    KeepMap parsed;
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = QString::fromUtf8(lines[i]);
        if (const qsizetype comment = line.indexOf(u'#'); comment >= 0) line.truncate(comment);
        line = line.trimmed(); // also the CR of a CR LF file
        if (line.isEmpty()) continue;
        QString item;
        const QString reason = add_items(line, parsed, item);
        if (!reason.isEmpty()) {
            *error = QStringLiteral("%1: line %2: \"%3\": %4").arg(absolute).arg(i + 1).arg(item, reason);
            return false;
        }
    }
    add_all(map, parsed);
    return true;
}

QByteArray keep_file_text(const KeepMap& map, const QStringList& notes)
{
    QStringList lines{
        QStringLiteral("# camera-station keep map: the EEPROM words each camera keeps of its own when a master file"),
        QStringLiteral("# is written into it. One address or range per line (0x0100-0x011F); # begins a comment."),
    };
    for (const QString& note : notes)
        for (const QString& part : note.split(u'\n')) lines << QStringLiteral("# ") + part;
    for (const AddressRange& range : map.ranges()) lines << range_text(range);
    return (lines.join(u'\n') + u'\n').toUtf8();
}

bool save_keep_file(const QString& path, const KeepMap& map, const QStringList& notes, QString* error)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (data_file::save_file(absolute, keep_file_text(map, notes))) return true;
    *error = QStringLiteral("%1: cannot write the keep file").arg(absolute);
    return false;
}

} // namespace station
