// The main window against the camera simulator: start-up in each configuration, the exchange
// discipline, receive faults, time-outs, the transaction gate, page changes, reset and the service
// code.

#include "support/window_fixture.h"

#include "comm/comm.h"
#include "comm/port_naming.h"
#include "link/hex_text.h"
#include "transactions/transaction_table.h"
#include "widgets/radio_group.h"
#include "widgets/spin_button.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

namespace {

// Counts the decoders as Trans_end calls them, in order.
class RecordingWindow : public TFKR58 {
public:
    using TFKR58::TFKR58;
    std::vector<std::string> calls;

protected:
    void Trans_end_common() override { calls.push_back("common"); }
    void Trans_end_cstm() override { calls.push_back("lens"); }
    void Debug_tend() override { calls.push_back("debug"); }
    void Trans_end_kizu() override { calls.push_back("defect"); }
    void Trans_end_copy() override { calls.push_back("copy"); }
    void Trans_end_easy() override { calls.push_back("setup"); }
    void Trans_cstm_hidden() override { calls.push_back("hidden"); }
    void kizu_marker_set() override { calls.push_back("marker"); }
};

std::vector<Bytes> frames_of(const std::vector<Bytes>& bodies, std::uint8_t id = 1)
{
    std::vector<Bytes> out;
    for (const Bytes& b : bodies) out.push_back(expected_frame(b, id));
    return out;
}

std::vector<bool> visible_tabs(const TFKR58& w)
{
    std::vector<bool> tabs;
    for (int i = 0; i < 5; ++i) tabs.push_back(w.PageControl1->isTabVisible(i));
    return tabs;
}

// ---------------------------------------------------------------------------------------------

TEST_F(WindowTest, ReleaseStartsOnSetupAloneAndLoadsItInFifteenReads)
{
    TFKR58* w = open_window(TFKR58::Release);
    ASSERT_FALSE(w->ended());
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(visible_tabs(*w), (std::vector<bool>{false, false, false, false, true}));
    EXPECT_EQ(w->active_page(), TFKR58::SetupPage);
    EXPECT_TRUE(w->PageControl1->isEnabled());
    EXPECT_TRUE(w->ptocOk2->isHidden());
    EXPECT_FALSE(w->ResetButton->isHidden());

    const auto series = page_series(TFKR58::SetupPage);
    ASSERT_EQ(series.size(), 15u);
    EXPECT_EQ(series[9], (Bytes{0x33, 0x50, 0x07}));
    EXPECT_EQ(series[10], (Bytes{0x33, 0x50, 0x0A}));
    EXPECT_EQ(series[14], (Bytes{0x33, 0x10, 0x01, 0x03}));
    EXPECT_EQ(camera.received(), frames_of(series));

    // The status bar: the connection text stays, the last frames are traced.
    EXPECT_EQ(w->StatusPanel[0]->text(), "Comm. Connecting");
    const Bytes last = expected_frame(series.back());
    EXPECT_EQ(w->StatusPanel[1]->text(), hex_trace(last.data() + 1, 17));
    EXPECT_EQ(w->StatusPanel[2]->text(), hex_trace(w->reply_frame.data() + 1, 17));
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(WindowTest, DebugAndDelayConfigurationsShowTheirTabsAndSeries)
{
    TFKR58* w = open_window(TFKR58::Debug);
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(visible_tabs(*w), (std::vector<bool>{true, true, true, true, true}));
    EXPECT_EQ(w->active_page(), TFKR58::DebugPage);
    EXPECT_FALSE(w->ptocOk2->isHidden());
    EXPECT_EQ(camera.received(), frames_of(page_series(TFKR58::DebugPage)));
    EXPECT_EQ(camera.received_count(), 6u);

    window.reset();
    camera.clear_received();
    w = open_window(TFKR58::Delay);
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(visible_tabs(*w), (std::vector<bool>{true, false, false, false, false}));
    EXPECT_EQ(w->active_page(), TFKR58::LensPage);
    EXPECT_FALSE(w->ptocOk2->isHidden());
    EXPECT_EQ(camera.received(), frames_of(page_series(TFKR58::LensPage)));
    EXPECT_EQ(camera.received_count(), 4u);
}

TEST_F(WindowTest, WindowShellMatchesTheLayout)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->windowTitle(), " ");
    EXPECT_EQ(w->width(), TFKR58::kClientWidth);
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_EQ(w->height() - w->menuBar()->sizeHint().height(), TFKR58::kClientHeight);
    EXPECT_EQ(w->Title->text(), " Camera Adjust Tool");
    EXPECT_TRUE(w->pwl->isHidden());
    EXPECT_TRUE(w->pwl->text().isEmpty());
    EXPECT_EQ(w->Label39->text(), "Transmit COMM_ID");
    EXPECT_EQ(w->Label39->buddy(), w->IDEdit);
    EXPECT_EQ(w->IDEdit->text(), "1");
    EXPECT_TRUE(w->tool_type->isHidden());
    EXPECT_FALSE(w->HelpMenu->menuAction()->isVisible());
    EXPECT_TRUE(w->complete2->isHidden());
    const int widths[] = {100, 250, 250, 40};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(w->StatusPanel[i]->width(), widths[i]) << i;
    EXPECT_FALSE(w->statusBar()->isSizeGripEnabled());
    const char* captions[] = {"Lens Adjust", "Debug", "CCD Defect", "Copy", "Setup"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(w->PageControl1->tabText(i), captions[i]);
}

TEST_F(WindowTest, CommandsCarryTheCameraIdAtTheMomentOfSending)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    // Wrapping at both ends of 0..255.
    w->IDUpDown->setPosition(255);
    w->IDUpDown->stepBy(1);
    EXPECT_EQ(w->IDUpDown->position(), 0);
    w->IDUpDown->stepBy(-1);
    EXPECT_EQ(w->IDUpDown->position(), 255);
    w->IDEdit->setText("7"); // typed by the user
    camera.clear_received();
    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received(), frames_of(page_series(TFKR58::SetupPage), 7));
}

