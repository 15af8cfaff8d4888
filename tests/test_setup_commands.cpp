// Every write command of the Setup page against the simulator: the bytes it receives, the state
// it keeps, and the value a reload brings back into the control.

#include "setup_test_support.h"

#include <QPushButton>
#include <QDeadlineTimer>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

using setup_test::set_shown;
using setup_test::shown;

namespace {

// A track bar's timer; none for selections.
struct SliderTimer {
    void (TFKR58::*tick)() = nullptr; // called by the test
    QTimer* TFKR58::*timer = nullptr;
    int interval_ms = 0;
};

struct WriteCase {
    const char* name;
    QWidget* (*control)(TFKR58&);
    int value;               // what the user chooses
    SliderTimer slider;
    Bytes body;              // the command, bytes 1..
    std::uint8_t group;      // where the camera keeps it: setup group and index of reply byte 4 + index
    std::size_t index;
};

#define CONTROL(member) [](TFKR58& w) -> QWidget* { return w.member; }
// A track bar's timer, its tick handler named after it, and its interval in milliseconds.
#define SLIDER(timer, interval_ms) SliderTimer{&TFKR58::timer##Timer, &TFKR58::timer, interval_ms}

// Values differ from the simulator's factory settings, and track-bar values from 0.
const WriteCase kCases[] = {
    {"Lens", CONTROL(Lens), 1, {}, {0x23, 0x12, 0x00, 0x01}, 0, 3},
    {"DC_LVL", CONTROL(DC_LVL), 7, SLIDER(DCTimer, 300), {0x23, 0x12, 0x01, 0x07}, 0, 4},
    {"ELCLVL", CONTROL(ELCLVL), 6, SLIDER(LensTimer, 300), {0x23, 0x12, 0x02, 0x06}, 0, 5},
    {"Shutter_NT", CONTROL(Shutter_NT), 3, {}, {0x23, 0x12, 0x03, 0x03}, 0, 6},
    {"SenseUp", CONTROL(SenseUp), 8, {}, {0x23, 0x11, 0x08}, 0, 2},
    {"AGC_SEL", CONTROL(AGC_SEL), 0, {}, {0x23, 0x14, 0x00, 0x00}, 0, 7},
    {"AGC_MAX", CONTROL(AGC_MAX), 2, SLIDER(AGCTimer, 300), {0x23, 0x14, 0x01, 0x02}, 0, 8},
    {"DNR_SEL", CONTROL(DNR_SEL), 0, {}, {0x23, 0x14, 0x02, 0x00}, 0, 9},
    {"wb_select", CONTROL(wb_select), 4, {}, {0x23, 0x15, 0x00, 0x04}, 3, 0},
    {"atw_ofs_lvl", CONTROL(atw_ofs_lvl), 8, SLIDER(ATWTimer, 200), {0x23, 0x15, 0x01, 0x08}, 3, 1},
    {"wb_manu_r", CONTROL(wb_manu_r), 1, SLIDER(wb_manu_r_timer, 200), {0x23, 0x15, 0x02, 0x01}, 3, 2},
    {"wb_manu_b", CONTROL(wb_manu_b), 7, SLIDER(wb_manu_b_timer, 200), {0x23, 0x15, 0x03, 0x07}, 3, 3},
    {"blcs", CONTROL(blcs), 0, {}, {0x23, 0x13, 0x00, 0x00}, 1, 6},
    {"blcs_WDR", CONTROL(blcs), 2, {}, {0x23, 0x13, 0x00, 0x02}, 1, 6},
    {"blc_lvl", CONTROL(blc_lvl), 8, SLIDER(blc_lvl_timer, 200), {0x23, 0x13, 0x01, 0x08}, 1, 7},
    {"wdr_eff_lvl", CONTROL(wdr_eff_lvl), 1, SLIDER(wdr_eff_Timer, 100), {0x23, 0x13, 0x03, 0x01}, 2, 6},
    {"mot_sel", CONTROL(mot_sel), 0, {}, {0x23, 0x19, 0x00, 0x00}, 4, 6},
    {"mot_lvl", CONTROL(mot_lvl), 3, SLIDER(mot_Timer, 500), {0x23, 0x19, 0x02, 0x03}, 4, 7},
    {"mot_time", CONTROL(mot_time), 6, {}, {0x23, 0x19, 0x03, 0x06}, 4, 8},
    {"mot_osd", CONTROL(mot_osd), 0, {}, {0x23, 0x19, 0x04, 0x00}, 4, 9},
    {"Zoom", CONTROL(Zoom), 1, {}, {0x23, 0x17, 0x00, 0x01}, 2, 7},
    {"ZoomBar", CONTROL(ZoomBar), 6, SLIDER(ZoomTimer, 100), {0x23, 0x17, 0x01, 0x06}, 2, 8},
    {"ENH_H", CONTROL(ENH_H), 8, SLIDER(ENH_H_timer, 200), {0x23, 0x18, 0x00, 0x08}, 2, 9},
    {"ENH_V", CONTROL(ENH_V), 1, SLIDER(ENH_V_timer, 200), {0x23, 0x18, 0x01, 0x01}, 2, 10},
    {"r_y_lvl", CONTROL(r_y_lvl), 1, SLIDER(r_y_timer, 200), {0x23, 0x1A, 0x00, 0x01}, 3, 5},
    {"b_y_lvl", CONTROL(b_y_lvl), 2, SLIDER(b_y_timer, 200), {0x23, 0x1A, 0x01, 0x02}, 3, 6},
    {"FREEZE", CONTROL(FREEZE), 1, {}, {0x23, 0x1B, 0x00, 0x01}, 5, 0},
    {"FRZ_MODE", CONTROL(FRZ_MODE), 0, {}, {0x23, 0x1B, 0x01, 0x00}, 5, 1},
    {"Priority", CONTROL(Priority), 0, {}, {0x23, 0x23, 0x00}, 7, 3},
    {"h_rev", CONTROL(h_rev), 1, {}, {0x23, 0x20, 0x01}, 7, 0},
    {"v_rev", CONTROL(v_rev), 0, {}, {0x23, 0x21, 0x00}, 7, 1},
    {"Nega", CONTROL(Nega), 1, {}, {0x23, 0x22, 0x01}, 7, 2},
    {"GAMMA", CONTROL(GAMMA), 1, {}, {0x23, 0x1C, 0x01}, 5, 2},
    {"LANGUAGE", CONTROL(LANGUAGE), 2, {}, {0x23, 0x1D, 0x02}, 5, 3},
    {"SYNC", CONTROL(SYNC), 1, {}, {0x23, 0x16, 0x00, 0x01}, 6, 0},
    // The title, communication and mask switches.
    {"Ctitle", CONTROL(Ctitle), 0, {}, {0x23, 0x10, 0x00, 0x00}, 0, 0},
    {"ID_POSI", CONTROL(ID_POSI), 3, {}, {0x23, 0x10, 0x03, 0x03}, 0, 1},
    {"COMM_MODE", CONTROL(COMM_MODE), 1, {}, {0x23, 0x28, 0x01, 0x01}, 6, 6},
    {"MaskA", CONTROL(MaskA), 0, {}, {0x23, 0x1F, 0x00, 0x00}, 7, 4},
    {"MaskB", CONTROL(MaskB), 1, {}, {0x23, 0x1F, 0x01, 0x01}, 7, 5},
    {"MaskC", CONTROL(MaskC), 0, {}, {0x23, 0x1F, 0x02, 0x00}, 7, 6},
    {"MaskD", CONTROL(MaskD), 1, {}, {0x23, 0x1F, 0x03, 0x01}, 7, 7},
};

class WriteCommandTest : public WindowTest, public ::testing::WithParamInterface<WriteCase> {};

// Leaves the control showing something else, without sending.
void forget(TFKR58& w, QWidget* control)
{
    setup::ControlUpdate updating(w);
    if (qobject_cast<QCheckBox*>(control))
        set_shown(control, !shown(control));
    else
        set_shown(control, -1); // no item, or a track bar's minimum
}

// Changes later in a burst leave the timer due when the first change made it due. Events are not
// processed meanwhile, so the timer cannot tick before the test calls its handler.
void expect_later_changes_keep_the_deadline(QWidget* control, QTimer* timer, int value)
{
    ASSERT_TRUE(timer->isActive());
    const int elapsed_ms = 30;
    const int due_ms = timer->interval() - elapsed_ms;
    QDeadlineTimer deadline(5000);
    while (timer->remainingTime() > due_ms && !deadline.hasExpired()) QThread::msleep(1);
    ASSERT_LE(timer->remainingTime(), due_ms);
    set_shown(control, value - 1);
    set_shown(control, value);
    EXPECT_LE(timer->remainingTime(), due_ms) << "a later change restarted the timer";
}

TEST_P(WriteCommandTest, SendsItsBytesAndTheCameraKeepsTheValue)
{
    const WriteCase& c = GetParam();
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    QWidget* control = c.control(*w);
    ASSERT_NE(shown(control), c.value) << "pick a value other than the factory setting";
    camera.clear_received();

    set_shown(control, c.value);
    if (c.slider.tick) {
        QTimer* timer = w->*c.slider.timer;
        EXPECT_EQ(timer->interval(), c.slider.interval_ms);
        expect_later_changes_keep_the_deadline(control, timer, c.value);
        (w->*c.slider.tick)();
    }
    ASSERT_TRUE(wait_received(1));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received(), std::vector<Bytes>{expected_frame(c.body)});
    EXPECT_EQ(setup_test::sim_group(camera, c.group)[c.index], c.value);
    EXPECT_TRUE(fake_dialogs.messages.empty());

