#pragma once
// The keep map: the EEPROM words each camera keeps of its own (calibration, trims, identity) when
// a master file is cloned into it. Given on the command line (--keep 0x0100-0x011F,0x03F0) or in a
// keep file (one address or range per line, # comments), held as sorted ranges with overlapping and
// adjacent ones merged, and written back as the same text.
//
// An address is hexadecimal after 0x (or 0X), digits of either case, 0x0000..0x03FF; a range is
// FIRST-LAST with both ends included. Blanks around an item, its dash and its commas are ignored.
// The 0x is required: "0100" could as well be meant as a decimal number.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace station {

// Addresses first..last, both included.
struct AddressRange {
    int first = 0;
    int last = 0;
    int count() const { return last - first + 1; }
    bool operator==(const AddressRange&) const = default;
};

// "0x0100-0x011F", or "0x03F0" for a range of one address.
QString range_text(const AddressRange& range);

// "1 word", "32 words".
QString words_text(int count);

class KeepMap {
public:
    // Adds the addresses of `range` (0x0000..0x03FF, first <= last; anything outside is left out).
    void add(AddressRange range);

    bool contains(int address) const;
    bool empty() const { return ranges_.isEmpty(); }
    // How many addresses are kept.
    int count() const;
    // Every kept address, ascending.
    QList<int> addresses() const;
    // Sorted, neither overlapping nor adjacent.
    const QList<AddressRange>& ranges() const { return ranges_; }
    // "0x0100-0x011F,0x03F0", the form the records and the output show; empty for an empty map.
    // A map that is not empty parses back from it to the same map.
    QString text() const;

    bool operator==(const KeepMap&) const = default;

private:
    QList<AddressRange> ranges_;
};

// Parses the value of --keep: items separated by commas. On a bad item `error` is one line naming
// the option and the item (bad --keep item "0x0400": beyond 0x03FF) and `map` is left unchanged.
bool parse_keep_list(const QString& list, KeepMap& map, QString* error);

// Reads a keep file: one address or range per line (or several, separated by commas), # starting a
// comment, blank lines allowed. On failure `error` is one line naming the file and the line.
bool load_keep_file(const QString& path, KeepMap& map, QString* error);

// The text of a keep file: a comment header saying what it is, `notes` as further comment lines,
// then one address or range per line.
QByteArray keep_file_text(const KeepMap& map, const QStringList& notes = {});

// Writes the keep file at `path`; a failed write leaves an existing file as it was and `error`
// holds one line naming the file.
bool save_keep_file(const QString& path, const KeepMap& map, const QStringList& notes, QString* error);

} // namespace station
