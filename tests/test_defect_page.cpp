// The CCD Defect page against the simulated camera: a whole search and correction session, the
// commands of the controls on the wire, the decoding of search replies, and the recovery of a
// broken table read or search.

#include "support/screenshots.h"
#include "support/window_fixture.h"

#include "pages/defect/defect_picture.h"
#include "widgets/radio_group.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <functional>

namespace {

class DefectPageTest : public WindowTest {
protected:
    // The Debug configuration (all pages), loaded, then the CCD Defect page chosen by the user.
    TFKR58* open_defect_page()
    {
        TFKR58* w = open_window(TFKR58::Debug);
        EXPECT_TRUE(wait_idle());
        w->PageControl1->setCurrentIndex(TFKR58::DefectPage);
        camera.clear_received();
        return w;
    }

    // Waits until the exchange and any table read chain are over.
    bool wait_page_idle() { return wait_idle() && QTest::qWaitFor([this] { return window->Trans_chk(); }, 15000); }

    // Runs a reply through the decoders as the answer to a command of this page.
    void feed(std::uint8_t command_class, const Bytes& body)
    {
        window->cmd_frame[1] = command_class;
        window->cmd_frame[2] = 0x36;
        window->reply_frame.fill(0);
        for (std::size_t i = 0; i < body.size(); ++i) window->reply_frame[i + 1] = body[i];
        window->Trans_end();
    }

    std::vector<Bytes> sent_frames() { return camera.received(); }

    sim::DefectEntry camera_entry(std::size_t e)
    {
        return camera.with_model([e](sim::CameraModel& m) { return m.defect().entries[e]; });
    }