TEST_F(WindowTest, DecodersRunInOrderForEveryReplyOnEachPage)
{
    auto* w = open_window<RecordingWindow>(TFKR58::Debug);
    ASSERT_TRUE(wait_idle());
    const std::vector<std::string> debug_reply{"common", "debug", "hidden", "marker"};
    ASSERT_EQ(w->calls.size(), 6 * debug_reply.size());
    EXPECT_TRUE(std::equal(debug_reply.begin(), debug_reply.end(), w->calls.begin()));

    const std::pair<int, const char*> pages[] = {{TFKR58::LensPage, "lens"}, {TFKR58::DefectPage, "defect"},
                                                 {TFKR58::CopyPage, "copy"}, {TFKR58::SetupPage, "setup"}};
    for (const auto& [page, name] : pages) {
        w->select_page(page);
        w->calls.clear();
        w->Trans_init(0);
        ASSERT_TRUE(wait_idle());
        ASSERT_GE(w->calls.size(), 4u);
        EXPECT_EQ(w->calls[1], name);
        EXPECT_EQ(w->calls.size() % 4, 0u);
    }
}

// ---- Receive faults -------------------------------------------------------------------------

TEST_F(WindowTest, GarbageBetweenFramesIsSkippedSilently)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    camera.send_raw({0x00, 0x55, 0xFF, 0x03, 0x7F});
    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 15u);
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(WindowTest, AFrameSplitAcrossNotificationsDecodesAsAWhole)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    camera.set_split_pause_ms(3);
    camera.inject(sim::Fault::SplitBytes, 15);
    w->ReLoadClick();
    ASSERT_TRUE(wait_idle(30000));
    EXPECT_EQ(camera.received(), frames_of(page_series(TFKR58::SetupPage)));
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(WindowTest, TwoRepliesInOneNotificationAreHandledOneAfterTheOther)
{
    open_window();
    ASSERT_TRUE(wait_idle());
    ASSERT_TRUE(reload_unanswered(2));
    // Both answers arrive in one write: the first must be handled, and the next read chained,
    // before the second is decoded as that read's answer.
    Bytes both = reply_frame_bytes({0xA0, 0x0A, 0x01, 0x00});
    const Bytes second = reply_frame_bytes({0xA0, 0x0A, 0x40, 0x00});
    both.insert(both.end(), second.begin(), second.end());
    camera.send_raw(both);
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received(), frames_of(page_series(TFKR58::SetupPage)));
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(WindowTest, MissingEtxIsReportedAndTheExchangeTimesOut)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    w->SendTimer->stop();
    camera.inject(sim::Fault::NoEtx, 1);
    w->ReLoadClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_dialogs.messages.empty(); }, 10000));
    EXPECT_EQ(fake_dialogs.messages[0].text, "ETX Error");
    EXPECT_EQ(fake_dialogs.messages[0].caption, "Recv. error");
    EXPECT_TRUE(w->comm_busy);
    EXPECT_EQ(w->trans_no, 1u);
    tick_send_timer(4);
    EXPECT_FALSE(w->comm_busy);
    EXPECT_EQ(w->trans_no, 0u);
    EXPECT_EQ(fake_dialogs.messages.size(), 1u);
}

