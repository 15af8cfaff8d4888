// The Setup page's sending rules: track-bar timers, "Default", the shutter and back-light special
// cases, Enter on the flip boxes, and what happens to refused or second answers.

#include "setup_test_support.h"

#include "widgets/timers.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <functional>

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

// A burst of changes that lasts longer than the interval is sent one interval after its first
// change; a timer restarted by every change would send only once the burst has ended.
constexpr int kBurstMs = 4000;
// A loaded machine may deliver a tick late, but not by anything near the burst's length.
constexpr int kLateTickMs = 1500;

// Calls `change` every few milliseconds for up to kBurstMs and returns the time from the first
// call until `sent` held, or -1 when it never did during the burst.
qint64 sent_during_burst(const std::function<void()>& change, const std::function<bool()>& sent)
{
    QElapsedTimer since_first;
    since_first.start();
    while (since_first.elapsed() < kBurstMs) {
        change();
        if (QTest::qWaitFor(sent, 10)) return since_first.elapsed();
    }
    return -1;
}

void expect_sent_one_interval_after_the_first_change(qint64 sent_at, int interval_ms)
{
    ASSERT_GE(sent_at, 0) << "nothing was sent during a " << kBurstMs << " ms burst of changes";
    EXPECT_GE(sent_at, interval_ms * 9 / 10) << "sent before the interval was over";
    EXPECT_LT(sent_at, interval_ms + kLateTickMs) << "the burst restarted the timer";
}

TEST(EnableTimer, ARunningTimerKeepsItsFirstDeadline)
{
    QTimer timer;
    timer.setInterval(200);
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; timer.stop(); });
    const qint64 sent_at = sent_during_burst([&] { enable_timer(&timer); }, [&] { return ticks > 0; });
    expect_sent_one_interval_after_the_first_change(sent_at, timer.interval());
}

TEST_F(WindowTest, ADragLongerThanTheIntervalSendsOneIntervalAfterItsFirstMove)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    int position = w->AGC_MAX->value();
    const auto drag = [&] { w->AGC_MAX->setValue(position = (position + 1) % 9); };
    const qint64 sent_at = sent_during_burst(drag, [&] { return camera.received_count() > 0; });
    expect_sent_one_interval_after_the_first_change(sent_at, w->AGCTimer->interval());
    const std::vector<Bytes> bodies = received_bodies(3);
    ASSERT_FALSE(bodies.empty()) << "the simulator received no frame";
    EXPECT_EQ(bodies.front(), (Bytes{0x23, 0x14, 0x01}));
    ASSERT_TRUE(wait_idle());
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
    // WDR is blocked from item 2 ("1/125") up; "OFF" and "1/100" leave it free.
    const std::pair<int, bool> shutters[] = {{3, true}, {2, true}, {1, false}, {0, false}};
    for (const auto& [item, refused] : shutters) {
        SCOPED_TRACE("shutter item " + std::to_string(item));
        w->Shutter_NT->setCurrentIndex(item);
        ASSERT_TRUE(wait_idle());
        camera.clear_received();
        const QString last_sent = w->StatusPanel[1]->text();
        w->blcs->setItemIndex(2);
        if (refused) {
            ASSERT_FALSE(w->comm_busy) << "WDR was sent";
            EXPECT_EQ(w->StatusPanel[1]->text(), last_sent);
            EXPECT_EQ(w->blcs->itemIndex(), 0);
            EXPECT_FALSE(w->blc_grp->isEnabled());
            continue;
        }
        ASSERT_TRUE(wait_received(1)) << "WDR was not sent";
        ASSERT_TRUE(wait_idle());
        EXPECT_EQ(camera.received().back(), expected_frame({0x23, 0x13, 0x00, 0x02}));
        EXPECT_EQ(w->blc_saved, 2);
        EXPECT_TRUE(w->wdr_grp->isEnabled());
        w->blcs->setItemIndex(0); // back to "OFF" for the next item
        ASSERT_TRUE(wait_idle());
    }
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
