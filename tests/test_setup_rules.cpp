// The Setup page's sending rules: track-bar timers, "Default", the shutter and back-light special
// cases, Enter on the flip boxes, and what happens to refused or second answers.

#include "setup_test_support.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace {

// ---- Track bars ----

TEST_F(WindowTest, ABurstOfTrackBarMovesSendsOneCommandWithTheLastPosition)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    for (int position = 0; position <= 8; ++position) w->AGC_MAX->setValue(position);
    EXPECT_TRUE(w->AGCTimer->isActive());
    EXPECT_EQ(w->AGCTimer->interval(), 300);
    w->AGCTimerTimer();
    EXPECT_FALSE(w->AGCTimer->isActive());
    ASSERT_TRUE(wait_received(1));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received(), std::vector<Bytes>{expected_frame({0x23, 0x14, 0x01, 0x08})});
}

TEST_F(WindowTest, ATickWhileTheLinkIsBusyRetriesWithThePositionOfTheLaterTick)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    camera.inject(sim::Fault::NoAnswer, 1);
    w->Nega->toggle(); // an exchange that stays outstanding
    ASSERT_TRUE(wait_received(1));
    ASSERT_TRUE(w->comm_busy);

    w->AGC_MAX->setValue(3);
    w->AGCTimerTimer();
    EXPECT_TRUE(w->AGCTimer->isActive());
    w->AGC_MAX->setValue(5);
    tick_send_timer(4); // the silent exchange is abandoned
    ASSERT_FALSE(w->comm_busy);
    w->AGCTimerTimer();
    EXPECT_FALSE(w->AGCTimer->isActive());
    ASSERT_TRUE(wait_received(2));
    EXPECT_EQ(camera.received().back(), expected_frame({0x23, 0x14, 0x01, 0x05}));
}

TEST_F(WindowTest, ChangesDuringAReadSeriesSendNothing)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    w->ReLoadClick();
    w->AGC_MAX->setValue(1);
    EXPECT_FALSE(w->AGCTimer->isActive());
    w->Nega->toggle();
    w->blcs->setItemIndex(0);
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 15u);
}

// ---- "Default" ----

TEST_F(WindowTest, DefaultAnsweredNoSendsNothing)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    fake_dialogs.confirm_answer = false;
    w->Preset->click();
    ASSERT_EQ(fake_dialogs.confirmations.size(), 1u);
    EXPECT_EQ(fake_dialogs.confirmations[0].text, "Are you sure ? ");
    EXPECT_FALSE(w->comm_busy);
    EXPECT_TRUE(w->PageControl1->isEnabled());
}

TEST_F(WindowTest, DefaultAcceptedLocksThePagesUntilTheReloadThatFollows)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    w->SenseUp->setCurrentIndex(8);
    ASSERT_TRUE(wait_idle());
    camera.clear_received();

    w->Preset->click();
    EXPECT_FALSE(w->PageControl1->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->PRESET_timer->isActive(); }, 15000));
    EXPECT_EQ(w->PRESET_timer->interval(), 3000);
    EXPECT_FALSE(w->PageControl1->isEnabled());
    EXPECT_EQ(camera.received(), std::vector<Bytes>{expected_frame({0x23, 0x1E, 0x01})});

    w->PRESET_timerTimer();
    EXPECT_FALSE(w->PRESET_timer->isActive());
    EXPECT_TRUE(w->PageControl1->isEnabled());
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 16u);
    EXPECT_EQ(w->SenseUp->currentIndex(), 3); // the factory setting
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(WindowTest, DefaultRefusedReportsTheErrorAndUnlocksThePages)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.inject_for_command(sim::Fault::Refuse, 0x23, 0x1E);
    w->Preset->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_dialogs.messages.empty(); }, 15000));
    EXPECT_EQ(fake_dialogs.messages[0].text, " Error   ");
    EXPECT_EQ(fake_dialogs.messages[0].caption, "ERROR");
    EXPECT_TRUE(w->PageControl1->isEnabled());
    EXPECT_FALSE(w->PRESET_timer->isActive());
}

