// PC->Camera against the simulator: the single mode replaying a file line by line, the batch
// mode sending it as one block, "Same File Name", and the failures that must send nothing.

#include "copy_test_support.h"
#include "support/screenshots.h"

using namespace copy_test;

namespace {

QByteArray line(const char* digits) { return QByteArray(digits).leftJustified(30, '0') + "\r\n"; }

Bytes body_of(const char* digits)
{
    const QByteArray bytes = QByteArray::fromHex(QByteArray(digits).leftJustified(28, '0'));
    return Bytes(bytes.begin(), bytes.end());
}

bool single_done(TFKR58* w)
{
    return QTest::qWaitFor([w] { return !w->copy_running && !w->comm_busy; }, kCopyDeadlineMs);
}

TEST_F(CopyPageTest, SingleModeSendsEveryLineAsItStandsUpToTheReset)
{
    CopyWindow* w = open_copy_page();
    const QByteArray file = line("230C0001ABCD")
                            + line("230c0002beef")             // lower-case digits
                            + line("2332020000000000000000000000FF") // a menu key; the ID replaces FF
                            + line("F3") + line("230C00031111");  // never sent
    ASSERT_TRUE(write_file(path("script.dat"), file));
    fake_dialogs.open_answer = path("script.dat");

    w->ptocOk->click();
    ASSERT_TRUE(single_done(w));
    ASSERT_TRUE(wait_received(4)); // the reset has no reply: the window is done before it arrives
    EXPECT_EQ(camera.received(), (std::vector<Bytes>{expected_frame(body_of("230C0001ABCD")),
                                                     expected_frame(body_of("230C0002BEEF")),
                                                     expected_frame(body_of("23320200")), expected_frame({0xF3})}));
    EXPECT_FALSE(w->complete2->isHidden());
    EXPECT_TRUE(w->Same->isChecked());
    EXPECT_FALSE(w->copy_file->isOpen());
    EXPECT_EQ(w->ProgressBar3->maximum(), file.size());
    EXPECT_EQ(w->ProgressBar3->value(), 4 * 32);
    EXPECT_TRUE(fake_dialogs.messages.empty());

    // "Same File Name" now checked: the next camera gets the same file without a dialog.
    const std::vector<Bytes> camera_first_run = camera.received();
    camera.clear_received();
    w->ptocOk->click();
    ASSERT_TRUE(single_done(w));
    ASSERT_TRUE(wait_received(4));
    EXPECT_EQ(camera.received(), camera_first_run);
    EXPECT_EQ(fake_dialogs.filters, QStringList{kFilter});
}

TEST_F(CopyPageTest, SingleModeEndsAtAnEmptyLineStopsAtALineWithoutADigitAndSendsALastLineWithoutItsLastCharacter)
{
    CopyWindow* w = open_copy_page();
    // After a line sent, an empty line ends the copy as the file's end does; a line that converts
    // no digit is a read failure: nothing goes out for it or after it.
    const std::pair<QByteArray, bool> stops[] = {{"\n", true}, {"\r\n", true}, {line("X30C00022222"), false}};
    for (const auto& [stop, completes] : stops) {
        camera.clear_received();
        fake_dialogs.messages.clear();
        ASSERT_TRUE(write_file(path("stop.dat"), line("230C00011111") + stop + line("230C00033333")));
        fake_dialogs.open_answer = path("stop.dat");
        w->Same->setChecked(false);
        w->ptocOk->click();
        ASSERT_TRUE(single_done(w));
        EXPECT_EQ(camera.received(), std::vector<Bytes>{expected_frame(body_of("230C00011111"))}) << stop.data();
        EXPECT_EQ(w->complete2->isHidden(), !completes) << stop.data();
        EXPECT_EQ(w->Same->isChecked(), completes) << stop.data();
        if (!completes) EXPECT_TRUE(shown_once("File read Error occured", "File.ERR")) << stop.data();
        else EXPECT_TRUE(fake_dialogs.messages.empty()) << stop.data();
        EXPECT_FALSE(w->copy_file->isOpen());
    }

    // The last line's 7 is dropped, so frame byte 7 keeps the 00 of the line before.
    camera.clear_received();
    w->Same->setChecked(false);
    ASSERT_TRUE(write_file(path("tail.dat"), line("230C00011111") + "230C000512347"));
    fake_dialogs.open_answer = path("tail.dat");
    w->ptocOk->click();
    ASSERT_TRUE(single_done(w));
    EXPECT_EQ(camera.received(), (std::vector<Bytes>{expected_frame(body_of("230C00011111")),
                                                     expected_frame(body_of("230C00051234"))}));
    EXPECT_FALSE(w->complete2->isHidden());
    EXPECT_TRUE(w->Same->isChecked());
}

TEST_F(CopyPageTest, DialogsStartInTheLastFolderAndFilesWithoutALineToSendAreReadFailures)
{
    CopyWindow* w = open_copy_page();
    w->CtopOK2->click(); // cancelled: the file name is now empty
    ASSERT_TRUE(w->Copyfname2->text().isEmpty());
    w->Same->setChecked(true);
    w->ptocOk->click(); // the open dialog is cancelled too
    EXPECT_EQ(fake_dialogs.filters, (QStringList{kFilter, kFilter}));
    EXPECT_FALSE(w->Same->isChecked());
    EXPECT_FALSE(w->comm_busy);
    EXPECT_EQ(camera.received_count(), 0u);

    // Each of these is a read failure: nothing is sent, no "Complete", "Same File Name" unchanged.
    const std::pair<const char*, QByteArray> unsendable[] = {{"missing.dat", {}},
                                                             {"empty.dat", ""},
                                                             {"lf.dat", "\n" + line("230C00011111")},
                                                             {"crlf.dat", "\r\n" + line("230C00011111")},
                                                             {"nodigit.dat", line("G30C00011111") + line("230C00022222")}};
    for (const auto& [name, content] : unsendable) {
        fake_dialogs.messages.clear();
        if (!content.isNull()) {
            ASSERT_TRUE(write_file(path(name), content));
        }
        fake_dialogs.open_answer = path(name);
        w->ptocOk->click();
        EXPECT_TRUE(shown_once("File read Error occured", "File.ERR")) << name;
        EXPECT_FALSE(w->copy_running) << name;
        EXPECT_FALSE(w->copy_file->isOpen()) << name;
        EXPECT_TRUE(w->complete2->isHidden()) << name;
        EXPECT_FALSE(w->Same->isChecked()) << name;
    }
    EXPECT_EQ(camera.received_count(), 0u);

    // Both dialogs start with the data files of the folder chosen last in either of them.
    fake_dialogs.save_answer.clear();
    w->CtopOK2->click();
    const QString last = path("*.dat");
    EXPECT_EQ(fake_dialogs.starts, (QStringList{"*.dat", "*.dat", "*.dat", last, last, last, last, last}));
}

TEST_F(CopyPageTest, ARefusedOrMissingReplyStopsTheSingleCopyAndClosesTheFile)
{
    CopyWindow* w = open_copy_page();
    ASSERT_TRUE(write_file(path("two.dat"), line("230C00011111") + line("230C00022222")));
    fake_dialogs.open_answer = path("two.dat");

    camera.inject(sim::Fault::Refuse, 1);
    w->ptocOk->click();
    ASSERT_TRUE(single_done(w));
    EXPECT_TRUE(shown_once(" Error ", "ERR"));
    EXPECT_EQ(camera.received_count(), 1u);
    EXPECT_FALSE(w->copy_file->isOpen());
    EXPECT_TRUE(w->complete2->isHidden());

    w->SendTimer->stop();
    camera.clear_received();
    camera.inject(sim::Fault::NoAnswer, 1);
    w->ptocOk->click();
    ASSERT_TRUE(wait_received(1));
    ASSERT_TRUE(w->copy_file->isOpen());
    tick_send_timer(TFKR58::kFrameReplyTicks + 1);
    EXPECT_FALSE(w->copy_running);
    EXPECT_FALSE(w->copy_file->isOpen());
    EXPECT_TRUE(w->complete2->isHidden());
    EXPECT_EQ(camera.received_count(), 1u);
}

TEST_F(CopyPageTest, BatchSendsTheFileAsOneBlockThenResetsTheCamera)
{
    CopyWindow* w = open_copy_page();
    for (std::size_t i = 0; i < frames::kParamEntries; ++i) (*w->param_image)[i] = static_cast<std::int32_t>(i * 5);
    const QByteArray file = line("230C0005A1B2") + line("230C03FFC3D4") + line("230C00051234") // 5 again
                            + line("F3") + "\x1A\r\n" + line("230C00069999");                // after the mark
    ASSERT_TRUE(write_file(path("batch.dat"), file));
    fake_dialogs.open_answer = path("batch.dat");

    w->ptocOk2->click();
    ASSERT_TRUE(QTest::qWaitFor([w] { return !w->complete2->isHidden() && !w->comm_busy; }, kCopyDeadlineMs));
    ASSERT_TRUE(wait_received(2));
    frames::ParamImage expected;
    for (std::size_t i = 0; i < frames::kParamEntries; ++i) expected[i] = static_cast<std::int32_t>(i * 5);
    expected[10] = 0x34;
    expected[11] = 0x12;
    expected[2046] = 0xD4;
    expected[2047] = 0xC3;
    frames::SohBlock block{};
    frames::build_soh_block(expected, block);
    EXPECT_EQ(camera.received(), (std::vector<Bytes>{Bytes(block.begin(), block.end()), expected_frame({0xF3})}));
    EXPECT_TRUE(w->Same->isChecked());
    EXPECT_EQ(w->ProgressBar3->value(), w->ProgressBar3->maximum());
    EXPECT_TRUE(w->PageControl1->isEnabled());
    EXPECT_FALSE(w->copy_file->isOpen());
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(CopyPageTest, BatchReadFailuresSendNoBlock)
{
    CopyWindow* w = open_copy_page();
    const frames::ParamImage before = *w->param_image;
    const QByteArray failing[] = {line("230C00011111") + "230C000222\r\n",          // a 23 line of 11 characters
                                  line("230C00011111") + "\n" + line("230C00022222"),    // an empty line
                                  line("230C00011111") + "\r\n" + line("230C00022222")}; // a blank CR LF line
    for (const QByteArray& file : failing) {
        fake_dialogs.messages.clear();
        ASSERT_TRUE(write_file(path("bad.dat"), file));
        fake_dialogs.open_answer = path("bad.dat");
        w->ptocOk2->click();
        EXPECT_TRUE(shown_once("File read Error occured", "File.ERR"));
        EXPECT_FALSE(w->copy_file->isOpen());
        EXPECT_FALSE(w->comm_busy);
        EXPECT_TRUE(w->complete2->isHidden());
        EXPECT_FALSE(w->Same->isChecked());
        EXPECT_EQ(*w->param_image, before);
    }
    EXPECT_EQ(camera.received_count(), 0u);
}

TEST_F(CopyPageTest, ARefusedBlockSendsNoResetAndFreesThePages)
{
    CopyWindow* w = open_copy_page();
    ASSERT_TRUE(write_file(path("one.dat"), line("230C00011111")));
    fake_dialogs.open_answer = path("one.dat");
    camera.inject(sim::Fault::Refuse, 1);
    w->ptocOk2->click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !fake_dialogs.messages.empty(); }, kCopyDeadlineMs));
    EXPECT_TRUE(shown_once(" Error ", "ERR"));
    EXPECT_EQ(camera.received_count(), 1u);
    EXPECT_TRUE(w->PageControl1->isEnabled());
    EXPECT_FALSE(w->copy_running);
    EXPECT_TRUE(w->complete2->isHidden());
    EXPECT_FALSE(w->Same->isChecked());
}

// The page after a batch copy, for the documentation (scripts/screenshots.sh).
TEST_F(CopyPageTest, ScreenshotOfThePageAfterACopy)
{
    const QString shot = screenshot_path("copy-page.png");
    if (shot.isEmpty()) GTEST_SKIP() << "no screenshots asked for";
    CopyWindow* w = open_copy_page();
    ASSERT_TRUE(write_file(path("line-7.dat"), line("230C0005A1B2")));
    fake_dialogs.open_answer = path("line-7.dat");
    w->ptocOk2->click();
    ASSERT_TRUE(QTest::qWaitFor([w] { return !w->complete2->isHidden() && !w->comm_busy; }, kCopyDeadlineMs));
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
    ASSERT_TRUE(w->grab().save(shot));
}

} // namespace