    // The row as the page shows it.
    sim::DefectEntry shown_entry(int e)
    {
        const DefectRow row = window->kizu_row(e);
        return {row.enabled->isChecked(), row.fix->isChecked(), row.rev->isChecked(),
                static_cast<std::uint16_t>(row.x->text().toInt(nullptr, 16)),
                static_cast<std::uint16_t>(row.y->text().toInt(nullptr, 16))};
    }
};

std::vector<Bytes> frames_of(const std::vector<Bytes>& bodies)
{
    std::vector<Bytes> out;
    for (const Bytes& b : bodies) out.push_back(expected_frame(b));
    return out;
}

const Bytes kReadAC{0x33, 0x36, 0x40};
const Bytes kReadDF{0x33, 0x36, 0x41};
const Bytes kReadG{0x33, 0x36, 0x42};

TEST_F(DefectPageTest, SearchCorrectAndReloadShowsTheCamerasTable)
{
    TFKR58* w = open_defect_page();
    EXPECT_TRUE(camera.received().empty()) << "opening the page sends nothing";

    w->kizu_load->click();
    EXPECT_FALSE(w->Trans_chk());
    ASSERT_TRUE(wait_page_idle());
    EXPECT_EQ(sent_frames(), frames_of({kReadAC, kReadDF, kReadG}));
    EXPECT_EQ(w->g_x->text(), "0000");
    EXPECT_FALSE(w->Defect_A->isChecked());

    // Start and Next fill A..D with the sensor's four defects, then the search runs out.
    camera.clear_received();
    w->kizu_start->click();
    EXPECT_FALSE(w->PageControl1->isEnabled());
    ASSERT_TRUE(wait_page_idle());
    EXPECT_TRUE(w->PageControl1->isEnabled());
    EXPECT_EQ(sent_frames(), frames_of({{0x23, 0x36, 0x30, 0, 0, 0, 0, 0, 0, 1}}));
    EXPECT_EQ(w->Kizu_abc->itemIndex(), 0);
    EXPECT_EQ(w->kizu_ax->text(), "0012");
    EXPECT_EQ(w->kizu_ay->text(), "0005");
    for (int n = 1; n <= 3; ++n) {
        w->kizu_next->click();
        ASSERT_TRUE(wait_page_idle());
        EXPECT_EQ(w->Kizu_abc->itemIndex(), n);
        EXPECT_EQ(w->kizu_rtn->itemIndex(), 0);
    }
    for (int e = 0; e < 4; ++e) EXPECT_EQ(shown_entry(e), camera_entry(static_cast<std::size_t>(e))) << e;
    EXPECT_EQ(shown_entry(1), (sim::DefectEntry{true, true, false, 0x2A0, 0x0F3}));
    w->kizu_next->click();
    ASSERT_TRUE(wait_page_idle());
    EXPECT_EQ(w->kizu_rtn->itemIndex(), 1); // "Not found"
    EXPECT_EQ(w->Kizu_abc->itemIndex(), -1);
    EXPECT_EQ(camera.received().size(), 5u) << "decoded boxes sent nothing";

    // Correct entry B: select it, drop its FIX, set REV, show the cursor and move it by keys.
    camera.clear_received();
    w->Kizu_abc->button(1)->click();
    ASSERT_TRUE(wait_page_idle());
    EXPECT_EQ(w->kizu_ax->text(), "02A0");
    w->b_fix->click();
    ASSERT_TRUE(wait_page_idle());
    w->b_rev->click();
    ASSERT_TRUE(wait_page_idle());
    QTest::keyClick(w->kizu_sel, 'o');
    ASSERT_TRUE(wait_page_idle());
    EXPECT_TRUE(w->kizu_sel->isChecked());
    w->SpinEdit1->setValue(16);
    QTest::keyClick(w->kizu_up, 'i');
    QTest::keyClick(w->kizu_up, '6');
    QTest::keyClick(w->kizu_sel, 'x'); // not a key of the page
    EXPECT_EQ(w->kizu_ax->text(), "02B0");
    EXPECT_EQ(w->kizu_ay->text(), "00E3");
    w->kizu_auto_timerTimer();
    ASSERT_TRUE(wait_page_idle());
    EXPECT_EQ(w->b_x->text(), "02B0");
    EXPECT_EQ(sent_frames(), frames_of({{0x23, 0x36, 0x01, 0, 0},
                                        {0x23, 0x36, 0x10, 1, 0, 0, 0, 0, 1},
                                        {0x23, 0x36, 0x11, 1, 1, 0, 0, 0, 1},
                                        {0x23, 0x36, 0x01, 2, 0},
                                        {0x23, 0x36, 0x02, 1, 0x02, 0xB0, 0x00, 0xE3, 1, 0, 0}}));
    EXPECT_EQ(camera_entry(1), (sim::DefectEntry{true, false, true, 0x2B0, 0x0E3}));

    // What the page shows after a reload is what the camera holds.
    for (int e = 0; e < 7; ++e) {
        w->kizu_row(e).x->setText("FFFF");
        w->kizu_busy = true;
        w->kizu_row(e).rev->setChecked(true);
        w->kizu_busy = false;
    }
    w->kizu_load->click();
    ASSERT_TRUE(wait_page_idle());
    for (int e = 0; e < 7; ++e) EXPECT_EQ(shown_entry(e), camera_entry(static_cast<std::size_t>(e))) << e;
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(DefectPageTest, SelectionAndEntryGCommandsOnTheWire)
{
    TFKR58* w = open_defect_page();
    w->kizu_sel->setChecked(true); // cursor on entry A
    ASSERT_TRUE(wait_page_idle());
    w->Kizu_abc->setItemIndex(2);
    ASSERT_TRUE(wait_page_idle());
    w->Defect_C->click();
    ASSERT_TRUE(wait_page_idle());
    w->Kizu_abc->setItemIndex(6);
    ASSERT_TRUE(wait_page_idle());
    w->Defect_G->click(); // on
    ASSERT_TRUE(wait_page_idle());
    w->Defect_G->click(); // off
    ASSERT_TRUE(wait_page_idle());
    w->kizu_sel->setChecked(false);
    ASSERT_TRUE(wait_page_idle());
    w->g_fix->click();
    ASSERT_TRUE(wait_page_idle());
    EXPECT_EQ(sent_frames(), frames_of({{0x23, 0x36, 0x01, 1, 0},
                                        {0x23, 0x36, 0x01, 3, 0},
                                        {0x23, 0x36, 0x03, 2, 1, 0, 0, 0, 1},
                                        {0x23, 0x36, 0x01, 7, 0},
                                        {0x23, 0x36, 0x03, 6, 1, 0, 0, 0, 1, 1, 7},
                                        {0x23, 0x36, 0x03, 6, 0, 0, 0, 0, 1, 1, 7},
                                        {0x23, 0x36, 0x01, 0, 0},
                                        {0x23, 0x36, 0x10, 6, 1, 0, 0, 0, 1, 0, 0}}));
    EXPECT_TRUE(camera_entry(2).enabled);
    EXPECT_TRUE(camera_entry(6).fix);
}

TEST_F(DefectPageTest, PictureClickAndABurstOfStepsSendOneWrite)
{
    camera.with_model([](sim::CameraModel& m) {
        m.set_pal(true);
        m.set_hi_resolution(false);
    });
    TFKR58* w = open_defect_page();
    ASSERT_EQ(w->ccd_x_max, 511);
    ASSERT_EQ(w->ccd_y_max, 312);
    QTest::mouseClick(w->Shape1, Qt::LeftButton, {}, QPoint(100, 75));
    EXPECT_EQ(w->kizu_ax->text(), "00FF");
    EXPECT_EQ(w->kizu_ay->text(), "009C");
    EXPECT_TRUE(w->kizu_auto_timer->isActive());
    w->kizu_auto_timerTimer();
    ASSERT_TRUE(wait_page_idle());
    // The marker follows after the reply: 255 * 200 / 511, 156 * 150 / 312.
    EXPECT_EQ(w->Shape2->pos(), QPoint(99, 75));

    // Five presses of "Up" within the timer's 100 ms: one write with the final value.
    camera.clear_received();
    w->SpinEdit1->setValue(3);
    for (int i = 0; i < 5; ++i) w->kizu_up->click();
    EXPECT_TRUE(w->kizu_auto_timer->isActive());
    EXPECT_TRUE(camera.received().empty());
    w->kizu_auto_timerTimer();
    EXPECT_FALSE(w->kizu_auto_timer->isActive());
    ASSERT_TRUE(wait_page_idle());
    EXPECT_EQ(w->kizu_ay->text(), "008D");
    EXPECT_EQ(sent_frames(), frames_of({{0x23, 0x36, 0x02, 0, 0x00, 0xFF, 0x00, 0x8D, 1, 0, 0}}));
    EXPECT_EQ(camera_entry(0).y, 0x8D);

    // A move while the link is busy is not written on that tick.
    camera.clear_received();
    w->kizu_down->click();
    w->comm_busy = true;
    w->kizu_auto_timerTimer();
    w->comm_busy = false;
    EXPECT_EQ(w->a_y->text(), "008D");
    EXPECT_FALSE(w->kizu_auto_timer->isActive());
}

TEST_F(DefectPageTest, MarkerStartsAtItsLayoutPlaceAndFollowsEveryReply)
{
    camera.with_model([](sim::CameraModel& m) { m.set_hi_resolution(true); });
    TFKR58* w = open_window(TFKR58::Debug);
    EXPECT_EQ(w->Shape2->pos(), QPoint(12, 18));
    EXPECT_EQ(w->Shape2->size(), QSize(6, 6));
    EXPECT_EQ(w->Shape1->size(), QSize(200, 150));
    ASSERT_TRUE(wait_idle());
    // As before the status reads (both ranges 1): a position lands far outside the picture.
    w->ccd_x_max = 1;
    w->ccd_y_max = 1;
    w->kizu_ax->setText("0002");
    w->kizu_ay->setText("0001");
    w->SW_push(1);
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->Shape2->pos(), QPoint(400, 150));

    w->kizu_ax->setText("02FF");
    w->kizu_ay->setText("0100");
    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->Shape2->pos(), QPoint(200, 150));
    w->kizu_ax->setText("0000");
    w->kizu_ay->setText("0000");
    w->SW_push(1);
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(w->Shape2->pos(), QPoint(0, 0));
}

