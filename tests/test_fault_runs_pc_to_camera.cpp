// PC->Camera, single and batch, through every simulator fault on the first, middle and last
// exchange; the camera end of the line going away mid-copy and coming back; garbage between the
// replies of a copy; a reply that comes only after the time-out, in the middle of the next copy.
// A copy that did not get through never shows "Complete", and the next one completes.

#include "support/fault_runs.h"

#include "comm/comm.h"

using namespace fault_runs;
using copy_test::read_file;
using copy_test::write_file;

namespace {

// A small data file: six EEPROM words, then the reset.
constexpr unsigned kFirstAddress = 0x10;
constexpr int kWordLines = 6;

std::uint16_t file_word(int line) { return static_cast<std::uint16_t>(0xA100 + 0x0101 * line); }

QByteArray record(const QString& digits) { return digits.toLatin1().leftJustified(30, '0') + "\r\n"; }

QByteArray data_file()
{
    QByteArray file;
    for (int i = 0; i < kWordLines; ++i)
        file += record(QString::asprintf("230C%04X%04X", kFirstAddress + i, file_word(i)));
    return file + record(QStringLiteral("F3"));
}

Bytes line_command(int line)
{
    const unsigned a = kFirstAddress + static_cast<unsigned>(line);
    const std::uint16_t w = file_word(line);
    return {0x23, 0x0C, static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a & 0xFF),
            static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w & 0xFF)};
}

class PcToCameraTest : public FaultRunTest {
protected:
    FaultWindow* open_copy_page()
    {
        FaultWindow* w = open_all_pages();
        w->PageControl1->setCurrentIndex(TFKR58::CopyPage);
        EXPECT_TRUE(write_file(path("line.dat"), data_file()));
        fake_dialogs.open_answer = path("line.dat");
        return w;
    }

    // Gives the camera other words where the file writes, so a copy is seen to arrive.
    void scramble_camera()
    {
        camera.with_model([](sim::CameraModel& m) {
            for (int i = 0; i < kWordLines; ++i) m.set_eeprom_word(kFirstAddress + i, 0x0F0F);
        });
    }

    bool camera_holds_file() 
    {
        return camera.with_model([](sim::CameraModel& m) {
            for (int i = 0; i < kWordLines; ++i)
                if (m.eeprom_word(kFirstAddress + i) != file_word(i)) return false;
            return true;
        });
    }

    void start_single()
    {
        fw()->Same->setChecked(false);
        fw()->ptocOk->click();
    }

    void start_batch()
    {
        fw()->Same->setChecked(false);
        fw()->ptocOk2->click();
    }

    // Ends with the copy finished, the reset received and the words in the camera.
    void expect_copied(std::size_t units)
    {
        ASSERT_TRUE(wait_for([this] { return copy_finished(); }, kCopyDeadlineMs));
        ASSERT_TRUE(wait_received(units)); // the reset has no reply: it may arrive after the end
        EXPECT_EQ(camera.received().back(), expected_frame({frames::kCommandReset}));
        EXPECT_FALSE(fw()->complete2->isHidden());
        EXPECT_TRUE(fw()->Same->isChecked());
        EXPECT_TRUE(camera_holds_file());
        expect_can_act();
    }

    void expect_single_completes()
    {
        reset_run();
        scramble_camera();
        start_single();
        expect_copied(kWordLines + 1);
        std::vector<Bytes> lines;
        for (int i = 0; i < kWordLines; ++i) lines.push_back(line_command(i));
        lines.push_back({frames::kCommandReset});
        EXPECT_EQ(camera.received(), frames_of(lines, lines.size()));
    }

    void expect_batch_completes()
    {
        reset_run();
        scramble_camera();
        start_batch();
        ASSERT_NO_FATAL_FAILURE(expect_copied(2));
        EXPECT_EQ(camera.received().front().size(), frames::kSohBlockSize);
    }

    // The copy stopped: no "Complete", the file closed, the link free.
    void expect_not_complete()
    {
        EXPECT_TRUE(fw()->complete2->isHidden());
        EXPECT_FALSE(fw()->copy_file->isOpen());
        expect_can_act();
    }
};

