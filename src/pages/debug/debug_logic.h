#pragma once
// The Debug page's window-free pieces: bit-field stepping, the raw command parser, and the text of
// the dump, the area samples and the AGC log.

#include "link/frames.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <cstdint>

namespace debug {

constexpr int kEepromWords = 1024;
constexpr int kRamFirst = 0xE000;
constexpr int kRamLast = 0xEFFF;
constexpr int kAreaSamples = 48;
constexpr int kSamplesPerLine = 8;
constexpr int kDumpBytesPerLine = 16;

// The 228 items of the register list; item i names register i.
const QStringList& dsp_register_names();

// The register address an item of the list names: its first two characters in hexadecimal; -1
// when they are not.
int register_of_item(const QString& item);

// The lowest set bit of the 16-bit mask (1, 2, 4, ..., 0x8000); 0 for a zero mask.
int lowest_set_bit(int mask);

// Counts the bit field selected by `mask` up (direction +1) or down (-1) by one, wrapping within
// the field and keeping the other bits; all in 16 bits. A zero mask leaves the value as it is.
int step_masked_field(int data, int mask, int direction);

// An address stepped by one; 1023 up wraps to 0 and 0 down to 1023.
int step_eeprom_address(int address, int direction);

// Command bytes 1..15 (index 0 unused) from hexadecimal text: digit pairs make bytes, a single
// digit before a separator makes a byte of its own, other characters are ignored, and digits past
// byte 15 are dropped.
std::array<std::uint8_t, frames::kMaxCommandLength + 1> raw_command_bytes(const QString& text);

// One line of the AGC log from a 0x45 0x0B reply.
QString agc_log_line(const frames::Frame& reply);

// The dump of the first `count` bytes, 16 to a line, each "XX "; a last line past the count shows
// whatever the buffer holds there. `size` bounds every read of `bytes`.
QStringList ram_dump_lines(const std::uint8_t* bytes, std::size_t size, int count);

// The address column: one line per full 16 bytes of the count, from base on.
QStringList ram_address_lines(int base, int count);

// The 48 area samples as 6 lines of 8 words, each "XXXX ".
QStringList area_sample_lines(const std::array<std::int32_t, kAreaSamples>& samples);

// The pause between AGC log lines: the decimal text's low 16 bits in milliseconds, at least 1;
// a text that is not a decimal number gives 1.
int repeat_interval_ms(const QString& text);

} // namespace debug
