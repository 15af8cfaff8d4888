#pragma once
// A master data file as the station uses it: its bytes (for the SHA-256), its EEPROM word records
// as one strict reading gives them (what single mode sends, the block carries and the read-back
// compares), and the comparison of two sets of words.

#include "codecs/data_file.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

namespace station {

constexpr int kNotNamed = -1;
// One entry per EEPROM address: the 16-bit word, or kNotNamed.
using WordMap = std::array<int, data_file::kWords>;

// One EEPROM word record of a master (0x23 0x0C address word).
struct WordRecord {
    int line = 0; // its line in the file, from 1
    int address = 0;
    int word = 0;
};

struct MasterFile {
    QString path;     // absolute
    QByteArray bytes;
    QString sha256;   // lower-case hex
    QList<WordRecord> records; // in file order, up to the reset line
    int reset_line = 0;        // the line of the reset (F3); 0 when the file has none
    int lines_after_reset = 0; // lines after the reset line: neither written nor verified
    WordMap words{};  // the records' words by address
    int named = 0;    // addresses the file names
};

// The SHA-256 of `bytes` in lower-case hex, as the records keep a file's.
QString sha256_text(const QByteArray& bytes);

// Reads the whole file at `path` (absolute). On failure `error` is one line naming the file.
bool read_whole_file(const QString& path, QByteArray& bytes, QString* error);

// Reads a master strictly: every line up to the reset line must be an EEPROM word record of 30
// hexadecimal digits (23 0C address word) for an address 0..0x03FF, named once or always with
// the same word; a line starting with the byte 0x1A ends the file. Anything else is refused. On
// failure `error` is one line naming the file and the line.
bool load_master_file(const QString& path, MasterFile& file, QString* error);

// The parameter block image: each named word from `words`, the others from `camera`.
frames::ParamImage block_image(const WordMap& words, const WordMap& camera);

// Addresses that `expected` names whose word differs in (or is missing from) `actual`.
QList<int> differing_addresses(const WordMap& expected, const WordMap& actual);

// "0x0012 (file 1234, camera 1230)": one address with both words ("none" where not named).
QString difference_entry(int address, const WordMap& expected, const WordMap& actual, const QString& expected_name,
                         const QString& actual_name);

// "3 words differ: 0x0012 (file 1234, camera 1230), ..." with the first ten.
QString difference_text(const QList<int>& differing, const WordMap& expected, const WordMap& actual,
                        const QString& expected_name = QStringLiteral("file"),
                        const QString& actual_name = QStringLiteral("camera"));

// "0x0155": an address as the station prints it.
QString address_text(int address);

} // namespace station
