// The station's link and jobs against a simulated camera, where the serial line itself misbehaves:
// a write the serial component does not finish, a line with modem signals whose DSR drops or is
// on before the camera answers, and a port whose device goes away. The serial component is a
// real one over the simulator's pseudo-terminal; a test double plays only its DSR line and its
// write's outcome.

#include "codecs/data_file.h"
#include "comm/port_naming.h"
#include "sim_camera.h"
#include "station/jobs.h"
#include "station/presence.h"
#include "station/station_link.h"
#include "station_test_support.h"
#include "support/private_folder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

using namespace station;

namespace {

constexpr int kBootMs = 300;
constexpr int kLastAddress = 0x3FF;
constexpr std::uint8_t kRead = 0x33;
constexpr std::uint8_t kEeprom = 0x0C;

// A serial port whose line has modem signals (DSR on until dropped) and whose writes can be made
// to end undone, as the component reports a write time-out.
class LineDouble final : public TComm {
public:
    bool Write(const void* buffer, int count) override { return !writes_fail && TComm::Write(buffer, count); }
    bool GetDsrState() const override { return dsr; }
    bool HasModemLines() const override { return true; }

    // From any thread: DSR drops, and the port's owner hears of it as from the watcher.
    void drop_dsr()
    {
        dsr = false;
        QMetaObject::invokeMethod(
            this, [this] { if (OnCommEvent) OnCommEvent(this, event_bit(evDsr)); }, Qt::QueuedConnection);
    }

    std::atomic<bool> writes_fail{false};
    std::atomic<bool> dsr{true};
};

class StationLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        camera.set_boot_ms(kBootMs);
        camera.set_trace([this](const sim::TraceEvent& event) { on_received(event); });
        ASSERT_TRUE(camera.start());
        ASSERT_TRUE(camera.publish_as_port(1));
        auto comm = std::make_unique<LineDouble>();
        line = comm.get();
        link = std::make_unique<StationLink>(1, 1, std::move(comm));
        QString error;
        ASSERT_TRUE(link->open(&error)) << error.toStdString();
        ASSERT_TRUE(link->has_modem_signals());
    }

    // The simulator's thread: drops DSR when the unit that a test names arrives, and notes when
    // the reset arrived, what the camera ignored while it restarted, and when it first answered.
    void on_received(const sim::TraceEvent& event)
    {
        const std::int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
        const bool restarting = reset_at != 0 && back_at == 0;
        if (event.kind == sim::TraceEvent::Kind::Ignored && restarting) ignored_bytes += static_cast<int>(event.bytes.size());
        if (event.kind == sim::TraceEvent::Kind::Sent && restarting) back_at = now;
        if (event.kind != sim::TraceEvent::Kind::Received || event.bytes.size() != frames::kFrameSize) return;
        const bool reset = event.bytes[1] == frames::kCommandReset;
        if (reset) reset_at = now;
        const bool read = event.bytes[1] == kRead && event.bytes[2] == kEeprom;
        if ((reset && drop_dsr_at_reset) || (read && event.bytes[3] * 256 + event.bytes[4] == drop_dsr_at_read))
            line->drop_dsr();
    }

    // A master the camera does not hold yet (word 0x12 changed), as Camera->PC writes it.
    void load_master()
    {
        frames::ParamImage image = camera_image(camera);
        image[0x12] ^= 0x0101;
        const QString path = folder.filePath(QStringLiteral("master.dat"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data_file::camera_file(image));
        file.close();
        QString error;
        ASSERT_TRUE(load_master_file(path, master, &error)) << error.toStdString();
        settings.file = &master;
        settings.boot_timeout_ms = 5000;
    }

    PrivateFolder config{"XDG_CONFIG_HOME"};
    QTemporaryDir folder;
    std::atomic<bool> drop_dsr_at_reset{false};
    std::atomic<int> drop_dsr_at_read{-1};
    std::atomic<std::int64_t> reset_at{0}; // steady clock ticks
    std::atomic<std::int64_t> back_at{0};
    std::atomic<int> ignored_bytes{0};
    sim::SimCamera camera;
    LineDouble* line = nullptr;
    std::unique_ptr<StationLink> link;
    MasterFile master;
    JobSettings settings;
};

