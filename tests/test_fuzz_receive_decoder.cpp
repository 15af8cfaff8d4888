// The receive decoder on 100000 seeded streams: random bytes, damaged camera replies and good
// replies behind garbage. The properties are those of fuzz/check_receive_decoder.h.

#include "../fuzz/check_receive_decoder.h"
#include "../fuzz/random_cases.h"

namespace {

using namespace fuzz;

const Bytes kSpecials{frames::SOH, frames::STX, frames::ETX, frames::ACK, frames::NAK, 0x00, 0xFF};

Bytes camera_stream(Random& random, int case_number)
{
    const std::uint8_t control = any_byte(random);
    switch (case_number % 3) {
    case 0: return with_control(control, random_bytes(random, 200, pick(random, 2) ? kSpecials : Bytes{}));
    case 1: return with_control(control, mutated(camera_replies(random, 1 + pick(random, 8)), random, kSpecials));
    default: {
        Bytes stream = random_bytes(random, 40, kSpecials);
        append(stream, camera_replies(random, 1 + pick(random, 4)));
        return with_control(control, stream);
    }
    }
}

TEST(FuzzReceiveDecoder, DecodesOnlyGoodFramesNeverMissesOneBegunAtIdleAndRecovers)
{
    run_cases("receive_decoder", 100000, 0x5EC0DE00, camera_stream, check_receive_decoder);
}

} // namespace
