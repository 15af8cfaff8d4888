// Camera->PC through every simulator fault on the first, middle and last of its 1024 reads: a copy
// that did not get every word never shows "Complete" and leaves the existing file as it was; a slow
// but good reply still gives the complete file; afterwards the technician can copy again.

#include "support/fault_runs.h"

using namespace fault_runs;
using copy_test::read_file;
using copy_test::write_file;

namespace {

constexpr int kReads = 1024;
const QByteArray kOldFile = "old contents";

class CameraToPcFault : public FaultRunTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(CameraToPcFault, OnlyACompleteCopyReplacesTheFile)
{
    const FaultCase c = GetParam();
    open_all_pages();
    window->PageControl1->setCurrentIndex(TFKR58::CopyPage);

    if (c.effect == Effect::InTime) {
        // A slow reply does not end the copy, so one copy carries the fault at all three places.
        ASSERT_TRUE(write_file(path("copy.dat"), kOldFile));
        reset_run();
        camera.inject(c.fault, 1);
        fw()->replies = 0;
        fw()->on_reply = [this, c](int reply) {
            if (reply == kReads / 2 || reply == kReads - 1) camera.inject(c.fault, 1);
        };
        start_camera_to_pc("copy.dat");
        ASSERT_TRUE(wait_for([this] { return copy_finished(); }, kCopyDeadlineMs));
        EXPECT_FALSE(fw()->complete2->isHidden());
        EXPECT_EQ(read_file(path("copy.dat")), copy_test::expected_file(camera));
        EXPECT_EQ(camera.received(), frames_of(eeprom_reads(kReads), kReads));
        EXPECT_TRUE(fake_dialogs.messages.empty());
        expect_can_act();
        return;
    }

    for (int at : positions(kReads)) {
        SCOPED_TRACE("fault on the read of address " + std::to_string(at));
        ASSERT_TRUE(write_file(path("copy.dat"), kOldFile));
        reset_run();
        fault_exchange(at, c.fault);
        start_camera_to_pc("copy.dat");
        settle(c, at);
        expect_can_act();
        // The copy restarted from address 0 and stopped at the faulted read.
        EXPECT_EQ(camera.received(), frames_of(eeprom_reads(static_cast<std::size_t>(at) + 1), kReads));
        EXPECT_TRUE(fw()->complete2->isHidden());
        EXPECT_EQ(read_file(path("copy.dat")), kOldFile);
        EXPECT_EQ(files(), QStringList{"copy.dat"});
        if (c.effect == Effect::Refused) {
            EXPECT_TRUE(shown_once(" Error ", "ERR"));
        }

        // A Load on the page goes out and completes.
        reset_run();
        window->ReLoadClick();
        ASSERT_TRUE(wait_idle());
        EXPECT_EQ(camera.received(), frames_of(page_series(TFKR58::CopyPage), 2));
        EXPECT_TRUE(fw()->complete2->isHidden());
    }
    // Each run above started after the one before had failed; the last one is followed by a
    // complete copy.
    expect_camera_to_pc_completes("copy.dat");
}

INSTANTIATE_TEST_SUITE_P(EveryFault, CameraToPcFault, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return case_name(info.param.fault); });

} // namespace
