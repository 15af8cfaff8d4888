#pragma once
// A data file as the station uses it: its bytes (for the replay and the SHA-256), the words it
// names, and the comparison of two sets of words.

#include "codecs/data_file.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

namespace station {

constexpr int kNotNamed = -1;
// One entry per EEPROM address: the 16-bit word, or kNotNamed.
using WordMap = std::array<int, data_file::kWords>;

struct MasterFile {
    QString path;     // absolute
    QByteArray bytes;
    QString sha256;   // lower-case hex
    WordMap words{};  // as the batch mode reads them
    int named = 0;    // addresses the file names
};

// Reads the whole file at `path` (absolute). On failure `error` is one line naming the file.
bool read_whole_file(const QString& path, QByteArray& bytes, QString* error);

// Reads and checks a data file. On failure `error` is one line naming the file (and the line).
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
