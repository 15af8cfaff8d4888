#pragma once
// The register words that the hidden chroma and hue trims write.

#include <cstdint>

namespace service {

constexpr std::uint8_t kChromaRegister = 0x2B;
constexpr std::uint8_t kHueRegisterRYP = 0x2C;
constexpr std::uint8_t kHueRegisterBYP = 0x2D;
constexpr std::uint8_t kHueRegisterRYN = 0x2E;
constexpr std::uint8_t kHueRegisterBYN = 0x2F;

// Register 0x2B: the B-Y gain in the high byte, the R-Y gain in the low byte.
constexpr std::uint16_t chroma_register_value(int by_gain, int ry_gain)
{
    return static_cast<std::uint16_t>(((by_gain & 0xFF) << 8) | (ry_gain & 0xFF));
}

// A hue register 0x2C..0x2F: bit 8 the sign and bits 0..7 the magnitude of the trim; bits 9..15
// keep what the register last held (`entry`, the parameter-image copy of it).
constexpr std::uint16_t hue_register_value(std::int32_t entry, int position)
{
    const int sign_magnitude = position < 0 ? (0x100 | (-position & 0xFF)) : (position & 0xFF);
    return static_cast<std::uint16_t>((entry & 0xFE00) | sign_magnitude);
}

} // namespace service
