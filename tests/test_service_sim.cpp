// The simulated camera's service commands: presets stored, the WDR test mode and shutter number
// kept and the mode read back in the reply byte the Debug page decodes.

#include "link/frames.h"
#include "sim_camera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

using sim::Bytes;

namespace {

Bytes command(std::initializer_list<std::uint8_t> body)
{
    frames::Frame frame{};
    std::copy(body.begin(), body.end(), frame.begin() + 1);
    frames::complete_command_frame(frame, static_cast<int>(body.size()), 1);
    return Bytes(frame.begin(), frame.end());
}

class ServiceModelTest : public ::testing::Test {
protected:
    std::uint8_t reply_code(std::initializer_list<std::uint8_t> body)
    {
        last = model.answer(command(body));
        return last.size() == frames::kFrameSize ? last[1] : 0;
    }
    sim::CameraModel model;
    Bytes last;
};

TEST_F(ServiceModelTest, PresetSaveIsCountedAndOtherPresetItemsRefused)
{
    EXPECT_EQ(reply_code({0x23, 0x30, 0x01}), frames::kReplyAccepted);
    EXPECT_EQ(reply_code({0x23, 0x30, 0x01}), frames::kReplyAccepted);
    EXPECT_NE(reply_code({0x23, 0x30, 0x07}), frames::kReplyAccepted);
    EXPECT_EQ(model.service().preset_saves, 2);
}

TEST_F(ServiceModelTest, WdrTestModeIsStoredAndReadBackInByteFour)
{
    EXPECT_EQ(reply_code({0x33, 0x3A, 0x03}), frames::kReplyAccepted);
    EXPECT_EQ(last[3], 0x03);
    EXPECT_EQ(last[4], sim::ServiceState::kWdrTestAuto);

    EXPECT_EQ(reply_code({0x23, 0x3A, 0x00, 0x02}), frames::kReplyAccepted);
    EXPECT_EQ(reply_code({0x33, 0x3A, 0x03}), frames::kReplyAccepted);
    EXPECT_EQ(last[4], sim::ServiceState::kWdrTestFix);

    // Mode 0 or 3 is no mode: refused, the stored one kept.
    EXPECT_NE(reply_code({0x23, 0x3A, 0x00, 0x03}), frames::kReplyAccepted);
    EXPECT_NE(reply_code({0x23, 0x3A, 0x00, 0x00}), frames::kReplyAccepted);
    EXPECT_EQ(model.service().wdr_test_mode, sim::ServiceState::kWdrTestFix);
}

TEST_F(ServiceModelTest, ShutterNumberIsStoredWithinItsRangeAndEchoed)
{
    EXPECT_EQ(reply_code({0x23, 0x3A, 0x02, 63}), frames::kReplyAccepted);
    EXPECT_EQ(last[3], 0x02);
    EXPECT_EQ(last[4], 63);
    EXPECT_NE(reply_code({0x23, 0x3A, 0x02, 64}), frames::kReplyAccepted);
    EXPECT_EQ(model.service().wdr_shutter_no, 63);
}

} // namespace