TEST_F(DefectPageTest, SearchReplyEntryNumberSelectsClampsOrSelectsNothing)
{
    TFKR58* w = open_defect_page();
    w->PageControl1->setEnabled(false);
    feed(0x23, {0xA0, 0x36, 0x31, 1, 0, 0x12, 0x34, 0x00, 0x56, 1, 1});
    EXPECT_EQ(w->Kizu_abc->itemIndex(), -1);
    EXPECT_EQ(w->kizu_ax->text(), "1234"); // the whole word, unmasked
    EXPECT_EQ(w->kizu_ay->text(), "0056");
    EXPECT_TRUE(w->PageControl1->isEnabled());
    for (int e = 0; e < 7; ++e) EXPECT_FALSE(w->kizu_row(e).enabled->isChecked()) << e;

    feed(0x23, {0xA0, 0x36, 0x32, 0, 9, 0x01, 0x02, 0x00, 0x03, 0, 1});
    EXPECT_EQ(w->Kizu_abc->itemIndex(), 6);
    EXPECT_TRUE(w->Defect_G->isChecked());
    EXPECT_EQ(w->g_x->text(), "0102");
    EXPECT_FALSE(w->g_fix->isChecked());
    EXPECT_TRUE(w->g_rev->isChecked());
    EXPECT_TRUE(w->Trans_chk());
    EXPECT_TRUE(camera.received().empty()) << "a decoded search result sends nothing";
}

