// The mask window against the simulator: opening it for a switched-on mask, the rectangle read
// and drawn on activation, a drag with the mouse written in camera units inside the limits, and
// "Exit".

#include "setup_test_support.h"
#include "support/screenshots.h"

#include "mask/cmask.h"

#include <QPainter>
#include <QPushButton>
#include <QTimer>

namespace {

using MaskBytes = sim::SetupState::MaskRect;

MaskBytes sim_mask(sim::SimCamera& camera, std::size_t m)
{
    return camera.with_model([m](sim::CameraModel& model) { return model.setup().mask_rect(m); });
}

class MaskTest : public WindowTest {
protected:
    // Loads the page with the camera in PAL or NTSC and the given mask limits, and creates the
    // mask window.
    TFKR58* open_with(bool pal, const MaskBytes& limits)
    {
        camera.with_model([pal](sim::CameraModel& m) { m.set_pal(pal); });
        for (std::size_t i = 0; i < limits.size(); ++i) setup_test::preset(camera, 10, i, limits[i]);
        TFKR58* w = open_window();
        create_mask_window();
        return w;
    }

    // Picks mask m in the "Mask" group and waits until its rectangle is drawn.
    bool open_mask(int m)
    {
        window->mask->setCurrentIndex(m);
        return QTest::qWaitForWindowActive(window->FMask)
               && QTest::qWaitFor([this] { return window->FMask->PaintBox2->drawn().has_value(); }, 15000)
               && wait_idle();
    }

    MaskPaintBox* paint_box() { return window->FMask->PaintBox2; }
};

TEST_F(MaskTest, PickingAMaskThatIsOffOpensNothing)
{
    TFKR58* w = open_with(true, {2, 190, 2, 140});
    ASSERT_TRUE(wait_idle());
    ASSERT_FALSE(w->MaskB->isChecked());
    camera.clear_received();
    w->mask->setCurrentIndex(1);
    EXPECT_FALSE(w->FMask->isVisible());
    EXPECT_FALSE(w->comm_busy) << "nothing is read";
    EXPECT_EQ(camera.received_count(), 0u);
}

TEST_F(MaskTest, ActivationReadsTheRectangleAndDrawsIt)
{
    // NTSC: V start 34 is read as 39 and drawn at 38; V end 77 as 89, drawn at 88.
    camera.with_model([](sim::CameraModel& m) { m.setup().set_mask_rect(2, {30, 34, 120, 77}); });
    TFKR58* w = open_with(false, {10, 200, 5, 150});
    ASSERT_TRUE(wait_idle());
    ASSERT_TRUE(w->MaskC->isChecked());
    camera.clear_received();
    w->mask_dragging = true;

    ASSERT_TRUE(open_mask(2));
    EXPECT_EQ(camera.received(), std::vector<Bytes>{expected_frame({0x33, 0x1F, 0x12})});
    EXPECT_EQ(w->mask_view, (std::array<std::int32_t, 4>{30, 39, 120, 89}));
    EXPECT_EQ(*paint_box()->drawn(), (MaskRect{30, 38, 120, 88}));
    EXPECT_FALSE(w->mask_dragging);
    EXPECT_FALSE(w->mask_on_timer->isActive());
    EXPECT_FALSE(w->FMask->isModal());
}

struct DragCase {
    const char* name;
    bool pal;
    MaskBytes limits;
    QPoint down;
    QPoint up;
    MaskRect drawn;    // window units, while dragging
    MaskBytes written; // camera units, on release
};

const DragCase kDrags[] = {
    {"PalForward", true, {10, 200, 5, 150}, {30, 40}, {120, 90}, {30, 40, 120, 90}, {30, 40, 120, 90}},
    {"PalBackward", true, {10, 200, 5, 150}, {120, 90}, {30, 40}, {30, 40, 120, 90}, {30, 40, 120, 90}},
    {"NtscScalesVertically", false, {10, 200, 5, 150}, {30, 40}, {120, 90}, {30, 39, 120, 89}, {30, 34, 120, 77}},
    {"ClampedAtTheLowerLimits", true, {10, 200, 5, 150}, {60, 40}, {5, 2}, {11, 6, 60, 40}, {11, 6, 60, 40}},
    {"ClampedAtTheUpperLimits", true, {10, 200, 5, 150}, {60, 40}, {250, 400}, {60, 40, 199, 149},
     {60, 40, 199, 149}},
    {"LimitsZeroSendEveryCoordinateAs0xFF", true, {0, 0, 0, 0}, {30, 40}, {120, 90}, {-1, -1, -1, -1},
     {0xFF, 0xFF, 0xFF, 0xFF}},
};

class MaskDragTest : public MaskTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(MaskDragTest, ADragWithTheMouseDrawsAndWritesTheRectangle)
{
    const DragCase& c = GetParam();
    TFKR58* w = open_with(c.pal, c.limits);
    ASSERT_TRUE(wait_idle());
    ASSERT_TRUE(open_mask(0));
    camera.clear_received();

