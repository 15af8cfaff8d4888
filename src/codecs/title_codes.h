#pragma once
// The camera's on-screen character codes for the title, and the packing of the title into its
// four blocks of five characters.

#include <QString>

#include <array>
#include <cstdint>

// Camera code of each 8-bit character code; -1 (0xFFFF) where the camera cannot show it.
const std::array<std::int16_t, 256>& osd_char_table();

constexpr int kTitleBlocks = 4;
constexpr int kTitleBlockChars = 5;
constexpr int kTitleLength = kTitleBlocks * kTitleBlockChars;
constexpr std::uint16_t kSpaceCode = 0x00FD;

// The camera code for one title character; characters it cannot show become the space code.
std::uint16_t title_char_code(QChar c);
// The five camera codes of block b (0..3) of a title: characters 5b+1..5b+5, spaces past its end.
std::array<std::uint16_t, kTitleBlockChars> title_block_codes(const QString& title, int block);
// The character a camera code stands for: the first character with that code. A code the table
// does not hold (or the "cannot show" code) reads as a space.
QChar title_code_char(std::uint16_t code);