// ---- Special cases ----

TEST_F(WindowTest, PalShutterChoiceIsSentAndCopiedIntoTheNtscList)
{
    camera.with_model([](sim::CameraModel& m) { m.set_pal(true); });
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->TV->text(), "PAL");
    EXPECT_FALSE(w->Shutter_PAL->isHidden());
    EXPECT_TRUE(w->Shutter_NT->isHidden());
    camera.clear_received();
    w->Shutter_PAL->setCurrentIndex(1); // "1/120"
    ASSERT_TRUE(wait_received(1));
    EXPECT_EQ(camera.received().back(), expected_frame({0x23, 0x12, 0x03, 0x01}));
    EXPECT_EQ(w->Shutter_NT->currentText(), "1/100");
}

TEST_F(WindowTest, WdrIsRefusedOnTheSpotUnderAFixedShutter)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    ASSERT_EQ(w->Lens->itemIndex(), 0); // ALC
    w->Shutter_NT->setCurrentIndex(3);  // "1/250"
    ASSERT_TRUE(wait_idle());
    const QString last_sent = w->StatusPanel[1]->text();
    w->blcs->setItemIndex(2);
    EXPECT_FALSE(w->comm_busy);
    EXPECT_EQ(w->StatusPanel[1]->text(), last_sent);
    EXPECT_EQ(w->blcs->itemIndex(), 0);
    EXPECT_FALSE(w->blc_grp->isEnabled());

    w->Shutter_NT->setCurrentIndex(0); // "OFF"
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    w->blcs->setItemIndex(2);
    ASSERT_TRUE(wait_received(1));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received().back(), expected_frame({0x23, 0x13, 0x00, 0x02}));
    EXPECT_EQ(w->blc_saved, 2);
    EXPECT_TRUE(w->wdr_grp->isEnabled());
}

TEST_F(WindowTest, EnterTogglesAFlipBoxAndSendsIt)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    ASSERT_FALSE(w->h_rev->isChecked());
    camera.clear_received();
    QTest::keyClick(w->h_rev, Qt::Key_A);
    EXPECT_FALSE(w->h_rev->isChecked());
    QTest::keyClick(w->h_rev, Qt::Key_Return);
    EXPECT_TRUE(w->h_rev->isChecked());
    ASSERT_TRUE(wait_received(1));
    EXPECT_EQ(camera.received(), std::vector<Bytes>{expected_frame({0x23, 0x20, 0x01})});
    ASSERT_TRUE(wait_idle());
    ASSERT_TRUE(w->v_rev->isChecked());
    QTest::keyClick(w->v_rev, Qt::Key_Enter);
    ASSERT_TRUE(wait_received(2));
    EXPECT_EQ(camera.received().back(), expected_frame({0x23, 0x21, 0x00}));
}

TEST_F(WindowTest, ExtOnACameraWithoutExternalSyncFallsBackToIntWithoutSending)
{
    camera.with_model([](sim::CameraModel& m) { m.setup().set_external_sync_input(false); });
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    w->SYNC->setItemIndex(1);
    ASSERT_TRUE(wait_received(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->SYNC->itemIndex() == 0; }, 15000));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received(), std::vector<Bytes>{expected_frame({0x23, 0x16, 0x00, 0x01})});
    EXPECT_FALSE(w->V_PHASE->isEnabled());
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(WindowTest, ARefusedWriteIsReportedAndTheControlKeepsItsValue)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.inject(sim::Fault::Refuse, 1);
    w->Nega->toggle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_dialogs.messages.empty(); }, 15000));
    EXPECT_EQ(fake_dialogs.messages[0].text, " Error   ");
    EXPECT_EQ(fake_dialogs.messages[0].caption, "ERROR");
    EXPECT_TRUE(w->Nega->isChecked());
}

} // namespace