class PcToCameraFault : public PcToCameraTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(PcToCameraFault, SingleModeStopsAtTheFaultedLineAndTheNextCopyCompletes)
{
    const FaultCase c = GetParam();
    open_copy_page();
    for (int at : positions(kWordLines)) {
        SCOPED_TRACE("fault on line " + std::to_string(at));
        reset_run();
        scramble_camera();
        fault_exchange(at, c.fault);
        start_single();
        if (c.effect == Effect::InTime) {
            expect_copied(kWordLines + 1);
            EXPECT_TRUE(fake_dialogs.messages.empty());
            continue;
        }
        settle(c, at);
        std::vector<Bytes> lines;
        for (int i = 0; i <= at; ++i) lines.push_back(line_command(i));
        EXPECT_EQ(camera.received(), frames_of(lines, lines.size()));
        expect_not_complete();
        if (c.effect == Effect::Refused) {
            EXPECT_TRUE(shown_once(" Error ", "ERR"));
        }
        expect_single_completes();
    }
}

// The block is the one exchange of a batch with a reply; the reset after it has none.
TEST_P(PcToCameraFault, BatchWithAFaultedBlockIsNotCompleteAndTheNextBatchCompletes)
{
    const FaultCase c = GetParam();
    open_copy_page();
    reset_run();
    scramble_camera();
    fault_exchange(0, c.fault);
    start_batch();
    if (c.effect == Effect::InTime) {
        expect_copied(2);
        EXPECT_TRUE(fake_dialogs.messages.empty());
        return;
    }
    settle(c, 0, TFKR58::kBlockReplyTicks);
    expect_not_complete();
    EXPECT_FALSE(fw()->Same->isChecked());
    if (c.effect == Effect::Refused) {
        EXPECT_TRUE(shown_once(" Error ", "ERR"));
    }
    // No reset after a block that was not accepted.
    EXPECT_EQ(camera.received_count(), 1u);
    expect_batch_completes();
}

INSTANTIATE_TEST_SUITE_P(EveryFault, PcToCameraFault, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return case_name(info.param.fault); });

// ---- The camera end of the line goes away mid-copy and comes back ------------------------------

class PulledCableTest : public PcToCameraTest {
protected:
    // With the exchange of `units` outstanding (its answer withheld), the line goes away; the
    // loss is reported and the exchange times out.
    void pull_cable(std::size_t units, int reply_ticks)
    {
        ASSERT_TRUE(wait_received(units, kCopyDeadlineMs));
        ASSERT_TRUE(window->comm_busy);
        camera.stop();
        ASSERT_TRUE(wait_for([this] { return !fake_dialogs.messages.empty(); }, 5000));
        EXPECT_EQ(fake_dialogs.messages[0].text, QString::fromUtf8(ECommLineLost().what()));
        tick_send_timer(reply_ticks + 1);
        expect_not_complete();
    }

    void plug_back()
    {
        ASSERT_TRUE(camera.start());
        ASSERT_TRUE(camera.publish_as_port(1));
    }

    // The loss message asks for Load before anything else. A copy pressed first only meets the
    // lost line: its error is shown, the link stays free, no copy runs, and Load reopens the port.
    void press_copy_before_load(QPushButton* copy)
    {
        fake_dialogs.messages.clear();
        QMetaObject::invokeMethod(copy, [copy] { copy->click(); }, Qt::QueuedConnection);
        ASSERT_TRUE(wait_for([this] { return !fake_dialogs.messages.empty(); }, 5000));
        expect_not_complete();
        window->ReLoadClick();
        ASSERT_TRUE(wait_idle());
        EXPECT_FALSE(window->Comm1->LineLost());
        expect_can_act();
    }
};

TEST_F(PulledCableTest, CameraToPcIsNotCompleteAndTheNextAttemptCompletes)
{
    open_copy_page();
    ASSERT_TRUE(write_file(path("copy.dat"), "old contents"));
    reset_run();
    fault_exchange(300, sim::Fault::NoAnswer);
    start_camera_to_pc("copy.dat");
    pull_cable(301, TFKR58::kFrameReplyTicks);
    EXPECT_EQ(read_file(path("copy.dat")), QByteArray("old contents"));
    EXPECT_EQ(files(), (QStringList{"copy.dat", "line.dat"}));

    plug_back();
    press_copy_before_load(fw()->CtopOK2);
    expect_camera_to_pc_completes("copy.dat");
}

