#pragma once
// The simulated camera's state behind the Debug page's commands.

#include <array>
#include <cstddef>
#include <cstdint>

namespace sim {

struct DebugState {
    static constexpr std::uint16_t kRamFirst = 0xE000;
    static constexpr std::size_t kRamSize = 0x1000;
    static constexpr std::size_t kAreas = 48;
    // The RAM byte that counts the dump reads, so that a repeated dump visibly changes.
    static constexpr std::uint16_t kRamCounter = 0xE800;

    DebugState()
    {
        for (std::size_t i = 0; i < kRamSize; ++i)
            ram[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8)) & 0xFF);
    }

    static bool in_ram(std::size_t address) { return address >= kRamFirst && address < kRamFirst + kRamSize; }
    std::uint8_t& ram_at(std::size_t address) { return ram[address - kRamFirst]; }

    std::array<std::uint8_t, kRamSize> ram{};
    // The last OSD test value and whether it was the 16-bit one.
    std::uint16_t osd_test = 0;
    bool osd_test_16bit = false;
    // Advances with every live read-out answered, so that the values drift as on a live picture.
    std::uint32_t moment = 0;
};

} // namespace sim
