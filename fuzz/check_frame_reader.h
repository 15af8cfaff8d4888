#pragma once
// The simulator's frame reader fed the tool's side of the line.
//
// Properties: every unit is complete and well-formed (an 18-byte command frame or a 2053-byte
// parameter block, checked here byte by byte); the units are exactly the leftmost well-formed
// units that do not overlap, whatever pieces the bytes arrive in; once the partial unit is given
// up (the line went quiet) nothing is left pending and every byte was either yielded in a unit or
// counted as dropped.

#include "frame_reader.h"
#include "fuzz_check.h"
#include "link/frames.h"

#include <algorithm>
#include <vector>

namespace fuzz {
namespace reader_check {

using Units = std::vector<sim::Unit>;

inline unsigned sum_of(const std::uint8_t* bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return sum & 0xFFu;
}

inline bool frame_at(const std::uint8_t* bytes, std::size_t size, std::size_t at)
{
    return size - at >= 18 && bytes[at] == 0x02 && bytes[at + 16] == 0x03 && sum_of(bytes + at, 18) == 0;
}

inline bool block_at(const std::uint8_t* bytes, std::size_t size, std::size_t at)
{
    if (size - at < 2053 || bytes[at] != 0x01 || bytes[at + 1] != 0x74 || bytes[at + 2050] != 0x03) return false;
    return ((sum_of(bytes + at + 2, 2048) + bytes[at + 2051]) & 0xFFu) == 0 && bytes[at + 2052] == 0;
}

inline bool well_formed(const sim::Unit& unit)
{
    return (unit.size() == 18 && frame_at(unit.data(), 18, 0)) || (unit.size() == 2053 && block_at(unit.data(), 2053, 0));
}

// The leftmost well-formed units, each searched for after the end of the one before.
inline Units expected_units(const std::uint8_t* bytes, std::size_t size)
{
    Units units;
    for (std::size_t at = 0; at < size;) {
        const std::size_t n = frame_at(bytes, size, at) ? 18 : block_at(bytes, size, at) ? 2053 : 0;
        if (n == 0) {
            ++at;
            continue;
        }
        units.emplace_back(bytes + at, bytes + at + n);
        at += n;
    }
    return units;
}

inline void append(Units& to, Units&& from)
{
    for (sim::Unit& unit : from) to.push_back(std::move(unit));
}

// Piece sizes for the control byte: one byte at a time, small, medium or large pieces.
inline std::size_t next_piece(std::uint32_t& state, std::uint8_t control)
{
    static constexpr std::size_t kRanges[4] = {1, 7, 97, 4099};
    state = state * 1664525u + 1013904223u;
    return 1 + (state >> 8) % kRanges[control & 3];
}

} // namespace reader_check

inline Violation check_frame_reader(const std::uint8_t* data, std::size_t size)
{
    using namespace reader_check;
    const Input in = split_control(data, size);

    sim::FrameReader pieces;
    Units from_pieces;
    std::uint32_t state = in.control;
    for (std::size_t at = 0; at < in.size;) {
        const std::size_t n = std::min(next_piece(state, in.control), in.size - at);
        append(from_pieces, pieces.feed({in.bytes + at, n}));
        at += n;
    }
    sim::FrameReader whole;
    const Units from_whole = whole.feed({in.bytes, in.size});
    FUZZ_EXPECT(from_pieces == from_whole, "units depend on the pieces the bytes came in");
    for (std::size_t i = 0; i < from_pieces.size(); ++i)
        FUZZ_EXPECT(well_formed(from_pieces[i]), "unit " + std::to_string(i) + " is not a complete unit");

    const Units expected = expected_units(in.bytes, in.size);
    FUZZ_EXPECT(from_pieces.size() <= expected.size() && std::equal(from_pieces.begin(), from_pieces.end(), expected.begin()),
                "units before giving up are not the leftmost well-formed ones");

    // Each give-up drops at least one byte, so this many calls must empty the reader.
    for (std::size_t calls = 0; pieces.has_partial(); ++calls) {
        FUZZ_EXPECT(calls <= in.size, "giving up the partial unit never ends");
        append(from_pieces, pieces.give_up_partial());
    }
    FUZZ_EXPECT(from_pieces == expected, "units after giving up are not the leftmost well-formed ones");
    std::size_t accounted = pieces.take_dropped_count();
    for (const sim::Unit& unit : from_pieces) accounted += unit.size();
    FUZZ_EXPECT(accounted == in.size, "bytes yielded plus dropped " + std::to_string(accounted) + " of " +
                                          std::to_string(in.size));
    return {};
}

} // namespace fuzz