    forget(*w, control);
    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(shown(control), c.value);
}

INSTANTIATE_TEST_SUITE_P(Setup, WriteCommandTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST_F(WindowTest, VPhaseTravelsAsABigEndianWord)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    w->V_PHASE->setValue(300);
    w->V_PHASE_timerTimer();
    ASSERT_TRUE(wait_received(1));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received().back(), expected_frame({0x23, 0x16, 0x01, 0x01, 0x2C}));
    const auto g = setup_test::sim_group(camera, 6);
    EXPECT_EQ(g[1] * 256 + g[2], 300);
    w->V_PHASE->setValue(0);
    w->V_PHASE_timer->stop();
    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->V_PHASE->value(), 300);
}

TEST_F(WindowTest, OnePushSendsThreeBytesAndIsUsableOnlyUnderAwb)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    ASSERT_EQ(w->wb_select->itemIndex(), 1); // AWB
    EXPECT_TRUE(w->AWC->isEnabled());
    camera.clear_received();
    w->AWC->click();
    ASSERT_TRUE(wait_received(1));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received().back(), expected_frame({0x23, 0x15, 0x04}));
    EXPECT_EQ(camera.with_model([](sim::CameraModel& m) { return m.setup().one_push_count(); }), 1);

    w->wb_select->setItemIndex(0); // ATW: the reply's interlocks disable the button
    ASSERT_TRUE(wait_received(2));
    ASSERT_TRUE(wait_idle());
    EXPECT_FALSE(w->AWC->isEnabled());
}

} // namespace