// The line goes while the reply to address 300 is being handled, so the read of 301 is written
// to a line that is gone: the failed write ends the exchange from inside the reply handling.
TEST_F(PulledCableTest, CameraToPcWithTheNextReadWrittenToTheLostLineIsNotComplete)
{
    open_copy_page();
    ASSERT_TRUE(write_file(path("copy.dat"), "old contents"));
    reset_run();
    fw()->replies = 0;
    fw()->on_reply = [this](int reply) {
        if (reply == 301) camera.stop();
    };
    start_camera_to_pc("copy.dat");
    ASSERT_TRUE(wait_for([this] { return !fake_dialogs.messages.empty() && !window->comm_busy; }, kCopyDeadlineMs));
    fw()->on_reply = {};
    tick_send_timer(TFKR58::kFrameReplyTicks + 1);
    expect_not_complete();
    EXPECT_EQ(read_file(path("copy.dat")), QByteArray("old contents"));
    EXPECT_EQ(files(), (QStringList{"copy.dat", "line.dat"}));

    plug_back();
    window->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    expect_camera_to_pc_completes("copy.dat");
}

TEST_F(PulledCableTest, BatchIsNotCompleteAndTheNextAttemptCompletes)
{
    open_copy_page();
    reset_run();
    scramble_camera();
    fault_exchange(0, sim::Fault::NoAnswer);
    start_batch();
    pull_cable(1, TFKR58::kBlockReplyTicks);
    EXPECT_FALSE(fw()->Same->isChecked());

    plug_back();
    press_copy_before_load(fw()->ptocOk2);
    expect_batch_completes();
}

// ---- Garbage between replies ------------------------------------------------------------------

TEST_F(PcToCameraTest, GarbageBetweenTheRepliesOfASingleCopy)
{
    open_copy_page();
    for (const bool open_frame : {false, true}) {
        for (int after : positions(kWordLines - 1)) {
            SCOPED_TRACE(std::string(open_frame ? "open frame" : "resynchronised") + " after reply " + std::to_string(after + 1));
            reset_run();
            scramble_camera();
            const Garbage garbage = garbage_burst(400, static_cast<unsigned>(after), open_frame);
            ASSERT_GT(garbage.etx_errors, 0);
            fw()->replies = 0;
            fw()->on_reply = [this, after, &garbage](int reply) {
                if (reply == after + 1) camera.send_raw(garbage.bytes);
            };
            start_single();
            ASSERT_TRUE(wait_for([&] { return window->etx_errors - etx_before >= garbage.etx_errors; }, 15000));
            if (!open_frame) {
                // Garbage that ends idle costs no reply: the copy completes.
                expect_copied(kWordLines + 1);
            } else {
                // The open frame swallows the next reply, unless that reply came first.
                // A swallowed reply gives one more "ETX Error": its ID byte stands where the open
                // frame expects the ETX.
                ASSERT_TRUE(wait_for([&] { return copy_finished() || window->etx_errors - etx_before > garbage.etx_errors; }, 15000));
                if (!copy_finished()) tick_send_timer(TFKR58::kFrameReplyTicks + 1);
                EXPECT_TRUE(copy_finished());
                // A swallowed reply may have been the last line's: then the camera holds the
                // file but the copy is not reported complete, which is the safe side.
                EXPECT_TRUE(fw()->complete2->isHidden() || camera_holds_file());
                expect_can_act();
                // The reset, which has no reply, may still be on its way.
                if (!fw()->complete2->isHidden()) {
                    ASSERT_TRUE(wait_received(kWordLines + 1));
                }
            }
            expect_single_completes();
        }
    }
}

TEST_F(PcToCameraTest, GarbageBetweenTheRepliesOfCameraToPcStillGivesTheCompleteFile)
{
    open_copy_page();
    ASSERT_TRUE(write_file(path("copy.dat"), "old contents"));
    reset_run();
    const Garbage garbage = garbage_burst(2000, 7);
    fw()->replies = 0;
    fw()->on_reply = [this, &garbage](int reply) {
        if (reply == 1 || reply == 512 || reply == 1022) camera.send_raw(garbage.bytes);
    };
    start_camera_to_pc("copy.dat");
    ASSERT_TRUE(wait_for([this] { return copy_finished(); }, kCopyDeadlineMs));
    EXPECT_FALSE(fw()->complete2->isHidden());
    EXPECT_EQ(read_file(path("copy.dat")), copy_test::expected_file(camera));
    EXPECT_EQ(window->etx_errors - etx_before, 3 * garbage.etx_errors);
    expect_can_act();
}

// ---- A reply after the time-out -----------------------------------------------------------------

