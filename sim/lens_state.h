#pragma once
// The simulated camera's DC lens and sensor timing delays.
//
// The lens level follows the DC-lens offset: level = gain * (target - offset) + bias plus a little
// seeded noise, clamped to a signed byte, with a lag of one reading (each reading shows the offset
// as it was at the reading before). Raising the offset lowers the level, so the tool's procedure,
// which raises the offset on a positive level, converges on `target`. A bias of half the gain puts
// the zero between two offsets: the level then swings past zero at every step, the procedure
// oscillates and widens its dead band until the swing fits inside it.

#include <cstdint>
#include <random>

namespace sim {

class LensState {
public:
    static constexpr std::uint8_t kFactoryOffset = 0x78;
    static constexpr int kFactoryTarget = 0x80;

    std::uint8_t offset() const { return offset_; }
    void set_offset(std::uint8_t offset) { offset_ = offset; }

    // The next level reading, as a signed byte.
    std::int8_t read_level();

    // How the level answers the offset.
    int target = kFactoryTarget;
    int gain = 2;
    int bias = 0;
    int noise = 1;              // the noise is uniform in -noise..+noise
    std::uint32_t noise_seed = 1;

    // The four timing delays as one word: RG width, SHD, SHP and RG delay, one digit each from
    // the most significant.
    std::uint16_t delays = 0x0000;

    int level_reads = 0;
    int offset_writes = 0;
    int auto_starts = 0;

private:
    std::uint8_t offset_ = kFactoryOffset;
    std::uint8_t seen_offset_ = kFactoryOffset; // what the lens shows at the next reading
    std::mt19937 noise_rng_;
    std::uint32_t rng_seed_ = 0;
};

} // namespace sim
