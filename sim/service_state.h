#pragma once
// The simulated camera's state behind the menu keys and service commands: presets and the WDR test.

#include <cstdint>

namespace sim {

struct ServiceState {
    // The camera's WDR test modes as they travel on the line.
    static constexpr std::uint8_t kWdrTestAuto = 1;
    static constexpr std::uint8_t kWdrTestFix = 2;

    int preset_saves = 0;                     // accepted 0x23 0x30 0x01 commands
    std::uint8_t wdr_test_mode = kWdrTestAuto; // 0x23 0x3A 0x00 m
    std::uint8_t wdr_shutter_no = 0;          // 0x23 0x3A 0x02 n
};

} // namespace sim