TEST_F(WindowTest, BadChecksumIsDroppedSilentlyUntilTheTimeOut)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    w->SendTimer->stop();
    camera.clear_received();
    camera.inject(sim::Fault::BadChecksum, 1);
    w->ReLoadClick();
    ASSERT_TRUE(wait_received(1));
    // The bad reply arrives, is dropped, and leaves the exchange outstanding.
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->link_status == 2; }, 5000));
    tick_send_timer(3);
    EXPECT_TRUE(w->comm_busy);
    tick_send_timer(1);
    EXPECT_FALSE(w->comm_busy);
    EXPECT_EQ(w->link_status, 1);
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(WindowTest, AckOrNakWhileWaitingOnlyMarksTheAnswerBegun)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    ASSERT_TRUE(reload_unanswered());
    EXPECT_EQ(w->link_status, 1);
    camera.send_raw({frames::ACK});
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->link_status == 2; }, 5000));
    camera.send_raw({frames::NAK});
    EXPECT_TRUE(w->comm_busy);
    EXPECT_EQ(w->rx_decoder.state(), ReceiveDecoder::Idle);
    EXPECT_EQ(w->trans_no, 1u);
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(WindowTest, BytesBeforeAnythingWasSentNeverReachTheDecoders)
{
    auto* w = open_window<RecordingWindow>();
    ASSERT_TRUE(wait_idle());
    // The state right after start-up, before the first frame went out.
    w->cmd_frame[0] = 0;
    w->calls.clear();
    Bytes bytes = reply_frame_bytes({0xA0, 0x0A, 0x01, 0x00});
    // A frame with a broken ETX behind it: its message shows that everything before was decoded.
    Bytes broken = reply_frame_bytes({0xA0, 0x0A, 0x40, 0x00});
    broken[16] = 0x00;
    bytes.insert(bytes.end(), broken.begin(), broken.end());
    camera.send_raw(bytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_dialogs.messages.empty(); }, 5000));
    EXPECT_EQ(fake_dialogs.messages[0].text, "ETX Error");
    EXPECT_TRUE(w->calls.empty());
    EXPECT_EQ(w->link_status, 1);
}

// ---- Time-out and gates ---------------------------------------------------------------------

