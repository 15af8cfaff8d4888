// The simulator's frame reader on 100000 seeded streams of what the tool sends: random bytes,
// damaged frames and parameter blocks, and good ones behind garbage, split into pieces of every
// size. The properties are those of fuzz/check_frame_reader.h.

#include "../fuzz/check_frame_reader.h"
#include "../fuzz/random_cases.h"

namespace {

using namespace fuzz;

const Bytes kSpecials{frames::STX, frames::SOH, frames::kSohBlockCode, frames::ETX, 0x00};

// A parameter block in one unit of 20: enough to reach the block's checks without making every
// stream 2 KB long.
constexpr int kBlockEvery = 20;

Bytes tool_side(Random& random, int case_number)
{
    const std::uint8_t control = any_byte(random);
    switch (case_number % 3) {
    case 0: return with_control(control, random_bytes(random, 300, pick(random, 2) ? kSpecials : Bytes{}));
    case 1: return with_control(control, mutated(tool_stream(random, 1 + pick(random, 6), kBlockEvery), random, kSpecials));
    default: {
        Bytes stream = random_bytes(random, 40, kSpecials);
        append(stream, tool_stream(random, 1 + pick(random, 3), kBlockEvery));
        return with_control(control, stream);
    }
    }
}

TEST(FuzzFrameReader, YieldsTheLeftmostCompleteUnitsHoweverTheBytesArrive)
{
    run_cases("frame_reader", 100000, 0xF4A3E000, tool_side, check_frame_reader);
}

} // namespace
