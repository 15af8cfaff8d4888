#pragma once
// Splits the bytes the tool sends into complete units: 18-byte command frames and 2053-byte
// parameter blocks. Bytes may arrive in any pieces; anything that cannot be part of a well-formed
// unit is dropped one byte at a time until a unit lines up again.

#include "bytes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sim {

using Unit = Bytes;

// STX at 0, ETX at 16 and all 18 bytes summing to 0.
bool is_good_frame(std::span<const std::uint8_t> bytes);
// SOH 0x74 at 0..1, ETX at 2050, checksum of the 2048 data bytes at 2051 and 0 at 2052.
bool is_good_block(std::span<const std::uint8_t> bytes);

class FrameReader {
public:
    // Adds received bytes; returns the units completed by them, in order.
    std::vector<Unit> feed(std::span<const std::uint8_t> bytes);

    // A unit that stays incomplete (no more bytes come) is given up: its first byte is dropped and
    // the rest scanned again, so a frame hidden behind a stray SOH or STX is still found.
    std::vector<Unit> give_up_partial();

    bool has_partial() const { return !pending_.empty(); }
    // Bytes dropped since the last call.
    std::size_t take_dropped_count();

private:
    // Takes every complete unit from pending_, scanning from `start` (bytes before it are dropped).
    std::vector<Unit> extract(std::size_t start = 0);
    // Length of the unit that `rest` starts with, or 0 when its first byte starts none.
    static std::size_t candidate_size(std::span<const std::uint8_t> rest);

    std::vector<std::uint8_t> pending_;
    std::size_t dropped_ = 0;
};

} // namespace sim
