// The hidden chroma and hue trims of the Lens Adjust page: the register words they compute, the
// bytes on the wire, the parameter image they update, and their timers' retry and write-back.

#include "service_test_support.h"

#include "pages/lens/service_trim_values.h"
#include "setup_test_support.h"

#include <QLineEdit>
#include <QSlider>
#include <QTimer>

using service::chroma_register_value;
using service::hue_register_value;
using service_test::times_received;
using service_test::wait_for_frame;

namespace {

TEST(TrimValues, HueKeepsBits9To15AndPutsSignAndMagnitudeBelow)
{
    EXPECT_EQ(hue_register_value(0x0400, -10), 0x050A);
    EXPECT_EQ(hue_register_value(0x0400, 10), 0x040A);
    EXPECT_EQ(hue_register_value(0x0400, 0), 0x0400);
    // The old sign and magnitude never leak into the new word.
    EXPECT_EQ(hue_register_value(0x01FF, 5), 0x0005);
    EXPECT_EQ(hue_register_value(0x00FF, -1), 0x0101);
    // The extremes of the track bar, and an entry with bits above 16 (a signed 32-bit image entry).
    EXPECT_EQ(hue_register_value(0xFE00, 255), 0xFEFF);
    EXPECT_EQ(hue_register_value(0xFE00, -255), 0xFFFF);
    EXPECT_EQ(hue_register_value(-1, 1), 0xFE01);
}

TEST(TrimValues, ChromaPutsBYHighAndRYLow)
{
    EXPECT_EQ(chroma_register_value(0x80, 0x40), 0x8040);
    EXPECT_EQ(chroma_register_value(0, 255), 0x00FF);
    EXPECT_EQ(chroma_register_value(255, 0), 0xFF00);
}

class TrimTest : public WindowTest {
protected:
    TFKR58* open_lens()
    {
        TFKR58* w = open_window(TFKR58::Delay);
        EXPECT_TRUE(wait_idle());
        camera.clear_received();
        return w;
    }

    std::uint16_t camera_register(std::uint8_t reg)
    {
        return camera.with_model([reg](sim::CameraModel& m) { return m.register_value(reg); });
    }
};

TEST_F(TrimTest, HueTrimWritesTheRegisterWordAndKeepsTheImageInStep)
{
    TFKR58* w = open_lens();
    (*w->param_image)[0x2C] = 0x0400;
    w->RYP->setValue(-10);
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x0B, 0x2C, 0x05, 0x0A}));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->RYP_DATA->text(), QStringLiteral("-10"));
    EXPECT_EQ((*w->param_image)[0x2C], 0x050A);
    EXPECT_EQ(camera_register(0x2C), 0x050A);

    w->RYP->setValue(10);
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x0B, 0x2C, 0x04, 0x0A}));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->RYP_DATA->text(), QStringLiteral("10"));

    // Each twin writes its own register and edit.
    struct Twin {
        QSlider* slider;
        QLineEdit* sent;
        std::uint8_t reg;
    };
    for (const Twin& t : {Twin{w->BYP, w->BYP_DATA, 0x2D}, Twin{w->RYN, w->RYN_DATA, 0x2E}, Twin{w->BYN, w->BYN_DATA, 0x2F}}) {
        (*w->param_image)[t.reg] = 0;
        t.slider->setValue(-3);
        ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x0B, t.reg, 0x01, 0x03})) << int(t.reg);
        ASSERT_TRUE(wait_idle());
        EXPECT_EQ(t.sent->text(), QStringLiteral("-3"));
        EXPECT_EQ(camera_register(t.reg), 0x0103);
    }
}

TEST_F(TrimTest, ABurstOfChromaMovesSendsBothGainsOnce)
{
    TFKR58* w = open_lens();
    w->CromaBY->setValue(0x10);
    w->CromaRY->setValue(0x20);
    w->CromaBY->setValue(0x80);
    w->CromaRY->setValue(0x40);
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x0B, 0x2B, 0x80, 0x40}));
    ASSERT_TRUE(wait_idle());
    EXPECT_FALSE(w->Timercrm->isActive());
    EXPECT_EQ(camera.received(), std::vector<Bytes>{expected_frame({0x23, 0x0B, 0x2B, 0x80, 0x40})});
    EXPECT_EQ(w->RY_Gain->text(), QStringLiteral("64"));
    EXPECT_EQ(w->BY_Gain->text(), QStringLiteral("128"));
    EXPECT_EQ((*w->param_image)[0x2B], 0x8040);
    EXPECT_EQ(camera_register(0x2B), 0x8040);
}

TEST_F(TrimTest, TrimsRetryWhileBusyAndWriteARegisterReplyBackOnceTheLinkIsFree)
{
    TFKR58* w = open_lens();
    ASSERT_TRUE(reload_unanswered());
    (*w->param_image)[0x2C] = 0;
    w->RYP->setValue(7);
    w->TimerRYPTimer(); // busy: nothing sent, the timer keeps running
    EXPECT_TRUE(w->TimerRYP->isActive());
    tick_send_timer(TFKR58::kFrameReplyTicks + 1); // the ticks of the wait, then the one that abandons
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x0B, 0x2C, 0x00, 0x07}));
    ASSERT_TRUE(wait_idle());
    EXPECT_FALSE(w->TimerRYP->isActive());

    // A register read reply moves BYP while the decoders run; the move goes back to the camera
    // with the same word once the link is free.
    camera.clear_received();
    setup_test::feed_reply(*w, {0xA0, 0x0A, 0x2D, 0x07, 0x08});
    EXPECT_EQ(w->BYP->value(), -8);
    ASSERT_TRUE(w->TimerBYP->isActive());
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x0B, 0x2D, 0x07, 0x08}));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(times_received(camera, {0x23, 0x0B, 0x2D, 0x07, 0x08}), 1);
}

} // namespace
