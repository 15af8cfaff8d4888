// The link against port failures and a noisy line: failed writes at start-up and in flight, the
// camera end of the line going away and coming back, stray bytes before a command, and noise that
// damages many frames.

#include "support/window_fixture.h"

#include "comm/comm.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTabWidget>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>

namespace {

// The real serial component, except that once `writes_before_failure` more writes have gone
// out, the next one fails as on a device that has gone away (-1: none fails).
class FailingComm : public TComm {
public:
    using TComm::TComm;
    bool Write(const void* buffer, int count) override
    {
        if (writes_before_failure == 0) {
            writes_before_failure = -1;
            throw ECommReadWriteError(EIO);
        }
        if (writes_before_failure > 0) --writes_before_failure;
        return TComm::Write(buffer, count);
    }
    int writes_before_failure = -1;
};

double process_cpu_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

const QString kWriteError = QString::fromUtf8(ECommReadWriteError(EIO).what());

class FailingWriteTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        TFKR58::set_comm_factory([this](QObject* owner) {
            comm = new FailingComm(owner);
            comm->writes_before_failure = writes_before_failure;
            return comm;
        });
    }
    void TearDown() override
    {
        TFKR58::set_comm_factory({});
        WindowTest::TearDown();
    }

    // The link is free and the technician can act: nothing outstanding, no series, pages usable.
    void expect_link_free() const
    {
        EXPECT_FALSE(window->comm_busy);
        EXPECT_EQ(window->trans_no, 0u);
        EXPECT_EQ(window->reply_wait, -1);
        EXPECT_TRUE(window->PageControl1->isEnabled());
    }

    int writes_before_failure = -1;
    FailingComm* comm = nullptr;
};

TEST_F(FailingWriteTest, AWriteFailingAtStartUpIsShownAndTheProgramGoesOn)
{
    writes_before_failure = 0;
    TFKR58* w = open_window();
    ASSERT_FALSE(w->ended());
    ASSERT_EQ(fake_dialogs.messages.size(), 1u);
    EXPECT_EQ(fake_dialogs.messages[0].text, kWriteError);
    expect_link_free();
    EXPECT_EQ(camera.received_count(), 0u);

    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 15u);
    EXPECT_EQ(fake_dialogs.messages.size(), 1u);
}

TEST_F(FailingWriteTest, AWriteFailingInFlightFreesTheLinkAndTheNextActionGoesOut)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    camera.clear_received();

    // From a user's action: the error reaches the application's handler through the event loop.
    comm->writes_before_failure = 0;
    QMetaObject::invokeMethod(w, [w] { w->ReLoadClick(); }, Qt::QueuedConnection);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_dialogs.messages.empty(); }, 5000));
    EXPECT_EQ(fake_dialogs.messages[0].text, kWriteError);
    expect_link_free();

    // From inside a series: the third read fails to go out, the series is dropped.
    camera.clear_received();
    comm->writes_before_failure = 2;
    w->ReLoadClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake_dialogs.messages.size() == 2; }, 5000));
    ASSERT_TRUE(wait_idle());
    expect_link_free();
    EXPECT_EQ(camera.received_count(), 2u);

    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 17u);
    EXPECT_EQ(fake_dialogs.messages.size(), 2u);
}

// ---- The camera end of the line goes away ---------------------------------------------------

TEST_F(WindowTest, APulledCableIsReportedOnceCostsNoCpuAndLoadWorksWhenItIsBack)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    // A read is outstanding when the cable goes.
    ASSERT_TRUE(reload_unanswered());
    camera.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_dialogs.messages.empty(); }, 5000));
    EXPECT_EQ(fake_dialogs.messages[0].text, QString::fromUtf8(ECommLineLost().what()));

    // While the peer is gone the tool neither spins nor repeats the message.
    const double cpu_before = process_cpu_seconds();
    QElapsedTimer gone;
    gone.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gone.elapsed() >= 1000; }, 2000));
    const double cpu_used = process_cpu_seconds() - cpu_before;
    std::printf("CPU while the line was gone: %.3f s in %lld ms\n", cpu_used, static_cast<long long>(gone.elapsed()));
    EXPECT_LT(cpu_used, 0.3);
    EXPECT_EQ(fake_dialogs.messages.size(), 1u);

    // The exchange in flight times out as any other.
    tick_send_timer(4);
    EXPECT_FALSE(w->comm_busy);
    EXPECT_EQ(w->trans_no, 0u);

    // The camera comes back (on a new pseudo-terminal, as a replugged adapter may): Load reopens.
    ASSERT_TRUE(camera.start());
    ASSERT_TRUE(camera.publish_as_port(1));
    camera.clear_received();
    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 15u);
    EXPECT_FALSE(w->Comm1->LineLost());
    EXPECT_EQ(fake_dialogs.messages.size(), 1u);
}

