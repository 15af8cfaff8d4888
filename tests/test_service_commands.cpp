// The Debug page's menu keys and service commands against the camera simulator: the bytes on the
// wire for clicks, typed characters and the accessibility interface, the busy rule, the WDR test
// shutter number with its spin limits and the reply skip flag, and the service buttons.

#include "service_test_support.h"

#include "pages/debug/service_keys.h"
#include "pages/setup/setup_support.h"
#include "widgets/radio_group.h"
#include "widgets/spin_button.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

using service_test::times_received;
using service_test::wait_for_frame;

namespace {

std::vector<std::uint8_t> key_presses(sim::SimCamera& camera)
{
    return camera.with_model([](sim::CameraModel& m) { return m.key_presses(); });
}

class ServiceCommandTest : public WindowTest {
protected:
    TFKR58* open_debug()
    {
        TFKR58* w = open_window(TFKR58::Debug);
        EXPECT_TRUE(wait_idle());
        camera.clear_received();
        return w;
    }

    // Presses through `press` and waits until the camera has recorded `count` key presses.
    bool wait_keys(std::size_t count)
    {
        return QTest::qWaitFor([&] { return key_presses(camera).size() >= count; }, 15000) && wait_idle();
    }
};

TEST(MenuKeyLayout, DigitsFollowTheKeypadAndLettersTheIjklBlock)
{
    using service::MenuKey;
    struct Case {
        char digit, upper, lower;
        MenuKey key;
    };
    const Case cases[] = {
        {'2', 'K', 'k', MenuKey::Down},  {'8', 'I', 'i', MenuKey::Up},    {'5', 'U', 'u', MenuKey::Enter},
        {'4', 'J', 'j', MenuKey::Left},  {'6', 'L', 'l', MenuKey::Right}, {'9', 'O', 'o', MenuKey::LongEnter},
    };
    for (const Case& c : cases) {
        for (char typed : {c.digit, c.upper, c.lower}) {
            ASSERT_TRUE(service::menu_key_for_char(typed).has_value()) << typed;
            EXPECT_EQ(*service::menu_key_for_char(typed), c.key) << typed;
        }
    }
    for (char other : {'0', '1', '3', '7', 'a', 'M', ' ', '\r', '\0', '\x7F'})
        EXPECT_FALSE(service::menu_key_for_char(other).has_value()) << int(other);
}

TEST_F(ServiceCommandTest, EachMenuKeySendsItsCodeAndPreSendsEnter)
{
    TFKR58* w = open_debug();
    EXPECT_FALSE(w->push_pre->isVisibleTo(w->TabSheet2));
    const std::pair<QPushButton*, std::uint8_t> buttons[] = {
        {w->push_dn, 0},   {w->push_up, 1},       {w->push_ent, 2},  {w->push_pre, 2},
        {w->push_left, 3}, {w->push_right, 4}, {w->push_long_ent, 5}, {w->push_comm, 6},
    };
    std::vector<std::uint8_t> expected;
    for (const auto& [button, code] : buttons) {
        button->click();
        expected.push_back(code);
        ASSERT_TRUE(wait_keys(expected.size())) << button->objectName().toStdString();
        EXPECT_EQ(camera.received().back(), expected_frame({0x23, 0x32, code}));
    }
    EXPECT_EQ(key_presses(camera), expected);
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(ServiceCommandTest, CharactersTypedOnAFocusedMenuKeyPressTheirKeys)
{
    TFKR58* w = open_debug();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    w->activateWindow();
    w->push_up->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->push_up->hasFocus(); }, 15000));

    // 3 maps to no key: nothing goes out, and the next press is the first the camera sees.
    QTest::keyClick(QApplication::focusWidget(), '3');
    QTest::keyClick(QApplication::focusWidget(), '8');
    ASSERT_TRUE(wait_keys(1));
    QTest::keyClick(QApplication::focusWidget(), '5');
    ASSERT_TRUE(wait_keys(2));
    EXPECT_EQ(camera.received(), (std::vector<Bytes>{expected_frame({0x23, 0x32, 0x01}), expected_frame({0x23, 0x32, 0x02})}));

    // Any focused menu key takes the whole layout, "COMM." through its own handler; letters in
    // either case count, and the keypad's digits carry the same character as the main row's.
    w->push_comm->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->push_comm->hasFocus(); }, 15000));
    QTest::keyClick(QApplication::focusWidget(), 'O');
    ASSERT_TRUE(wait_keys(3));
    w->push_left->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->push_left->hasFocus(); }, 15000));
    QTest::keyClick(QApplication::focusWidget(), 'k');
    ASSERT_TRUE(wait_keys(4));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_6, Qt::KeypadModifier);
    ASSERT_TRUE(wait_keys(5));
    EXPECT_EQ(key_presses(camera), (std::vector<std::uint8_t>{1, 2, 5, 0, 4}));

    // Space still clicks the focused button, as on any button.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(wait_keys(6));
    EXPECT_EQ(key_presses(camera).back(), 3);
}