TEST_F(StationLinkTest, AWriteTheComponentDidNotFinishIsALostLine)
{
    line->writes_fail = true;
    QElapsedTimer clock;
    clock.start();
    const Reply reply = link->read_word(0x10);
    EXPECT_EQ(reply.status, LinkStatus::LineLost);
    EXPECT_TRUE(link->line_lost());
    EXPECT_LT(clock.elapsed(), kProbeTimeoutMs) << "it waited for an answer to a command never sent";
}

TEST_F(StationLinkTest, DsrDroppedDuringTheJobMeansTheCameraLeft)
{
    load_master();
    const struct {
        const char* name;
        bool at_reset;
        int at_read;
        const char* reason;
    } cases[] = {
        {"while it restarts", true, -1, "the camera left while it restarted (DSR dropped)"},
        {"while it is read back", false, 0x100, "the camera left at 0x0100 (DSR dropped)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        line->dsr = true;
        drop_dsr_at_reset = c.at_reset;
        drop_dsr_at_read = c.at_read;
        link->watch_camera_leaving(true);
        const JobOutcome outcome = run_job(*link, settings, {});
        link->watch_camera_leaving(false);
        drop_dsr_at_reset = false;
        drop_dsr_at_read = -1;
        EXPECT_EQ(outcome.result, JobResult::FailLink);
        EXPECT_EQ(outcome.reason.toStdString(), c.reason);
        ASSERT_TRUE(wait_until_answering(*link, kLastAddress, 5000)) << "the camera did not come back";
    }
}

TEST_F(StationLinkTest, ACameraBackFromItsResetIsSeenWithinAProbeRepeat)
{
    // The camera restarts for 1 s after its reset. Once it has gone silent (its first probe
    // unanswered for 0.3 s) the job repeats the probe every 50 ms, so the camera ignores a dozen
    // of them and is seen back within about 50 ms; probed every 0.3 s it would ignore four and be
    // seen back up to 0.3 s late. The best of three jobs, so that a machine under load does not
    // decide it.
    constexpr int kRestartMs = 1000;
    constexpr int kProbeBytes = frames::kFrameSize;
    camera.set_boot_ms(kRestartMs);
    load_master();
    std::chrono::steady_clock::duration soonest = std::chrono::hours(1);
    int most_ignored = 0;
    for (int job = 0; job < 3; ++job) {
        reset_at = 0;
        back_at = 0;
        ignored_bytes = 0;
        const JobOutcome outcome = run_job(*link, settings, {});
        EXPECT_EQ(outcome.result, JobResult::Pass) << outcome.reason.toStdString();
        ASSERT_NE(back_at, 0) << "no answer after the reset";
        soonest = std::min(soonest, std::chrono::steady_clock::duration(back_at - reset_at) - std::chrono::milliseconds(kRestartMs));
        most_ignored = std::max(most_ignored, ignored_bytes / kProbeBytes);
    }
    EXPECT_GE(most_ignored, 8) << "probes while the camera restarted";
    EXPECT_LT(soonest, std::chrono::milliseconds(150))
        << "seen back " << std::chrono::duration_cast<std::chrono::milliseconds>(soonest).count() << " ms late";
}

TEST_F(StationLinkTest, DsrOnIsNotAnAnswer)
{
    camera.unplug();
    QTimer::singleShot(2 * kBootMs, [&] { camera.plug_in(5); });
    QTimer::singleShot(10000, [&] { link->stop(); }); // a camera that is never found ends the test
    const std::optional<int> word = wait_for_camera(*link, kLastAddress);
    EXPECT_TRUE(camera.plugged_in()) << "a camera was found before any was plugged in";
    ASSERT_TRUE(word.has_value()) << "the camera plugged in was never found";
    EXPECT_EQ(*word, camera_image(camera)[kLastAddress]);
}

TEST_F(StationLinkTest, ALostLineIsOpenedAgainOnItsOwnDeviceOnly)
{
    const QString device = port_link_path(1);
    EXPECT_EQ(link->device(), device);
    // The COM1 link goes with its adapter; port 1 would now name /dev/ttyUSB0 or /dev/ttyS0.
    camera.unpublish();
    link->close();
    QString error;
    EXPECT_FALSE(link->open(&error));
    EXPECT_EQ(link->device(), device);
    EXPECT_TRUE(error.contains(device)) << error.toStdString();
    ASSERT_TRUE(camera.publish_as_port(1));
    EXPECT_TRUE(link->open(&error)) << error.toStdString();
    EXPECT_TRUE(link->probe(kLastAddress).has_value());
}

} // namespace