TEST_F(WindowTest, SilentCameraIsAbandonedOnTheFourthTickAndALateReplyChainsNothing)
{
    auto* w = open_window<RecordingWindow>();
    ASSERT_TRUE(wait_idle());
    ASSERT_TRUE(reload_unanswered());
    tick_send_timer(3);
    EXPECT_TRUE(w->comm_busy);
    EXPECT_EQ(w->trans_no, 1u);
    w->PageControl1->setEnabled(false);
    tick_send_timer(1);
    EXPECT_FALSE(w->comm_busy);
    EXPECT_EQ(w->trans_no, 0u);
    EXPECT_EQ(w->reply_wait, -1);
    EXPECT_TRUE(w->PageControl1->isEnabled());
    EXPECT_TRUE(fake_dialogs.messages.empty());
    tick_send_timer(5); // nothing outstanding: further ticks change nothing
    EXPECT_EQ(w->reply_wait, -1);

    // The late reply is still decoded, but the series is not resumed.
    w->calls.clear();
    camera.send_raw(reply_frame_bytes({0xA0, 0x0A, 0x01, 0x00}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->calls.empty(); }, 5000));
    EXPECT_EQ(w->calls.front(), "common");
    EXPECT_FALSE(w->comm_busy);
    EXPECT_EQ(w->trans_no, 0u);
    EXPECT_EQ(camera.received_count(), 1u);
}

TEST_F(WindowTest, UserActionsDuringASeriesOrAnExchangeAreDropped)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    ASSERT_TRUE(reload_unanswered());
    EXPECT_FALSE(w->Trans_chk());
    w->Reset1Click();
    w->SW_push(2);

    // StxCommand while busy changes nothing at all, not even the trace.
    const QString trace = w->StatusPanel[1]->text();
    w->cmd_frame[1] = 0x23;
    w->StxCommand(w->cmd_frame, 3);
    EXPECT_EQ(w->StatusPanel[1]->text(), trace);
    // The block while busy says so.
    w->SohCommand();
    EXPECT_EQ(w->StatusPanel[1]->text(), "Busy");
    EXPECT_EQ(w->ProgressBar3->value(), 0);

    tick_send_timer(4);
    EXPECT_TRUE(w->Trans_chk());
    // Nothing of the above reached the camera.
    w->SW_push(4);
    ASSERT_TRUE(wait_idle());
    ASSERT_TRUE(wait_received(2));
    EXPECT_EQ(camera.received()[1], expected_frame({0x23, 0x32, 0x04}));
    EXPECT_EQ(camera.received_count(), 2u);
}

TEST_F(WindowTest, TheGateFlagsEachRefuse)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    EXPECT_TRUE(w->Trans_chk());
    w->kizu_busy = true;
    EXPECT_FALSE(w->Trans_chk());
    w->kizu_busy = false;
    w->ctrl_updating = true;
    EXPECT_FALSE(w->Trans_chk());
    w->ctrl_updating = false;
    w->trans_no = 3;
    EXPECT_FALSE(w->Trans_chk());
    w->trans_no = 0;
}

TEST_F(WindowTest, ReadBeyondThePageTableEndsTheSeriesWithoutSending)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    w->Trans_init(15);
    EXPECT_EQ(w->trans_no, 0u);
    EXPECT_FALSE(w->comm_busy);
    EXPECT_EQ(w->cmd_frame[1], 0x33);
}

