#pragma once
// Hexadecimal text helpers used wherever register addresses, values and frames are kept as text.

#include <QString>
#include <cstddef>
#include <cstdint>

// Low 8 bits of v as two upper-case hexadecimal digits.
QString hex_byte_text(int v);
// Low 16 bits of v as four upper-case hexadecimal digits.
QString hex_word_text(int v);
// 0..15 for 0-9, A-F, a-f; -1 for any other character.
int hex_digit_value(QChar c);
// Two digits to 0..255; -1 when either is not a hexadecimal digit.
int hex_pair_value(QChar high, QChar low);
// A whole hexadecimal text of either case: 0 when empty, -1 as soon as a character is not a digit.
int hex_text_value(const QString& text);

// Bytes as text, two upper-case digits each, no separators (the status-bar frame trace).
QString hex_trace(const std::uint8_t* bytes, std::size_t count);
