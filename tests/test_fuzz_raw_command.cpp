// The Debug page's raw command parser on 100000 seeded texts: random bytes read as Latin-1,
// UTF-8 or UTF-16, and damaged command texts. The property is that of fuzz/check_raw_command.h.

#include "../fuzz/check_raw_command.h"
#include "../fuzz/random_cases.h"

namespace {

using namespace fuzz;

const Bytes kSpecials{'0', '7', '9', 'a', 'f', 'A', 'F', 'g', 'G', ' ', ',', '\t', 0xC3, 0xBF, 0x00};

// Control byte 2 reads the payload as UTF-16.
Bytes as_utf16(const Bytes& latin)
{
    Bytes units{2};
    for (std::uint8_t c : latin) {
        units.push_back(c);
        units.push_back(0);
    }
    return units;
}

Bytes command_text(Random& random, int case_number)
{
    const std::uint8_t control = any_byte(random);
    switch (case_number % 4) {
    case 0: return with_control(control, random_bytes(random, 80, pick(random, 2) ? kSpecials : Bytes{}));
    case 1: return with_control(control, mutated(raw_command_text(random), random, kSpecials));
    case 2: return with_control(0, raw_command_text(random));
    default: return as_utf16(mutated(raw_command_text(random), random, kSpecials));
    }
}

TEST(FuzzRawCommand, BytesAreTheTextsDigitRunsTakenInPairs)
{
    run_cases("raw_command", 100000, 0x4A3C0000, command_text, check_raw_command);
}

} // namespace