TEST_F(WindowTest, PageChangeDuringASeriesGoesOnWithTheNewPagesTable)
{
    TFKR58* w = open_window(TFKR58::Debug);
    ASSERT_TRUE(wait_idle());
    ASSERT_TRUE(reload_unanswered());
    // The user selects Setup: its reload cannot send while the Debug read is outstanding.
    w->PageControl1->setCurrentIndex(TFKR58::SetupPage);
    EXPECT_EQ(w->trans_no, 1u);
    EXPECT_EQ(camera.received_count(), 1u);
    camera.send_raw(reply_frame_bytes({0xA0, 0x0A, 0x01, 0x00}));
    ASSERT_TRUE(wait_idle());
    auto setup = page_series(TFKR58::SetupPage);
    std::vector<Bytes> expected{page_series(TFKR58::DebugPage)[0]};
    expected.insert(expected.end(), setup.begin() + 1, setup.end());
    EXPECT_EQ(camera.received(), frames_of(expected));

    // Switching to Copy sends nothing; the series goes on with Copy's type 1 and then ends.
    w->select_page(TFKR58::DebugPage);
    ASSERT_TRUE(reload_unanswered());
    w->PageControl1->setCurrentIndex(TFKR58::CopyPage);
    EXPECT_TRUE(w->ResetButton->isHidden());
    camera.send_raw(reply_frame_bytes({0xA0, 0x0A, 0x01, 0x00}));
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received(), frames_of({page_series(TFKR58::DebugPage)[0], {0x33, 0x0A, 0x40}}));
}

TEST_F(WindowTest, PageChangesReloadOnlyLensDebugAndSetup)
{
    TFKR58* w = open_window(TFKR58::Debug);
    ASSERT_TRUE(wait_idle());
    const std::pair<int, std::size_t> expectations[] = {{TFKR58::DefectPage, 0}, {TFKR58::CopyPage, 0},
                                                        {TFKR58::LensPage, 4},   {TFKR58::SetupPage, 15},
                                                        {TFKR58::DebugPage, 6}};
    for (const auto& [page, reads] : expectations) {
        camera.clear_received();
        w->PageControl1->setCurrentIndex(page);
        ASSERT_TRUE(wait_idle());
        EXPECT_EQ(camera.received_count(), reads) << page;
        EXPECT_EQ(w->ResetButton->isHidden(), page == TFKR58::LensPage || page == TFKR58::CopyPage) << page;
    }
    // A page selected from code runs no page-change handling.
    camera.clear_received();
    w->select_page(TFKR58::LensPage);
    EXPECT_FALSE(w->comm_busy);
    EXPECT_EQ(camera.received_count(), 0u);
}

TEST_F(WindowTest, ResetLeavesTheLinkIdleAtOnce)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    w->PageControl1->setEnabled(false);
    w->Reset1Click();
    EXPECT_FALSE(w->comm_busy);
    EXPECT_EQ(w->reply_wait, -1);
    EXPECT_TRUE(w->PageControl1->isEnabled());
    ASSERT_TRUE(wait_received(1));
    EXPECT_EQ(camera.received()[0], expected_frame({0xF3}));
    // The link is free for the next command straight away.
    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 16u);
}

TEST_F(WindowTest, ParameterBlockGoesOutWholeAndWaitsForItsShortAnswer)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();
    for (std::size_t k = 0; k < frames::kParamEntries; ++k) (*w->param_image)[k] = static_cast<int>(k * 7);
    w->SohCommand();
    EXPECT_FALSE(w->PageControl1->isEnabled());
    EXPECT_EQ(w->reply_wait, TFKR58::kBlockReplyTicks);
    EXPECT_EQ(w->ProgressBar3->value(), 100); // 1024 added, shown at the bar's maximum
    ASSERT_TRUE(wait_idle());
    ASSERT_EQ(camera.received_count(), 1u);
    frames::SohBlock block{};
    frames::build_soh_block(*w->param_image, block);
    EXPECT_EQ(camera.received()[0], Bytes(block.begin(), block.end()));
    EXPECT_EQ(w->reply_frame[0], frames::SOH);
}

// ---- Service code ---------------------------------------------------------------------------