TEST_F(ServiceCommandTest, AMenuKeyPressedThroughAccessibilityActsAsAClick)
{
    TFKR58* w = open_debug();
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(w->push_right);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(QAccessible::Name), QStringLiteral("Menu key RIGHT"));
    ASSERT_NE(button->actionInterface(), nullptr);
    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(wait_keys(1));
    EXPECT_EQ(key_presses(camera), std::vector<std::uint8_t>{4});
}

TEST_F(ServiceCommandTest, PressesWhileTheLinkIsBusyAreDropped)
{
    TFKR58* w = open_debug();
    ASSERT_TRUE(reload_unanswered());
    ASSERT_TRUE(w->comm_busy);
    w->push_up->click();
    QTest::keyClick(w->push_dn, '2');
    w->PresetSaveClick();
    tick_send_timer(TFKR58::kFrameReplyTicks + 1); // the ticks of the wait, then the one that abandons
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 1u); // the silent read alone
    EXPECT_TRUE(key_presses(camera).empty());

    // Nothing was queued: the next press is the only one.
    camera.clear_received();
    w->push_up->click();
    ASSERT_TRUE(wait_keys(1));
    EXPECT_EQ(key_presses(camera), std::vector<std::uint8_t>{1});
    EXPECT_EQ(camera.with_model([](sim::CameraModel& m) { return m.service().preset_saves; }), 0);
}

TEST_F(ServiceCommandTest, PresetSaveAndTheServiceReadsSendTheirBytes)
{
    TFKR58* w = open_debug();
    w->PresetSave->click();
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x30, 0x01}));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.with_model([](sim::CameraModel& m) { return m.service().preset_saves; }), 1);

    // "WB Input" carries the chosen source; "ram" is chosen from the start.
    EXPECT_EQ(w->WB_INPUT_SEL->itemIndex(), 0);
    w->WB_READ->click();
    ASSERT_TRUE(wait_for_frame(camera, {0x33, 0x4C, 0x00}));
    ASSERT_TRUE(wait_idle());
    w->WB_INPUT_SEL->setItemIndex(1); // choosing the source sends nothing by itself
    w->WB_READ->click();
    ASSERT_TRUE(wait_for_frame(camera, {0x33, 0x4C, 0x01}));
    ASSERT_TRUE(wait_idle());

    w->wdr_rd_btn->click();
    ASSERT_TRUE(wait_for_frame(camera, {0x33, 0x48}));
    ASSERT_TRUE(wait_idle());
    const std::vector<Bytes> units = camera.received();
    ASSERT_GE(units.size(), 4u);
    const std::vector<Bytes> first_four(units.begin(), units.begin() + 4);
    EXPECT_EQ(first_four, (std::vector<Bytes>{expected_frame({0x23, 0x30, 0x01}), expected_frame({0x33, 0x4C, 0x00}),
                                               expected_frame({0x33, 0x4C, 0x01}), expected_frame({0x33, 0x48})}));
}

TEST_F(ServiceCommandTest, WdrTestModeTravelsAsItemPlusOneAndIsStored)
{
    TFKR58* w = open_debug();
    w->wdr_test_sel->setItemIndex(1); // "Fix"
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x3A, 0x00, 0x02}));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.with_model([](sim::CameraModel& m) { return m.service().wdr_test_mode; }), 2);
    w->wdr_test_sel->setItemIndex(0); // "Auto"
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x3A, 0x00, 0x01}));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.with_model([](sim::CameraModel& m) { return m.service().wdr_test_mode; }), 1);
}

