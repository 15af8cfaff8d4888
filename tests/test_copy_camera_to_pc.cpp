// Camera->PC against the simulator: the 1024 reads, the file they give, the round trip into a
// second camera through the batch mode, and what happens to an existing file when the copy is
// refused, times out, meets a bad reply or cannot write.

#include "copy_test_support.h"

#include "codecs/data_file.h"

#include <QAccessible>

using namespace copy_test;

namespace {

TEST_F(CopyPageTest, RoundTripCopiesOneCameraIntoAnotherByteForByte)
{
    camera.with_model([](sim::CameraModel& m) { m.set_seed(1); });
    CopyWindow* w = open_copy_page();

    // An assistive tool reads the file and the direction as what they are with what they show.
    const auto tool_reads = [](QWidget* readout) {
        return QAccessible::queryAccessibleInterface(readout)->text(QAccessible::Name);
    };
    ASSERT_TRUE(camera_to_pc(w, "first.dat"));
    EXPECT_EQ(tool_reads(w->Copyfname2), QStringLiteral("File Name: ") + path("first.dat"));
    EXPECT_EQ(tool_reads(w->Label35), QStringLiteral("Direction: Camera->PC"));
    const std::vector<Bytes> reads = camera.received();
    ASSERT_EQ(reads.size(), 1024u);
    for (unsigned a = 0; a < 1024; ++a) ASSERT_EQ(reads[a], expected_frame(eeprom_read(a))) << "address " << a;
    const QByteArray first = read_file(path("first.dat"));
    EXPECT_EQ(first.size(), 32768);
    EXPECT_EQ(first, expected_file(camera));
    EXPECT_EQ(w->ProgressBar3->maximum(), 1024);
    EXPECT_EQ(w->ProgressBar3->value(), 1023);
    EXPECT_FALSE(w->Same->isChecked());
    EXPECT_EQ(fake_dialogs.filters, QStringList{kFilter});

    // Another camera on the line, with other memory.
    const std::vector<std::uint16_t> camera_a = camera_memory(camera);
    camera.with_model([](sim::CameraModel& m) { m.set_seed(2); });
    const std::vector<std::uint16_t> camera_b = camera_memory(camera);
    int differing = 0;
    for (std::size_t a = 0; a < 1023; ++a) differing += camera_a[a] != camera_b[a];
    ASSERT_GT(differing, 900);

    camera.clear_received();
    fake_dialogs.open_answer = path("first.dat");
    w->ptocOk2->click();
    ASSERT_TRUE(QTest::qWaitFor([w] { return !w->complete2->isHidden() && !w->comm_busy; }, kCopyDeadlineMs));
    ASSERT_TRUE(wait_received(2)); // the reset has no reply: the window is done before it arrives
    const std::vector<Bytes> units = camera.received();
    ASSERT_EQ(units.size(), 2u);
    ASSERT_EQ(units[0].size(), frames::kSohBlockSize);
    for (std::size_t a = 0; a < 1023; ++a) {
        ASSERT_EQ(units[0][2 + 2 * a], camera_a[a] & 0xFF) << "word " << a;
        ASSERT_EQ(units[0][3 + 2 * a], camera_a[a] >> 8) << "word " << a;
    }
    EXPECT_EQ(units[1], expected_frame({0xF3}));
    EXPECT_TRUE(w->Same->isChecked());
    EXPECT_EQ(tool_reads(w->Label35), QStringLiteral("Direction: PC->Camera"));
    EXPECT_EQ(w->ProgressBar3->value(), w->ProgressBar3->maximum());
    EXPECT_TRUE(w->PageControl1->isEnabled());

    ASSERT_TRUE(camera_to_pc(w, "second.dat"));
    EXPECT_EQ(tool_reads(w->Copyfname2), QStringLiteral("File Name: ") + path("second.dat"));
    EXPECT_EQ(read_file(path("second.dat")), first);
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(CopyPageTest, RefusingTheOverwriteOrCancellingTheDialogSendsNothing)
{
    CopyWindow* w = open_copy_page();
    ASSERT_TRUE(write_file(path("old.dat"), "old contents"));

    fake_dialogs.confirm_answer = false;
    fake_dialogs.save_answer = path("old.dat");
    w->CtopOK2->click();
    ASSERT_EQ(fake_dialogs.confirmations.size(), 1u);
    EXPECT_EQ(fake_dialogs.confirmations[0].text, QStringLiteral("Do you really want to over write old.dat?"));
    EXPECT_TRUE(w->Copyfname2->text().isEmpty());

    fake_dialogs.save_answer.clear();
    w->CtopOK2->click();
    EXPECT_EQ(fake_dialogs.filters.size(), 2);
    EXPECT_EQ(fake_dialogs.confirmations.size(), 1u);

    EXPECT_FALSE(w->copy_running);
    EXPECT_FALSE(w->comm_busy);
    EXPECT_EQ(camera.received_count(), 0u);
    EXPECT_EQ(read_file(path("old.dat")), QByteArray("old contents"));
}

TEST_F(CopyPageTest, ATimeOutMidCopyWritesNoFileAndLeavesTheTargetUnchanged)
{
    CopyWindow* w = open_copy_page();
    ASSERT_TRUE(write_file(path("old.dat"), "old contents"));
    // The camera falls silent on the read after address 300.
    w->before_reply = [this, w] {
        if (w->reply_frame[2] == 0x0C && w->reply_frame[3] * 256 + w->reply_frame[4] == 300)
            camera.inject(sim::Fault::NoAnswer, 1);
    };
    fake_dialogs.save_answer = path("old.dat");
    w->CtopOK2->click();
    ASSERT_TRUE(wait_received(302, kCopyDeadlineMs));
    ASSERT_TRUE(w->comm_busy);

    tick_send_timer(TFKR58::kFrameReplyTicks + 1);
    EXPECT_FALSE(w->comm_busy);
    EXPECT_FALSE(w->copy_running);
    EXPECT_EQ(camera.received_count(), 302u);
    EXPECT_EQ(w->ProgressBar3->value(), 300);
    EXPECT_TRUE(w->complete2->isHidden());
    EXPECT_EQ(read_file(path("old.dat")), QByteArray("old contents"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.dat"});
    EXPECT_TRUE(fake_dialogs.messages.empty());
}

TEST_F(CopyPageTest, AReplyNamingAnotherAddressEndsTheCopySayingWhyWithoutAFile)
{
    CopyWindow* w = open_copy_page();
    (*w->param_image)[1024] = 0x5A5A;
    const struct {
        std::uint8_t high, low;
        const char* message;
    } answers[] = {{0x04, 0x00, "Camera answered address 0x0400 for 0x0006"}, // beyond the memory
                   {0x00, 0x10, "Camera answered address 0x0010 for 0x0006"}};
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.message);
        camera.clear_received();
        fake_dialogs.messages.clear();
        // The read after address 5 is answered by a frame that names another address.
        w->before_reply = [this, w, answer] {
            if (w->reply_frame[2] == 0x0C && w->reply_frame[4] == 5 && w->reply_frame[3] == 0) {
                camera.inject(sim::Fault::NoAnswer, 1);
                camera.send_raw(reply_frame_bytes({0xA0, 0x0C, answer.high, answer.low, 0x12, 0x34}));
            }
        };
        fake_dialogs.save_answer = path("new.dat");
        w->CtopOK2->click();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !fake_dialogs.messages.empty(); }, kCopyDeadlineMs));
        EXPECT_TRUE(shown_once(answer.message, "Copy stopped"));
        EXPECT_FALSE(w->copy_running);
        EXPECT_FALSE(w->comm_busy);
        EXPECT_EQ(camera.received_count(), 7u);
        EXPECT_EQ((*w->param_image)[1024], 0x5A5A);
        EXPECT_EQ((*w->param_image)[0x10], -1);
        EXPECT_EQ(w->ProgressBar3->value(), 5);
        EXPECT_FALSE(QFile::exists(path("new.dat")));
        EXPECT_TRUE(w->complete2->isHidden());
    }
}

TEST_F(CopyPageTest, AFailedWriteKeepsTheOldFileAndShowsTheMessage)
{
    CopyWindow* w = open_copy_page();
    ASSERT_TRUE(write_file(path("old.dat"), "old contents"));
    w->save_file = [](const QString& target, const QByteArray& bytes) {
        return data_file::save_file(target, bytes, [](QIODevice& device, const QByteArray& b) {
            device.write(b.left(1000));
            return false; // the disk filled up
        });
    };
    fake_dialogs.save_answer = path("old.dat");
    w->CtopOK2->click();
    ASSERT_TRUE(QTest::qWaitFor([w] { return !w->copy_running && !w->comm_busy; }, kCopyDeadlineMs));
    EXPECT_EQ(camera.received_count(), 1024u);
    EXPECT_TRUE(shown_once("File write Error occured", "File.ERR"));
    EXPECT_TRUE(w->complete2->isHidden());
    EXPECT_EQ(read_file(path("old.dat")), QByteArray("old contents"));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.dat"});
}

} // namespace