// ---- Stray bytes and noise ------------------------------------------------------------------

TEST_F(WindowTest, AStrayFrameStartOnAnIdleLineDoesNotSwallowTheNextReply)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    for (std::uint8_t stray : {frames::SOH, frames::STX}) {
        camera.clear_received();
        camera.send_raw({stray});
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->rx_decoder.state() == ReceiveDecoder::Body; }, 5000));
        w->ReLoadClick();
        ASSERT_TRUE(wait_idle());
        EXPECT_EQ(camera.received_count(), 15u) << int(stray);
        EXPECT_EQ(w->TV->text(), QStringLiteral("NTSC"));
        EXPECT_TRUE(fake_dialogs.messages.empty()) << fake_dialogs.messages.front().text.toStdString();
    }
}

// Random bytes that hold no frame with a good checksum (which would reach the decoders as a
// reply), and the number of "ETX Error"s they give a decoder that starts idle.
struct Noise {
    Bytes bytes;
    int etx_errors = 0;
};

Noise make_noise(std::size_t size)
{
    for (unsigned seed = 1;; ++seed) {
        std::mt19937 random(seed);
        Noise noise;
        for (std::size_t i = 0; i < size; ++i) noise.bytes.push_back(static_cast<std::uint8_t>(random()));
        ReceiveDecoder decoder;
        frames::Frame frame{};
        bool holds_frame = false;
        for (std::uint8_t b : noise.bytes) {
            const ReceiveDecoder::Outcome out = decoder.feed(b, frame);
            noise.etx_errors += out.etx_error ? 1 : 0;
            holds_frame |= out.result == ReceiveDecoder::kFrameComplete;
        }
        if (!holds_frame) return noise;
    }
}

// A message box that stays open, as a technician's would, until the line has been read through.
class OpenBoxDialogs final : public Dialogs {
public:
    explicit OpenBoxDialogs(std::function<bool()> close_when) : close_when_(std::move(close_when)) {}
    void message(const QString& text, const QString&) override
    {
        shown.push_back(text);
        if (text == QLatin1String("ETX Error")) (void)QTest::qWaitFor(close_when_, 15000);
    }
    bool confirm(const QString&, const QString&) override { return false; }
    QString open_file_name(const QString&, const QString&) override { return {}; }
    QString save_file_name(const QString&, const QString&) override { return {}; }
    QStringList shown;

private:
    std::function<bool()> close_when_;
};

TEST_F(WindowTest, NoiseBeforeACommandOpensOneBoxAndTheReplyIsStillDecoded)
{
    TFKR58* w = open_window();
    ASSERT_TRUE(wait_idle());
    const Noise noise = make_noise(4096);
    ASSERT_GT(noise.etx_errors, 10);
    OpenBoxDialogs boxes([&] { return w->etx_errors >= noise.etx_errors; });
    set_dialogs(&boxes);

    camera.send_raw(noise.bytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->etx_errors >= noise.etx_errors; }, 15000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.shown.isEmpty(); }, 5000));
    EXPECT_EQ(boxes.shown, QStringList{QStringLiteral("ETX Error")});
    EXPECT_EQ(w->etx_errors, noise.etx_errors);

    camera.clear_received();
    w->ReLoadClick();
    ASSERT_TRUE(wait_idle());
    EXPECT_EQ(camera.received_count(), 15u);
    EXPECT_EQ(boxes.shown.size(), 1);
    set_dialogs(&fake_dialogs);
}

} // namespace