TEST_F(ServiceCommandTest, ShutterNumberSpinsWithin0And63AndABurstSendsOnce)
{
    TFKR58* w = open_debug();
    QSlider* level = w->wdr_test_onlvl;

    // A burst: several moves, the timer started once; its tick sends the last position.
    level->setValue(60);
    ASSERT_TRUE(w->wdr_test_timer->isActive());
    w->wdr_on_spinUpClick();
    w->wdr_on_spin->upButton()->click();
    w->wdr_on_spinUpClick();
    EXPECT_EQ(level->value(), 63);
    w->wdr_on_spinUpClick(); // at the maximum: nothing moves
    EXPECT_EQ(level->value(), 63);
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x3A, 0x02, 0x3F}));
    ASSERT_TRUE(wait_idle());
    EXPECT_FALSE(w->wdr_test_timer->isActive());
    EXPECT_EQ(camera.received().front(), expected_frame({0x23, 0x3A, 0x02, 0x3F}));
    EXPECT_EQ(times_received(camera, {0x23, 0x3A, 0x02, 0x3F}), 1);
    EXPECT_EQ(w->wdr_test_ontext->text(), QStringLiteral("3F"));
    EXPECT_EQ(w->wdr_no_dec->text(), QStringLiteral("63"));
    EXPECT_EQ(camera.with_model([](sim::CameraModel& m) { return m.service().wdr_shutter_no; }), 63);

    camera.clear_received();
    level->setValue(1);
    w->wdr_on_spin->downButton()->click();
    w->wdr_on_spinDownClick(); // at 0: nothing moves
    EXPECT_EQ(level->value(), 0);
    w->wdr_test_timerTimer();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received().front(), expected_frame({0x23, 0x3A, 0x02, 0x00}));
    EXPECT_EQ(w->wdr_test_ontext->text(), QStringLiteral("00"));
    EXPECT_EQ(w->wdr_no_dec->text(), QStringLiteral("0"));
}

TEST_F(ServiceCommandTest, ShutterNumberWaitsForAFreeLinkAndAReplyMoveIsNotSentBack)
{
    TFKR58* w = open_debug();
    QSlider* level = w->wdr_test_onlvl;

    // The Debug page's decoder sets the flag before it moves the track bar from a reply.
    w->wdr_level_skip = true;
    level->setValue(20);
    EXPECT_FALSE(w->wdr_level_skip);
    EXPECT_FALSE(w->wdr_test_timer->isActive());

    // A reply move that lands while a user's move is pending is consumed by the next tick; the
    // timer keeps running and sends on the tick after it.
    level->setValue(21);
    ASSERT_TRUE(w->wdr_test_timer->isActive());
    w->wdr_level_skip = true;
    w->wdr_test_timerTimer();
    EXPECT_FALSE(w->wdr_level_skip);
    EXPECT_TRUE(w->wdr_test_timer->isActive());
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x3A, 0x02, 21}));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(times_received(camera, {0x23, 0x3A, 0x02, 20}), 0);

    // A move while the link is busy: the tick retries until the link is free, then sends once.
    ASSERT_TRUE(reload_unanswered());
    level->setValue(22);
    w->wdr_test_timerTimer();
    EXPECT_TRUE(w->wdr_test_timer->isActive());
    tick_send_timer(TFKR58::kFrameReplyTicks + 1); // the ticks of the wait, then the one that abandons
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x3A, 0x02, 22}));
    ASSERT_TRUE(wait_idle());
    EXPECT_FALSE(w->wdr_test_timer->isActive());
    EXPECT_EQ(times_received(camera, {0x23, 0x3A, 0x02, 22}), 1);
}

TEST_F(ServiceCommandTest, BackLightFromTheDebugPageSkipsTheWdrRuleAndKeepsBlcSaved)
{
    TFKR58* w = open_debug();
    {
        // Exposure under AES: the Setup page would refuse WDR.
        setup::ControlUpdate updating(*w);
        w->Lens->setItemIndex(1);
    }
    ASSERT_TRUE(setup::wdr_blocked(*w));
    const int saved = w->blc_saved;
    w->dbg_blcs->setItemIndex(2);
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x13, 0x00, 0x02}));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->blc_saved, saved);
    EXPECT_EQ(w->dbg_blcs->itemIndex(), 2);
    // The reply's interlocks let the WDR test mode be chosen now.
    EXPECT_TRUE(w->wdr_test_sel->isEnabled());
    w->dbg_blcs->setItemIndex(0);
    ASSERT_TRUE(wait_for_frame(camera, {0x23, 0x13, 0x00, 0x00}));
    ASSERT_TRUE(wait_idle());
    EXPECT_FALSE(w->wdr_test_sel->isEnabled());
}

} // namespace