TEST_F(WindowTest, ServiceCodeTypedLetterByLetterOpensTheDebugTab)
{
    TFKR58* w = open_window(TFKR58::Debug);
    ASSERT_TRUE(wait_idle());
    w->PageControl1->setTabVisible(TFKR58::DebugPage, false);
    w->select_page(TFKR58::SetupPage);
    w->Panel1Click();
    EXPECT_TRUE(w->pwl->isHidden()) << "only the CCD Defect page opens the code entry";

    w->select_page(TFKR58::DefectPage);
    w->Panel1Click();
    ASSERT_FALSE(w->pwl->isHidden());
    QTest::keyClicks(w->pwl, "kwtz");
    EXPECT_TRUE(w->pwl->isHidden());
    EXPECT_TRUE(w->PageControl1->isTabVisible(TFKR58::DebugPage));
    EXPECT_FALSE(w->CtopOK2->isHidden());
    EXPECT_FALSE(w->ptocOk->isHidden());
}

TEST_F(WindowTest, WrongOrMixedCaseServiceCodeHidesTheEntry)
{
    TFKR58* w = open_window(TFKR58::Debug);
    ASSERT_TRUE(wait_idle());
    w->PageControl1->setTabVisible(TFKR58::DebugPage, false);
    w->select_page(TFKR58::DefectPage);

    for (const char* attempt : {"kwtx", "KwTZ"}) {
        w->pwl->clear();
        w->Panel1Click();
        if (w->pwl->isHidden()) w->Panel1Click();
        ASSERT_FALSE(w->pwl->isHidden());
        EXPECT_EQ(w->hidden_tries, 0);
        QTest::keyClicks(w->pwl, attempt);
        EXPECT_TRUE(w->pwl->isHidden()) << attempt;
        EXPECT_FALSE(w->PageControl1->isTabVisible(TFKR58::DebugPage)) << attempt;
    }
    // Upper case alone is accepted.
    w->pwl->clear();
    w->Panel1Click();
    if (w->pwl->isHidden()) w->Panel1Click();
    QTest::keyClicks(w->pwl, "KWTZ");
    EXPECT_TRUE(w->PageControl1->isTabVisible(TFKR58::DebugPage));
}

// ---- Start-up failures ----------------------------------------------------------------------

TEST_F(WindowTest, NoDeviceAtEitherPortEndsAfterTheReconnectTicks)
{
    camera.unpublish();
    // Dangling links: both ports exist by name but cannot be opened.
    ASSERT_TRUE(QFile::link(config.path() + "/gone1", port_link_path(1)));
    ASSERT_TRUE(QFile::link(config.path() + "/gone2", port_link_path(2)));

    TFKR58* w = open_window();
    EXPECT_FALSE(w->ended());
    EXPECT_EQ(w->link_status, 0);
    ASSERT_EQ(fake_dialogs.messages.size(), 1u);
    EXPECT_EQ(fake_dialogs.messages[0].text, QString::fromUtf8("オープンエラー ErrorCode = -1"));
    EXPECT_FALSE(w->PageControl1->isEnabled());

    // The ticks run through the event loop, so the open errors reach the application's handler.
    w->SendTimer->stop();
    for (int tick = 1; tick <= 2; ++tick) {
        QMetaObject::invokeMethod(w, &TFKR58::SendTimerTimer, Qt::QueuedConnection);
        ASSERT_TRUE(QTest::qWaitFor([&] { return fake_dialogs.messages.size() == std::size_t(tick) + 1; }, 5000));
        EXPECT_EQ(fake_dialogs.messages.back().text, QString::fromUtf8("オープンエラー ErrorCode = -1"));
        EXPECT_EQ(w->Comm1->Port(), tick);
    }
    QMetaObject::invokeMethod(w, &TFKR58::SendTimerTimer, Qt::QueuedConnection);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->ended(); }, 5000));
    EXPECT_EQ(fake_dialogs.messages.back().text, " Serial Port not connected ");
    EXPECT_EQ(fake_dialogs.messages.back().caption, "Comm.ERR");
    EXPECT_NE(w->exit_code(), 0);
    EXPECT_FALSE(w->SendTimer->isActive());
}

} // namespace
