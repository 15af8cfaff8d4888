// Every simulator fault on the first, middle and last read of each page's read series, a reply
// that comes only after the time-out, and a burst of garbage between two replies: the series
// completes or ends cleanly, the link is free, and the next Load reads the whole page.

#include "support/fault_runs.h"

#include <tuple>

using namespace fault_runs;

namespace {

constexpr int kPages[] = {TFKR58::LensPage, TFKR58::DebugPage, TFKR58::DefectPage, TFKR58::CopyPage,
                          TFKR58::SetupPage};

class SeriesFaultTest : public FaultRunTest {
protected:
    // Shows the page as a user does and lets the reload that may bring finish.
    void show_page(int page)
    {
        window->PageControl1->setCurrentIndex(page);
        ASSERT_TRUE(wait_idle());
        ASSERT_EQ(window->active_page(), page);
        window->SendTimer->stop();
    }

    // A healthy Load sends the page's whole series, in order, and ends with the link free.
    void expect_healthy_load(int page)
    {
        reset_run();
        window->ReLoadClick();
        ASSERT_TRUE(wait_idle());
        const std::vector<Bytes> series = page_series(page);
        EXPECT_EQ(camera.received(), frames_of(series, series.size()));
        expect_can_act();
    }
};

class SeriesEveryFault : public SeriesFaultTest,
                         public ::testing::WithParamInterface<std::tuple<int, FaultCase>> {};

TEST_P(SeriesEveryFault, TheSeriesEndsCleanlyAndTheNextLoadReadsThePage)
{
    const auto [page, c] = GetParam();
    open_all_pages();
    show_page(page);
    const std::vector<Bytes> series = page_series(page);
    const auto count = static_cast<int>(series.size());
    ASSERT_GE(count, 2);

    for (int at : positions(count)) {
        SCOPED_TRACE("fault on read " + std::to_string(at) + " of " + std::to_string(count));
        reset_run();
        fault_exchange(at, c.fault);
        window->ReLoadClick();
        settle(c, at);
        expect_can_act();

        const std::vector<Bytes> sent = camera.received();
        if (c.effect == Effect::Silent) {
            // The series stops at the read that got no reply.
            EXPECT_EQ(sent, frames_of(series, static_cast<std::size_t>(at) + 1));
        } else {
            ASSERT_LE(sent.size(), series.size());
            EXPECT_EQ(sent, frames_of(series, sent.size()));
        }
        if (c.effect == Effect::InTime) {
            EXPECT_EQ(sent.size(), series.size());
            EXPECT_TRUE(fake_dialogs.messages.empty()) << fake_dialogs.messages.front().text.toStdString();
        }
        expect_healthy_load(page);
    }
}

std::string series_case_name(const ::testing::TestParamInfo<std::tuple<int, FaultCase>>& info)
{
    static const char* const names[] = {"Lens", "Debug", "Defect", "Copy", "Setup"};
    return names[std::get<0>(info.param)] + case_name(std::get<1>(info.param).fault);
}

INSTANTIATE_TEST_SUITE_P(AllPages, SeriesEveryFault,
                         ::testing::Combine(::testing::ValuesIn(kPages), ::testing::ValuesIn(kFaultCases)),
                         series_case_name);

// The camera answers a read only after the tool has given it up, while the next Load runs: the
// stray reply is taken in turn, the Load still sends its whole series and the link ends free.
TEST_F(SeriesFaultTest, AReplyAfterTheTimeOutLandsInTheNextLoadWhichStillEndsFree)
{
    open_all_pages();
    for (int page : kPages) {
        SCOPED_TRACE("page " + std::to_string(page));
        show_page(page);
        const std::vector<Bytes> series = page_series(page);
        const int at = static_cast<int>(series.size()) / 2;
        reset_run();
        camera.set_late_delay_ms(300);
        fault_exchange(at, sim::Fault::Late);
        window->ReLoadClick();
        ASSERT_TRUE(wait_received(static_cast<std::size_t>(at) + 1));
        ASSERT_TRUE(window->comm_busy);
        tick_send_timer(TFKR58::kFrameReplyTicks + 1);
        expect_can_act();

        camera.clear_received();
        fw()->replies = 0;
        fw()->on_reply = {};
        window->ReLoadClick();
        // The whole series and the stray reply have been handled.
        ASSERT_TRUE(wait_for([&] { return fw()->replies >= static_cast<int>(series.size()) + 1; }, 15000));
        ASSERT_TRUE(wait_idle());
        EXPECT_EQ(camera.received(), frames_of(series, series.size()));
        expect_can_act();
        camera.set_late_delay_ms(kLateInTimeMs);
        expect_healthy_load(page);
    }
}

// Garbage between two replies of a series. Garbage that ends idle costs no reply, so the series
// completes; garbage that ends in an open frame swallows the next reply (unless that reply came
// first), and the time-out ticked here ends the series. Either way the link ends free and the next Load works.
TEST_F(SeriesFaultTest, GarbageBetweenRepliesEndsTheSeriesCleanly)
{
    open_all_pages();
    for (int page : kPages) {
        show_page(page);
        const std::vector<Bytes> series = page_series(page);
        for (const bool open_frame : {false, true}) {
            for (int after : positions(static_cast<int>(series.size()) - 1)) {
                SCOPED_TRACE("page " + std::to_string(page) + (open_frame ? ", open frame" : ", resynchronised")
                             + " after reply " + std::to_string(after + 1));
                reset_run();
                const Garbage garbage = garbage_burst(300, static_cast<unsigned>(page * 10 + after), open_frame);
                ASSERT_GT(garbage.etx_errors, 0);
                fw()->replies = 0;
                fw()->on_reply = [this, after, &garbage](int reply) {
                    if (reply == after + 1) camera.send_raw(garbage.bytes);
                };
                window->ReLoadClick();
                ASSERT_TRUE(wait_for([&] { return window->etx_errors - etx_before >= garbage.etx_errors; }, 15000));
                if (!open_frame) {
                    ASSERT_TRUE(wait_idle());
                    EXPECT_EQ(camera.received(), frames_of(series, series.size()));
                } else {
                    // A swallowed reply gives one more "ETX Error": its ID byte stands where the
                    // open frame expects the ETX.
                    ASSERT_TRUE(wait_for([&] { return idle() || window->etx_errors - etx_before > garbage.etx_errors; }, 15000));
                    if (!idle()) tick_send_timer(TFKR58::kFrameReplyTicks + 1);
                }
                expect_can_act();
                const std::vector<Bytes> sent = camera.received();
                EXPECT_EQ(sent, frames_of(series, sent.size()));
                expect_healthy_load(page);
            }
        }
    }
}

} // namespace
