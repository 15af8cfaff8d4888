#pragma once
// Fault runs: the real window in the Debug configuration (every page shown, the Copy page's
// buttons unlocked) against the simulator, with a fault put into the answer of a chosen exchange
// of an action. SendTimer is stopped and the time-out ticked by the test, so no run waits the
// real 4.5 s; a run ends once the technician can act again.

#include "copy_test_support.h"

#include "link/receive_decoder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <random>
#include <string>

namespace fault_runs {

using copy_test::kCopyDeadlineMs;

// Like QTest::qWaitFor, but without its 10 ms sleep between rounds: the reply chain of a copy
// runs inside the event handlers, and 1024 exchanges would otherwise wait 10 s in those sleeps.
template <class Predicate>
bool wait_for(Predicate predicate, int timeout_ms)
{
    if (::testing::Test::HasFatalFailure()) return false; // as WindowTest's waits
    const QDeadlineTimer deadline(timeout_ms);
    QTimer wake; // bounds each wait for events, so the deadline is seen
    wake.start(5);
    while (!predicate()) {
        if (deadline.hasExpired()) return predicate();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// How the tool meets each simulator fault.
enum class Effect {
    Silent,  // no usable reply: the exchange ends by the time-out
    Refused, // a complete reply that is not an acceptance
    InTime,  // a good reply, only slow: the action completes
};

struct FaultCase {
    sim::Fault fault;
    Effect effect;
};

inline constexpr FaultCase kFaultCases[] = {
    {sim::Fault::NoAnswer, Effect::Silent},      {sim::Fault::BadChecksum, Effect::Silent},
    {sim::Fault::NoEtx, Effect::Silent},         {sim::Fault::Refuse, Effect::Refused},
    {sim::Fault::SecondAnswer, Effect::Refused}, {sim::Fault::SplitBytes, Effect::InTime},
    {sim::Fault::Late, Effect::InTime},
};

inline std::string case_name(sim::Fault fault)
{
    std::string name = sim::fault_name(fault);
    std::erase(name, ' ');
    return name;
}

// First, middle and last of `count` exchanges (fewer when they coincide).
inline std::vector<int> positions(int count)
{
    std::vector<int> at{0};
    if (count > 2) at.push_back(count / 2);
    if (count > 1) at.push_back(count - 1);
    return at;
}

// Random bytes with stray STX, SOH and ETX among them, holding no frame that a decoder starting
// idle would take as a reply, and the "ETX Error"s they give that decoder.
struct Garbage {
    Bytes bytes;
    int etx_errors = 0;
};

// With `open_frame_at_end` the burst ends in a bare STX, so the next reply after it is swallowed
// as the body of a frame that never was; otherwise it ends on a bad ETX, leaving the decoder idle.
inline Garbage garbage_burst(std::size_t size, unsigned seed, bool open_frame_at_end = false)
{
    static constexpr std::uint8_t kStray[] = {frames::STX, frames::SOH, frames::ETX};
    for (;; ++seed) {
        std::mt19937 random(seed);
        Garbage g;
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned r = random();
            g.bytes.push_back(r % 5 == 0 ? kStray[(r >> 8) % 3] : static_cast<std::uint8_t>(r >> 16));
        }
        // An STX, fifteen body bytes and no ETX: whatever state the bytes before left, this ends
        // on an "ETX Error" with the decoder idle.
        g.bytes.push_back(frames::STX);
        g.bytes.insert(g.bytes.end(), 16, 0x00);
        if (open_frame_at_end) g.bytes.push_back(frames::STX);
        ReceiveDecoder decoder;
        frames::Frame frame{};
        bool holds_frame = false;
        for (std::uint8_t b : g.bytes) {
            const ReceiveDecoder::Outcome out = decoder.feed(b, frame);
            g.etx_errors += out.etx_error ? 1 : 0;
            holds_frame |= out.result == ReceiveDecoder::kFrameComplete;
        }
        if (!holds_frame) return g;
    }
}

// Counts the replies the window handles and lets a test act just before each is decoded, that
// is before the next command of a chain goes out.
class FaultWindow : public copy_test::CopyWindow {
public:
    using CopyWindow::CopyWindow;

    int replies = 0;
    std::function<void(int reply)> on_reply;

protected:
    void Trans_end_common() override
    {
        ++replies;
        if (on_reply) on_reply(replies);
        TFKR58::Trans_end_common();
    }
};

class FaultRunTest : public WindowTest {
protected:
    // The Debug configuration, loaded, with the service code typed, SendTimer stopped.
    FaultWindow* open_all_pages()
    {
        FaultWindow* w = open_window<FaultWindow>(TFKR58::Debug);
        EXPECT_TRUE(wait_idle());
        w->SendTimer->stop();
        w->PageControl1->setCurrentIndex(TFKR58::DefectPage);
        w->Panel1Click();
        w->pwl->setText(QStringLiteral("kwtz"));
        EXPECT_TRUE(wait_idle());
        EXPECT_FALSE(w->CtopOK2->isHidden());
        camera.set_late_delay_ms(kLateInTimeMs);
        return w;
    }

    // The fixture's waits, through wait_for.
    bool idle() const { return window->trans_no == 0 && !window->comm_busy; }
    bool wait_idle(int timeout_ms = 15000)
    {
        return wait_for([this] { return idle(); }, timeout_ms);
    }
    bool wait_received(std::size_t count, int timeout_ms = 15000)
    {
        return wait_for([this, count] { return camera.received_count() >= count; }, timeout_ms);
    }

    FaultWindow* fw() const { return static_cast<FaultWindow*>(window.get()); }

    // The answer to exchange `at` (0 = the first of the action about to start) gets `fault`.
    void fault_exchange(int at, sim::Fault fault)
    {
        fw()->replies = 0;
        if (at == 0) {
            camera.inject(fault, 1);
            fw()->on_reply = {};
            return;
        }
        fw()->on_reply = [this, at, fault](int reply) {
            if (reply == at) camera.inject(fault, 1);
        };
    }

    // Waits until the faulted exchange `at` has ended: a silent one by the time-out ticked here
    // once its command has reached the camera, the others by the tool's own handling.
    void settle(const FaultCase& c, int at, int reply_ticks = TFKR58::kFrameReplyTicks)
    {
        if (c.effect == Effect::Silent) {
            ASSERT_TRUE(wait_received(static_cast<std::size_t>(at) + 1, kCopyDeadlineMs));
            if (c.fault == sim::Fault::NoEtx) {
                ASSERT_TRUE(wait_for([this] { return window->etx_errors > etx_before; }, 5000));
            }
            ASSERT_TRUE(window->comm_busy) << "an exchange without a usable reply must be outstanding";
            tick_send_timer(reply_ticks + 1);
        }
        ASSERT_TRUE(wait_for([this] { return !window->comm_busy && window->trans_no == 0 && !window->copy_running; },
                                    kCopyDeadlineMs));
    }

    // The technician can act: nothing outstanding, no series, no copy, the pages usable.
    void expect_can_act() const
    {
        EXPECT_TRUE(window->Trans_chk());
        EXPECT_FALSE(window->copy_running);
        EXPECT_EQ(window->reply_wait, -1);
        EXPECT_TRUE(window->PageControl1->isEnabled());
    }

    // Clears the record of the last run before the next.
    void reset_run()
    {
        camera.clear_faults();
        camera.clear_received();
        fake_dialogs.messages.clear();
        fw()->on_reply = {};
        fw()->before_reply = {};
        etx_before = window->etx_errors;
        window->SendTimer->stop();
    }

    // The units the simulator received, compared with the frames of these command bodies.
    std::vector<Bytes> frames_of(const std::vector<Bytes>& bodies, std::size_t count) const
    {
        std::vector<Bytes> frames;
        for (std::size_t i = 0; i < count && i < bodies.size(); ++i) frames.push_back(expected_frame(bodies[i]));
        return frames;
    }

    // ---- Copies ----

    QString path(const char* name) const { return folder.filePath(QString::fromLatin1(name)); }

    // True when exactly this one message box has been shown.
    bool shown_once(const char* text, const char* caption) const
    {
        return fake_dialogs.messages.size() == 1 && fake_dialogs.messages[0].text == QLatin1String(text)
               && fake_dialogs.messages[0].caption == QLatin1String(caption);
    }

    bool copy_finished() const { return !window->copy_running && !window->comm_busy; }

    // The data files in the folder, hidden ones (a temporary file left behind) included.
    QStringList files() const { return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden); }

    // Camera->PC into an existing file, which the tool may replace only with a complete copy.
    void start_camera_to_pc(const char* name)
    {
        fake_dialogs.save_answer = path(name);
        fake_dialogs.confirm_answer = true;
        fw()->CtopOK2->click();
    }

    // A healthy Camera->PC that completes with the camera's memory in the file.
    void expect_camera_to_pc_completes(const char* name)
    {
        reset_run();
        start_camera_to_pc(name);
        ASSERT_TRUE(wait_for([this] { return copy_finished(); }, kCopyDeadlineMs));
        EXPECT_FALSE(fw()->complete2->isHidden());
        EXPECT_EQ(copy_test::read_file(path(name)), copy_test::expected_file(camera));
        EXPECT_EQ(camera.received_count(), 1024u);
        expect_can_act();
    }

    // The reads Camera->PC sends for addresses 0..count-1.
    static std::vector<Bytes> eeprom_reads(std::size_t count)
    {
        std::vector<Bytes> reads;
        for (unsigned a = 0; a < count; ++a) reads.push_back(copy_test::eeprom_read(a));
        return reads;
    }

    QTemporaryDir folder;
    static constexpr int kLateInTimeMs = 150;
    int etx_before = 0;
};

} // namespace fault_runs