// The camera answers the read of address 512 only once the tool has given it up and the
// technician has started the copy again. The simulator's answers leave in order, so that answer
// comes while the new copy waits for address 0: the copy must not go on from 513 and report a
// file with the words between unread.
TEST_F(PcToCameraTest, AReplyAfterTheTimeOutDoesNotLeaveAHoleInTheNextCopy)
{
    open_copy_page();
    ASSERT_TRUE(write_file(path("copy.dat"), "old contents"));
    reset_run();
    camera.set_late_delay_ms(300);
    fault_exchange(512, sim::Fault::Late);
    start_camera_to_pc("copy.dat");
    ASSERT_TRUE(wait_received(513, kCopyDeadlineMs));
    tick_send_timer(TFKR58::kFrameReplyTicks + 1);
    expect_can_act();
    EXPECT_EQ(read_file(path("copy.dat")), QByteArray("old contents"));

    fw()->on_reply = {};
    start_camera_to_pc("copy.dat");
    ASSERT_TRUE(wait_for([this] { return copy_finished(); }, kCopyDeadlineMs));
    // The late reply is passed over and the copy goes on with the word it asked for.
    EXPECT_FALSE(fw()->complete2->isHidden());
    EXPECT_EQ(read_file(path("copy.dat")), copy_test::expected_file(camera));
    expect_can_act();
}

// The late reply passed over leaves the read asked for outstanding, with its time-out: when that
// read gets no answer either, the time-out still frees the link and no file is written.
TEST_F(PcToCameraTest, AfterALateReplyIsPassedOverTheTimeOutStillEndsTheCopy)
{
    open_copy_page();
    ASSERT_TRUE(write_file(path("copy.dat"), "old contents"));
    reset_run();
    camera.set_late_delay_ms(300);
    fault_exchange(3, sim::Fault::Late);
    start_camera_to_pc("copy.dat");
    ASSERT_TRUE(wait_received(4));
    tick_send_timer(TFKR58::kFrameReplyTicks + 1);

    fw()->on_reply = {};
    fw()->replies = 0;
    camera.inject(sim::Fault::NoAnswer, 1); // the read of address 0 goes unanswered
    start_camera_to_pc("copy.dat");
    ASSERT_TRUE(wait_for([this] { return fw()->replies == 1; }, 5000));
    EXPECT_TRUE(window->comm_busy);
    EXPECT_TRUE(window->copy_running);
    tick_send_timer(TFKR58::kFrameReplyTicks + 1);
    expect_can_act();
    EXPECT_TRUE(fw()->complete2->isHidden());
    EXPECT_EQ(read_file(path("copy.dat")), QByteArray("old contents"));
}

// The same for PC->Camera: the late reply to the last exchange of a copy given up on comes
// while the next copy waits for its first. "Complete" is shown only with the file in the camera.
TEST_F(PcToCameraTest, AReplyAfterTheTimeOutInTheNextSingleOrBatchCopy)
{
    open_copy_page();
    for (const bool batch : {false, true}) {
        SCOPED_TRACE(batch ? "batch" : "single");
        reset_run();
        scramble_camera();
        camera.set_late_delay_ms(300);
        const int at = batch ? 0 : kWordLines - 1;
        fault_exchange(at, sim::Fault::Late);
        batch ? start_batch() : start_single();
        ASSERT_TRUE(wait_received(static_cast<std::size_t>(at) + 1));
        tick_send_timer((batch ? TFKR58::kBlockReplyTicks : TFKR58::kFrameReplyTicks) + 1);
        expect_not_complete();

        scramble_camera();
        camera.clear_received();
        fw()->on_reply = {};
        fw()->replies = 0;
        batch ? start_batch() : start_single();
        // The late reply and every reply of the new copy have been handled.
        const int replies = batch ? 2 : kWordLines + 1;
        ASSERT_TRUE(wait_for([&] { return copy_finished() && fw()->replies >= replies; }, kCopyDeadlineMs));
        ASSERT_TRUE(wait_idle());
        // The reset, which has no reply, may still be on its way.
        if (!fw()->complete2->isHidden()) {
            ASSERT_TRUE(wait_received(batch ? 2 : kWordLines + 1));
        }
        EXPECT_TRUE(fw()->complete2->isHidden() || camera_holds_file());
        expect_can_act();
        camera.set_late_delay_ms(kLateInTimeMs);
        batch ? expect_batch_completes() : expect_single_completes();
    }
}

} // namespace
