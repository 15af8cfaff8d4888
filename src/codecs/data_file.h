#pragma once
// The parameter data file of the Copy page, without a window: the records Camera->PC writes, the
// line reader both PC->Camera modes use, the single mode's line-to-frame conversion, the batch
// mode's record reader, and the safe replacement of a file on disk.
//
// A file is text of fixed 32-byte lines: 30 hexadecimal digits (the 15 bytes of a command frame
// body, frame bytes 1..15, high nibble first), CR, LF. Camera->PC writes 1023 EEPROM write
// records (0x23 0x0C address word) for addresses 0..1022 and one reset record (0xF3).

#include "link/frames.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

namespace data_file {

constexpr int kWords = 1024;          // EEPROM words, addresses 0..1023
constexpr int kRecordsWritten = 1023; // the word at 1023 is read but not written
constexpr int kLineBytes = 32;
constexpr int kLineDigits = 30;
constexpr qint64 kFileBytes = qint64{kLineBytes} * (kRecordsWritten + 1);
constexpr std::uint8_t kParameterRecord = 0x23;
constexpr std::uint8_t kParameterSubCode = 0x0C;
constexpr char kEndOfFileMark = 0x1A;

// The filter of the file dialogs that choose a data file.
QString dialog_filter();

// One parameter record: 230C, the address and the word as upper-case digits, zeros, CR LF.
QByteArray parameter_record(int address, int word);
// The end record: the camera reset F3, zeros, CR LF.
QByteArray end_record();
// The whole file Camera->PC writes from image entries 0..1022 (each a 16-bit word).
QByteArray camera_file(const frames::ParamImage& image);

// Writes bytes to an open device; true when every byte went out. The default writes them all.
using Writer = std::function<bool(QIODevice& device, const QByteArray& bytes)>;
bool write_all(QIODevice& device, const QByteArray& bytes);

// Replaces the file at `path` with `bytes` through a temporary file in the same folder, renamed
// over the target only once every byte is written and flushed: on any failure the old file is
// left as it was and no temporary file remains. In a folder that allows no new file, a file that
// may be written is written in place instead; a failure there leaves it incomplete.
bool save_file(const QString& path, const QByteArray& bytes, const Writer& writer = write_all);

// One line of a file: the bytes up to the next LF (not included; a CR stays in the line). Only
// the first kKeptChars bytes are kept, however long the line is. A line that holds nothing, or
// only a CR (the blank line of a CR LF file), is empty.
struct Line {
    static constexpr int kKeptChars = 64;
    QByteArray head;          // the line's first bytes (at most kKeptChars)
    qint64 length = 0;        // the line's whole length
    bool terminated = false;  // false: the file ended before an LF
};

enum class ReadStatus { Line, End, Error };

// Reads the next line of `device`, which holds `size` bytes of which `pos` are consumed; `pos`
// advances past the line and its LF. Never reads past `size`; a device that ends or fails before
// `size` is an Error.
ReadStatus read_line(QIODevice& device, qint64& pos, qint64 size, Line& line);

// What a line gives single mode.
enum class LineFrame {
    Converted, // its leading digits are in the frame: a command to send
    Empty,     // nothing, or a lone CR: the lines to send end here, as at the file's end
    NoDigit,   // its first character is not a hexadecimal digit: nothing to send, a broken file
};

// Single mode: converts the line's characters pairwise into frame bytes 1..15, the first digit
// of a pair setting the byte to its value times 16 and the second ORed in as the low nibble.
// Conversion stops at the first character that is not a hexadecimal digit, at the end of the
// line or after byte 15; the bytes beyond keep their contents. A line that the file ended
// without an LF loses its last character first. A line that converts no digit (Empty, NoDigit)
// leaves the whole frame as it was.
LineFrame frame_from_line(const Line& line, frames::Frame& frame);

// Batch mode: reads every remaining line's parameter record into `image` (entry 2a the low
// byte, 2a+1 the high byte of the word at address a). Lines not starting with 23 are skipped,
// and so are records whose address or word digits are not hexadecimal or whose address lies
// beyond 1023; a line starting with the byte 0x1A ends the reading; a last line without an LF
// is ignored. A 23 line shorter than 12 characters, an empty line after a non-empty one and a
// failing device are read failures (false); `image` may then hold part of the file.
bool read_records(QIODevice& device, qint64& pos, qint64 size, frames::ParamImage& image);

} // namespace data_file
