#pragma once
// The camera's area masks: 48 cells of a 6 x 8 grid in six bytes. Cell n (1..48) lies in row
// (n - 1) / 8 and column (n - 1) % 8; its bit is bit (n - 1) % 8 of byte (n - 1) / 8, so byte 0 is
// the top row with its leftmost cell in bit 0.

#include <array>
#include <cstdint>

namespace areas {

constexpr int kCells = 48;
constexpr int kMaskBytes = 6;
constexpr int kColumns = 8;

using Cells = std::array<bool, kCells>; // index n - 1 for cell n
using Mask = std::array<std::uint8_t, kMaskBytes>;

Mask pack(const Cells& cells);
Cells unpack(const Mask& mask);

} // namespace areas