    QTest::mousePress(paint_box(), Qt::LeftButton, {}, c.down);
    EXPECT_TRUE(w->mask_dragging);
    QTest::mouseMove(paint_box(), c.up);
    // Drawn while dragging, inside the limits; nothing is sent yet.
    ASSERT_TRUE(paint_box()->drawn().has_value());
    EXPECT_EQ(*paint_box()->drawn(), c.drawn);
    EXPECT_FALSE(w->comm_busy);

    QTest::mouseRelease(paint_box(), Qt::LeftButton, {}, c.up);
    EXPECT_FALSE(w->mask_dragging);
    ASSERT_TRUE(wait_received(1));
    ASSERT_TRUE(wait_idle());
    const MaskBytes& r = c.written;
    EXPECT_EQ(camera.received(), std::vector<Bytes>{expected_frame({0x23, 0x1F, 0x10, r[0], r[1], r[2], r[3]})});
    EXPECT_EQ(sim_mask(camera, 0), c.written);
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Mask, MaskDragTest, ::testing::ValuesIn(kDrags),
                         [](const ::testing::TestParamInfo<DragCase>& info) { return std::string(info.param.name); });

TEST_F(MaskTest, ADragWhileTheLinkIsBusyIsDrawnButNotWritten)
{
    TFKR58* w = open_with(true, {10, 200, 5, 150});
    ASSERT_TRUE(wait_idle());
    ASSERT_TRUE(open_mask(0));
    const MaskBytes before = sim_mask(camera, 0);
    camera.clear_received();
    camera.inject(sim::Fault::NoAnswer, 1);
    w->Nega->toggle(); // an exchange that stays outstanding
    ASSERT_TRUE(wait_received(1));

    QTest::mousePress(paint_box(), Qt::LeftButton, {}, {40, 50});
    QTest::mouseMove(paint_box(), {90, 100});
    QTest::mouseRelease(paint_box(), Qt::LeftButton, {}, {90, 100});
    EXPECT_EQ(*paint_box()->drawn(), (MaskRect{40, 50, 90, 100}));
    EXPECT_EQ(w->cmd_frame[2], 0x22) << "the write never got as far as the command frame";
    tick_send_timer(4); // the silent exchange is abandoned
    EXPECT_EQ(camera.received_count(), 1u);
    EXPECT_EQ(sim_mask(camera, 0), before);
}

TEST_F(MaskTest, ExitAndTheCloseBoxHideTheWindowWhichOpensAgain)
{
    TFKR58* w = open_with(true, {10, 200, 5, 150});
    ASSERT_TRUE(wait_idle());
    ASSERT_TRUE(open_mask(0));
    QTest::mousePress(paint_box(), Qt::LeftButton, {}, {40, 50});
    w->FMask->Button1->click();
    EXPECT_FALSE(w->FMask->isVisible());
    EXPECT_FALSE(w->mask_dragging);

    // Picking the same mask again raises no change of the selection but opens the window.
    paint_box()->clear_area();
    emit w->mask->activated(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return paint_box()->drawn().has_value(); }, 15000));
    EXPECT_TRUE(w->FMask->isVisible());

    w->FMask->close();
    EXPECT_FALSE(w->FMask->isVisible());
    EXPECT_EQ(w->findChild<TFMask*>(), w->FMask) << "hidden, not destroyed";
    ASSERT_TRUE(wait_idle());
}

// The mask window over the loaded Setup page, a rectangle just drawn.
TEST_F(MaskTest, ScreenshotOfTheMaskWindowOverTheSetupPage)
{
    const QString path = screenshot_path("mask-window.png");
    if (path.isEmpty()) GTEST_SKIP() << "CAMERA_SCREENSHOTS not set";
    TFKR58* w = open_with(false, {2, 190, 2, 140});
    ASSERT_TRUE(wait_idle());
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    ASSERT_TRUE(open_mask(0));
    // A new rectangle over the house's right-hand window.
    QTest::mousePress(paint_box(), Qt::LeftButton, {}, {118, 50});
    QTest::mouseMove(paint_box(), {142, 72});
    QTest::mouseRelease(paint_box(), Qt::LeftButton, {}, {142, 72});
    ASSERT_TRUE(wait_received(1));
    ASSERT_TRUE(wait_idle());
    QImage shot = w->grab().toImage();
    QPainter painter(&shot);
    const QPoint at = w->GroupBox6->mapTo(w, QPoint(0, 0)) - QPoint(TFMask::kClientWidth + 16, 40);
    painter.drawPixmap(at, w->FMask->grab());
    painter.setPen(Qt::darkGray);
    painter.drawRect(QRect(at, w->FMask->size()).adjusted(-1, -1, 0, 0));
    painter.end();
    ASSERT_TRUE(shot.save(path));
}

} // namespace
