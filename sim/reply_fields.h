#pragma once
// Reading and filling the fields of command and reply frames, shared by every command handler.

#include "link/frames.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace sim {

// Writes echo the whole command body so that the tool finds what it wrote in the reply.
inline void echo_command_data(const frames::Frame& command, frames::Frame& reply)
{
    std::copy(command.begin() + 2, command.begin() + frames::kIdOffset, reply.begin() + 2);
}

// A 16-bit value, most significant byte first, at `offset`.
inline void put_word(frames::Frame& reply, std::size_t offset, std::uint16_t value)
{
    reply[offset] = static_cast<std::uint8_t>(value >> 8);
    reply[offset + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

inline std::uint16_t word_at(const frames::Frame& frame, std::size_t offset)
{
    return static_cast<std::uint16_t>(frame[offset] << 8 | frame[offset + 1]);
}

} // namespace sim