TEST_F(DefectPageTest, MeasurementPairAndTheHiddenServiceCommands)
{
    TFKR58* w = open_defect_page();
    w->KizuRead->click();
    ASSERT_TRUE(wait_page_idle());
    EXPECT_EQ(w->kin_x1->text(), "0000");
    EXPECT_EQ(w->kin_p1->text(), "01A4");
    EXPECT_EQ(w->kin_y2->text(), "0001");
    EXPECT_EQ(w->kin_p2->text(), "0180");
    EXPECT_TRUE(w->kizu_auto_timer->isActive()) << "the pair ends by writing the working position";
    w->kizu_auto_timer->stop();
    w->KFFX->setChecked(true);
    ASSERT_TRUE(wait_page_idle());
    w->KFRV->setChecked(true);
    ASSERT_TRUE(wait_page_idle());
    w->kizu_lns_sel->setItemIndex(1);
    ASSERT_TRUE(wait_page_idle());
    w->Kizu_save->click();
    ASSERT_TRUE(wait_page_idle());
    EXPECT_EQ(sent_frames(), frames_of({{0x33, 0x36, 0x0C}, {0x33, 0x36, 0x0D}, {0x23, 0x36, 0x10, 0, 1},
                                        {0x23, 0x36, 0x11, 0, 1}, {0x23, 0x36, 0x05, 1}, {0x23, 0x36, 0x20}}));
    EXPECT_TRUE(w->Panel10->isHidden());
    EXPECT_TRUE(w->Kizu_save->isHidden());
}

TEST_F(DefectPageTest, SavedTableSurvivesAResetAndUnsavedChangesDoNot)
{
    TFKR58* w = open_defect_page();
    w->kizu_start->click();
    ASSERT_TRUE(wait_page_idle());
    w->Kizu_save->click();
    ASSERT_TRUE(wait_page_idle());
    w->kizu_next->click(); // B, not saved
    ASSERT_TRUE(wait_page_idle());
    w->Reset1Click();
    ASSERT_TRUE(wait_page_idle());
    w->kizu_load->click();
    ASSERT_TRUE(wait_page_idle());
    EXPECT_TRUE(w->Defect_A->isChecked());
    EXPECT_EQ(w->a_x->text(), "0012");
    EXPECT_FALSE(w->Defect_B->isChecked());
}

// ---- Broken chains and searches give the pages back ----

TEST_F(DefectPageTest, RefusedReadInTheChainKeepsWhatCameAndFreesEveryPage)
{
    TFKR58* w = open_defect_page();
    camera.with_model([](sim::CameraModel& m) {
        m.defect().entries[0] = {true, false, false, 0x111, 0x22};
        m.defect().entries[3] = {true, false, false, 0x333, 0x44};
        m.defect().refused_table_item = 0x41;
    });
    w->kizu_load->click();
    ASSERT_TRUE(wait_page_idle());
    ASSERT_EQ(fake_dialogs.messages.size(), 1u);
    EXPECT_EQ(fake_dialogs.messages[0].text, " Error ");
    EXPECT_EQ(fake_dialogs.messages[0].caption, "ERR");
    EXPECT_EQ(w->a_x->text(), "0111");
    EXPECT_TRUE(w->d_x->text().isEmpty()) << "D..F keep what they showed";
    EXPECT_EQ(sent_frames(), frames_of({kReadAC, kReadDF}));
    // Another page's command goes out at once.
    w->SW_push(1);
    ASSERT_TRUE(wait_received(3));
    EXPECT_EQ(camera.received().back(), expected_frame({0x23, 0x32, 0x01}));
}

// A reply naming another item stops the chain with the flag held; a click on "KIZU Select" or on
// "Cursor Display" frees every page, its own command refused that one time.
TEST_F(DefectPageTest, ChainAnsweredForAnotherItemHoldsUntilASelectionClick)
{
    TFKR58* w = open_defect_page();
    w->SendTimer->stop(); // the reply below comes by hand; no time-out may end the exchange first
    const std::function<void()> selection_clicks[] = {[w] { w->Kizu_abc->button(1)->click(); },
                                                      [w] { w->kizu_sel->click(); }};
    for (const auto& click : selection_clicks) {
        camera.clear_received();
        camera.inject(sim::Fault::NoAnswer, 1);
        w->kizu_load->click();
        ASSERT_TRUE(wait_received(1));
        camera.send_raw(reply_frame_bytes({0xA0, 0x36, 0x45}));
        ASSERT_TRUE(wait_idle());
        EXPECT_FALSE(w->Trans_chk()) << "the broken chain still holds the flag";
        click();
        ASSERT_TRUE(w->Trans_chk()) << "the selection click gives the pages back";
        w->SW_push(1);
        ASSERT_TRUE(wait_received(2));
        ASSERT_TRUE(wait_idle());
        EXPECT_EQ(sent_frames(), frames_of({kReadAC, {0x23, 0x32, 0x01}}));
    }
}

