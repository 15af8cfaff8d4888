// The simulator's side of the Copy page: seeded memory for a second camera, and a parameter
// block that is stored only when it arrives intact.

#include "camera_model.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::uint16_t> memory(const sim::CameraModel& m)
{
    std::vector<std::uint16_t> words;
    for (std::size_t a = 0; a < sim::kParamWords; ++a) words.push_back(m.eeprom_word(a));
    return words;
}

TEST(CopySim, EachSeedGivesOtherMemoryAndSeedZeroTheBuiltInImage)
{
    const sim::CameraModel built_in;
    sim::CameraModel seeded;
    seeded.set_seed(0);
    EXPECT_EQ(memory(seeded), memory(built_in));

    seeded.set_seed(7);
    const std::vector<std::uint16_t> seven = memory(seeded);
    seeded.set_seed(8);
    const std::vector<std::uint16_t> eight = memory(seeded);
    int differing = 0;
    for (std::size_t a = 0; a < sim::kParamWords; ++a) differing += seven[a] != eight[a];
    EXPECT_GT(differing, 900);
    EXPECT_EQ(seeded.seed(), 8u);
    // The words the tool decodes keep their meaning in every camera.
    EXPECT_EQ(seeded.is_hi_resolution(), built_in.is_hi_resolution());
    EXPECT_EQ(seeded.is_pal(), built_in.is_pal());
}

TEST(CopySim, ABlockIsStoredOnlyWhenItsCodeEtxAndChecksumAreRight)
{
    frames::ParamImage image;
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::int32_t>(i * 3);
    frames::SohBlock good{};
    frames::build_soh_block(image, good);

    sim::CameraModel model;
    const std::vector<std::uint16_t> before = memory(model);
    for (std::size_t at : {std::size_t{1}, std::size_t{2050}, std::size_t{2051}, std::size_t{100}}) {
        frames::SohBlock bad = good;
        bad[at] ^= 0x01; // the code, the ETX, the checksum, a data byte
        const sim::Bytes reply = model.answer(bad);
        ASSERT_EQ(reply.size(), 5u);
        EXPECT_EQ(reply[1], sim::kReplyRefused) << "byte " << at;
        EXPECT_EQ(memory(model), before) << "byte " << at;
    }
    EXPECT_EQ(model.answer(good)[1], frames::kReplyAccepted);
    EXPECT_EQ(model.eeprom_word(0x10), (0x20 * 3 & 0xFF) | (0x21 * 3 & 0xFF) << 8);
}

} // namespace