TEST_F(DefectPageTest, TimedOutOrLeftChainFreesEveryPage)
{
    TFKR58* w = open_defect_page();
    w->SendTimer->stop();
    camera.inject(sim::Fault::NoAnswer, 1);
    w->kizu_load->click();
    ASSERT_TRUE(wait_received(1));
    tick_send_timer(4);
    EXPECT_TRUE(w->Trans_chk());
    // The Setup page's reload goes out in full.
    camera.clear_received();
    w->PageControl1->setCurrentIndex(TFKR58::SetupPage);
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), page_series(TFKR58::SetupPage).size());

    // Leaving the page while the chain waits: the reply goes to the Copy page, the chain stops.
    w->PageControl1->setCurrentIndex(TFKR58::DefectPage);
    camera.clear_received();
    w->kizu_load->click();
    w->PageControl1->setCurrentIndex(TFKR58::CopyPage);
    ASSERT_TRUE(wait_page_idle());
    EXPECT_EQ(sent_frames(), frames_of({kReadAC}));
}

TEST_F(DefectPageTest, RefusedOrUnansweredSearchEnablesThePagesAgain)
{
    TFKR58* w = open_defect_page();
    camera.inject_for_command(sim::Fault::Refuse, 0x23, 0x36);
    w->kizu_next->click();
    ASSERT_TRUE(wait_page_idle());
    EXPECT_EQ(fake_dialogs.messages.size(), 1u);
    EXPECT_TRUE(w->PageControl1->isEnabled());

    camera.clear_faults();
    camera.clear_received();
    w->SendTimer->stop();
    camera.inject(sim::Fault::NoAnswer, 1);
    w->kizu_start->click();
    ASSERT_TRUE(wait_received(1));
    EXPECT_FALSE(w->PageControl1->isEnabled());
    tick_send_timer(4);
    EXPECT_TRUE(w->PageControl1->isEnabled());
    camera.clear_received();
    w->PageControl1->setCurrentIndex(TFKR58::SetupPage);
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), page_series(TFKR58::SetupPage).size());
}

// A search answered for an item or group that is not a search's ends without a result: nothing of
// the reply is shown, the tabs come back and the page's next command goes out.
TEST_F(DefectPageTest, SearchAnsweredForAnotherItemEndsTheSearch)
{
    TFKR58* w = open_defect_page();
    w->SendTimer->stop(); // the replies below come by hand; no time-out may end the search first
    const Bytes group_and_item[] = {{0x36, 0x2F}, {0x36, 0x33}, {0x35, 0x31}};
    for (const Bytes& answered : group_and_item) {
        const std::string which = "answered " + std::to_string(answered[0]) + " " + std::to_string(answered[1]);
        camera.clear_received();
        camera.inject(sim::Fault::NoAnswer, 1);
        w->kizu_next->click();
        ASSERT_TRUE(wait_received(1)) << which;
        ASSERT_FALSE(w->PageControl1->isEnabled()) << which;
        // Decoded, this would select entry C at 0ABC, 00DE.
        camera.send_raw(reply_frame_bytes({0xA0, answered[0], answered[1], 0, 3, 0x0A, 0xBC, 0x00, 0xDE, 1, 1}));
        ASSERT_TRUE(wait_idle()) << which;
        EXPECT_TRUE(w->PageControl1->isEnabled()) << which;
        EXPECT_EQ(w->Kizu_abc->itemIndex(), 0) << which;
        EXPECT_NE(w->kizu_ax->text(), "0ABC") << which;

        // The page's controls work again: "Load" reads the whole table.
        w->kizu_load->click();
        ASSERT_TRUE(wait_page_idle()) << which;
        EXPECT_EQ(sent_frames(), frames_of({{0x23, 0x36, 0x31}, kReadAC, kReadDF, kReadG})) << which;
    }
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(DefectPageTest, Screenshot)
{
    const QString path = screenshot_path("defect-page.png");
    if (path.isEmpty()) GTEST_SKIP() << "no screenshots asked for";
    TFKR58* w = open_defect_page();
    w->kizu_start->click();
    ASSERT_TRUE(wait_page_idle());
    w->kizu_next->click();
    ASSERT_TRUE(wait_page_idle());
    w->kizu_sel->setChecked(true);
    ASSERT_TRUE(wait_page_idle());
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    ASSERT_TRUE(w->grab().save(path));
}

} // namespace
