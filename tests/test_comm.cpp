// The serial component against a real pseudo-terminal: the slave end is the device of port 1
// (through the COM1 link), the test plays the camera on the master end.

#include "comm/comm.h"
#include "comm/custom_speed.h"
#include "comm/line_settings.h"
#include "comm/port_naming.h"
#include "support/fake_dialogs.h"
#include "support/private_folder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr int kDeadlineMs = 5000;
// How long a test watches for something that must not happen.
constexpr int kQuietMs = 300;

std::vector<char> pattern(int count, int start = 0)
{
    std::vector<char> bytes(static_cast<std::size_t>(count));
    std::iota(bytes.begin(), bytes.end(), static_cast<char>(start));
    return bytes;
}

int bytes_waiting(int fd)
{
    int waiting = 0;
    return ioctl(fd, FIONREAD, &waiting) == 0 ? waiting : -1;
}

// Processes events for a while, failing when `condition` becomes true.
void expect_stays_false(const std::function<bool()>& condition)
{
    EXPECT_FALSE(QTest::qWaitFor(condition, kQuietMs));
}

// Open descriptors of this process that refer to `target` (a path or an anonymous inode name).
int open_descriptors_to(const QString& target)
{
    int count = 0;
    for (const QString& fd : QDir("/proc/self/fd").entryList(QDir::System | QDir::NoDotAndDotDot)) {
        char link[256] = {};
        const ssize_t length = readlink(QFile::encodeName("/proc/self/fd/" + fd).constData(), link, sizeof link - 1);
        if (length > 0 && QString::fromLocal8Bit(link, length) == target) ++count;
    }
    return count;
}

const QString kEventFd = QStringLiteral("anon_inode:[eventfd]");

// CPU time (clock ticks) used so far by the watcher thread, -1 when no watcher runs (or it has not
// named itself yet).
long watcher_cpu_ticks()
{
    for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm_file("/proc/self/task/" + task + "/comm");
        if (!comm_file.open(QIODevice::ReadOnly) || comm_file.readAll().trimmed() != "TCommWatch") continue;
        QFile stat_file("/proc/self/task/" + task + "/stat");
        if (!stat_file.open(QIODevice::ReadOnly)) continue;
        const QByteArray stat = stat_file.readAll();
        // Fields after the ")" that ends the name: state is field 3, utime 14, stime 15.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        return fields.at(11).toLong() + fields.at(12).toLong();
    }
    return -1;
}

// Far above any descriptor this process can have open: poll() reports it invalid.
constexpr int kInvalidDescriptor = 0x7ff00000;

class CommOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.isValid());
        char name[128] = {};
        ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
        slave_name = QString::fromLocal8Bit(name);
        ASSERT_TRUE(QDir().mkpath(port_links_folder()));
        ASSERT_TRUE(QFile::link(slave_name, port_link_path(1)));
        comm = std::make_unique<TComm>();
        comm->SetFlowControls(0);
    }

    void TearDown() override
    {
        comm.reset();
        if (master >= 0) close(master);
        close(slave);
        EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messages.front().text.toStdString();
    }

    void write_master(const std::vector<char>& bytes)
    {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Reads `count` bytes from the master end, waiting for them with a deadline.
    std::vector<char> read_master(int count)
    {
        std::vector<char> bytes;
        QElapsedTimer timer;
        timer.start();
        while (static_cast<int>(bytes.size()) < count && timer.elapsed() < kDeadlineMs) {
            pollfd entry{master, POLLIN, 0};
            if (poll(&entry, 1, 100) <= 0) continue;
            char chunk[512];
            const ssize_t got = read(master, chunk, std::min<std::size_t>(sizeof chunk, count - bytes.size()));
            if (got > 0) bytes.insert(bytes.end(), chunk, chunk + got);
        }
        return bytes;
    }

    bool slave_has(int count) const { return bytes_waiting(slave) >= count; }

    termios slave_attributes() const
    {
        termios attributes{};
        tcgetattr(slave, &attributes);
        return attributes;
    }

    // Records received-bytes notifications; reads `read_per_call` of them (all when negative).
    void count_receives(int read_per_call = -1)
    {
        comm->OnCommReceive = [this, read_per_call](TComm* sender, std::uint16_t count) {
            EXPECT_EQ(sender, comm.get());
            counts.push_back(count);
            const int to_read = read_per_call < 0 ? count : read_per_call;
            std::vector<char> bytes(static_cast<std::size_t>(to_read));
            if (to_read > 0) sender->Read(bytes.data(), to_read);
            received.insert(received.end(), bytes.begin(), bytes.end());
        };
    }

    PrivateFolder config{"XDG_CONFIG_HOME"};
    FakeDialogs dialogs;
    int master = -1;
    int slave = -1;
    QString slave_name;
    std::unique_ptr<TComm> comm;
    std::vector<int> counts;
    std::vector<char> received;
};

// ---- Opening and closing -------------------------------------------------------------------

TEST_F(CommOnPty, OpenAndCloseRepeatAndReleaseTheDevice)
{
    EXPECT_EQ(comm->DevicePath(), port_link_path(1));
    const int before = open_descriptors_to(slave_name);
    const int eventfds_before = open_descriptors_to(kEventFd);
    comm->Open();
    comm->Open();
    EXPECT_TRUE(comm->IsOpen());
    EXPECT_EQ(open_descriptors_to(slave_name), before + 1);
    comm->Close();
    comm->Close();
    EXPECT_FALSE(comm->IsOpen());
    EXPECT_EQ(open_descriptors_to(slave_name), before);
    EXPECT_EQ(open_descriptors_to(kEventFd), eventfds_before);
    comm->Open();
    EXPECT_TRUE(comm->IsOpen());
    comm.reset(); // destroying the component closes it
    EXPECT_EQ(open_descriptors_to(slave_name), before);
}

TEST_F(CommOnPty, ClosedPortRefusesTransfersAndReportsNoDsr)
{
    char byte = 0;
    try {
        comm->Write(&byte, 1);
        FAIL() << "Write on a closed port";
    } catch (const ECommError& error) {
        EXPECT_STREQ(error.what(), "通信が開始されていない。");
    }
    try {
        comm->Read(&byte, 1);
        FAIL() << "Read on a closed port";
    } catch (const ECommError& error) {
        EXPECT_STREQ(error.what(), "通信が開始されていない。");
    }
    EXPECT_THROW(comm->SendString("x"), ECommError);
    EXPECT_THROW(comm->SendBreak(), ECommReadWriteError);
    EXPECT_FALSE(comm->GetDsrState());
    EXPECT_FALSE(comm->DsrState());
}

TEST_F(CommOnPty, PseudoTerminalWithoutModemLinesReportsDsrOn)
{
    comm->Open();
    EXPECT_TRUE(comm->GetDsrState());
}

TEST_F(CommOnPty, MissingDeviceRaisesOpenErrorAndStaysClosed)
{
    ASSERT_TRUE(QFile::link(config.path() + "/unplugged", port_link_path(2)));
    comm->SetPort(2);
    const int eventfds_before = open_descriptors_to(kEventFd);
    try {
        comm->Open();
        FAIL() << "Open of a missing device";
    } catch (const ECommOpenError& error) {
        EXPECT_EQ(error.ErrorCode(), -1);
        EXPECT_STREQ(error.what(), "オープンエラー ErrorCode = -1");
    }
    EXPECT_FALSE(comm->IsOpen());
    EXPECT_EQ(open_descriptors_to(kEventFd), eventfds_before);
    comm->SetPort(1);
    comm->Open();
    EXPECT_TRUE(comm->IsOpen());
}

TEST_F(CommOnPty, DeviceThatIsNotATerminalIsRefused)
{
    QFile plain(config.path() + "/plain-file");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    ASSERT_TRUE(QFile::link(plain.fileName(), port_link_path(3)));
    comm->SetPort(3);
    EXPECT_THROW(comm->Open(), ECommOpenError);
    EXPECT_FALSE(comm->IsOpen());
}

// ---- Writing and reading -------------------------------------------------------------------

TEST_F(CommOnPty, WriteUpToOutQueueSizeArrivesIntactAndLongerIsRefused)
{
    comm->SetOutQueueSize(64);
    comm->Open();
    const std::vector<char> block = pattern(64);
    EXPECT_TRUE(comm->Write(block.data(), 64));
    EXPECT_EQ(read_master(64), block);

    const std::vector<char> too_long = pattern(65);
    try {
        comm->Write(too_long.data(), 65);
        FAIL() << "Write longer than OutQueueSize";
    } catch (const ECommError& error) {
        EXPECT_STREQ(error.what(), "送信データ長が長すぎる。");
    }
}

TEST_F(CommOnPty, LargeWriteIsDeliveredCompletely)
{
    comm->Open(); // OutQueueSize 4096, more than one pty buffer chunk
    const std::vector<char> block = pattern(4096, 7);
    EXPECT_TRUE(comm->Write(block.data(), 4096));
    EXPECT_EQ(read_master(4096), block);
}

TEST_F(CommOnPty, SendStringWritesTheTextWithoutTerminator)
{
    comm->Open();
    comm->SendString("AB\r\n");
    EXPECT_EQ(read_master(4), (std::vector<char>{'A', 'B', '\r', '\n'})); // no CR/LF translation
    EXPECT_EQ(bytes_waiting(master), 0);
}

TEST_F(CommOnPty, ReadTakesWhatArrivesAndGivesUpAfterItsTimeOut)
{
    comm->Open();
    const std::vector<char> sent = pattern(5, 0x10);
    write_master(sent);
    ASSERT_TRUE(QTest::qWaitFor([&] { return slave_has(5); }, kDeadlineMs));
    std::vector<char> got(5);
    EXPECT_TRUE(comm->Read(got.data(), 5));
    EXPECT_EQ(got, sent);

    write_master({'\x11', '\x13'}); // XON/XOFF characters are data while flow control is off
    ASSERT_TRUE(QTest::qWaitFor([&] { return slave_has(2); }, kDeadlineMs));
    std::vector<char> partial(4, 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(comm->Read(partial.data(), 4));
    EXPECT_GE(timer.elapsed(), 900);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(partial, (std::vector<char>{'\x11', '\x13', 0, 0}));
}

TEST_F(CommOnPty, SendBreakHoldsHalfASecondWhileEventsAreProcessed)
{
    comm->Open();
    bool timer_ran = false;
    QTimer::singleShot(0, [&] { timer_ran = true; });
    QElapsedTimer timer;
    timer.start();
    comm->SendBreak();
    EXPECT_GE(timer.elapsed(), 490);
    EXPECT_TRUE(timer_ran);
}

// ---- Line settings -------------------------------------------------------------------------

TEST_F(CommOnPty, OpenAppliesTheStoredSettingsInRawMode)
{
    comm->SetBaudRate(19200);
    comm->SetStopBits(csb2);
    comm->SetFlowControls(flow_bit(cfcRtsCts));
    comm->Open();
    const termios attributes = slave_attributes();
    EXPECT_EQ(cfgetospeed(&attributes), speed_t{B19200});
    EXPECT_EQ(cfgetispeed(&attributes), speed_t{B19200});
    EXPECT_TRUE(attributes.c_cflag & CSTOPB);
    EXPECT_TRUE(attributes.c_cflag & CRTSCTS);
    EXPECT_EQ(attributes.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_FALSE(attributes.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
    EXPECT_FALSE(attributes.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON));
    EXPECT_FALSE(attributes.c_oflag & OPOST);
}

TEST_F(CommOnPty, SettersChangeTheOpenLineAtOnce)
{
    comm->Open();
    termios attributes = slave_attributes();
    EXPECT_EQ(cfgetospeed(&attributes), speed_t{B9600});
    comm->SetBaudRate(19200);
    attributes = slave_attributes();
    EXPECT_EQ(cfgetospeed(&attributes), speed_t{B19200});

    comm->SetStopBits(csb15); // sent as two stop bits
    EXPECT_TRUE(slave_attributes().c_cflag & CSTOPB);
    comm->SetStopBits(csb1);
    EXPECT_FALSE(slave_attributes().c_cflag & CSTOPB);

    comm->SetFlowControls(flow_bit(cfcXonXoff) | flow_bit(cfcDtrDsr));
    attributes = slave_attributes();
    EXPECT_EQ(attributes.c_iflag & (IXON | IXOFF), tcflag_t{IXON | IXOFF});
    EXPECT_EQ(attributes.c_cc[VSTART], 17);
    EXPECT_EQ(attributes.c_cc[VSTOP], 19);
    EXPECT_FALSE(attributes.c_cflag & CRTSCTS);
    comm->SetFlowControls(0);
    EXPECT_FALSE(slave_attributes().c_iflag & (IXON | IXOFF));
}

TEST_F(CommOnPty, UserDefinedRateSwitchesBaudRateToMinusOne)
{
    comm->SetBaudRateUserDefined(19200); // closed: stored only
    EXPECT_EQ(comm->BaudRate(), -1);
    comm->Open();
    EXPECT_EQ(current_speed(slave), 19200);
    comm->SetBaudRateUserDefined(12345); // no Bxxx constant for this one
    EXPECT_EQ(comm->BaudRate(), -1);
    EXPECT_EQ(comm->BaudRateUserDefined(), 12345);
    EXPECT_EQ(current_speed(slave), 12345);
    comm->SetBaudRate(9600);
    EXPECT_EQ(current_speed(slave), 9600);
}

TEST_F(CommOnPty, SettingsTermiosCannotExpressAreRefusedWhenOpen)
{
    comm->SetByteSize(cbs4);
    EXPECT_THROW(comm->Open(), ECommError);
    EXPECT_FALSE(comm->IsOpen());
    comm->SetByteSize(cbs8);
    comm->Open();
    EXPECT_THROW(comm->SetByteSize(cbs4), ECommError);
    EXPECT_THROW(comm->SetBaudRate(0), ECommError);
    EXPECT_TRUE(comm->IsOpen());
}

TEST(LineSettings, DataBitsAndParityMapOntoTermiosFlags)
{
    termios attributes{};
    line_settings::make_raw(attributes);
    const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    for (int size = cbs5; size <= cbs8; ++size) {
        line_settings::set_byte_size(attributes, static_cast<TCommByteSize>(size));
        EXPECT_EQ(attributes.c_cflag & CSIZE, sizes[size - cbs5]);
    }
    struct Case {
        TCommParityBits parity;
        tcflag_t flags;
    };
    const Case cases[] = {{cpbOdd, PARENB | PARODD},
                          {cpbEven, PARENB},
                          {cpbMark, PARENB | PARODD | CMSPAR},
                          {cpbSpace, PARENB | CMSPAR},
                          {cpbNone, 0}};
    for (const Case& c : cases) {
        line_settings::set_parity(attributes, c.parity);
        EXPECT_EQ(attributes.c_cflag & (PARENB | PARODD | CMSPAR), c.flags) << int(c.parity);
        EXPECT_EQ((attributes.c_iflag & INPCK) != 0, c.parity != cpbNone) << int(c.parity);
    }
    EXPECT_EQ(attributes.c_cflag & CSIZE, tcflag_t{CS8});
}

TEST(LineSettings, RatesWithoutAConstantAreLeftToTheCustomPath)
{
    EXPECT_EQ(line_settings::standard_speed(19200), speed_t{B19200});
    EXPECT_EQ(line_settings::standard_speed(115200), speed_t{B115200});
    EXPECT_EQ(line_settings::standard_speed(12345), speed_t{0});
}

TEST(LineSettings, ModemLineChangesBecomeTheAskedEvents)
{
    const TCommEvents all = event_bit(evCts) | event_bit(evDsr) | event_bit(evRlsd) | event_bit(evRing);
    EXPECT_EQ(line_settings::modem_line_changes(0, TIOCM_CTS | TIOCM_CD, all), event_bit(evCts) | event_bit(evRlsd));
    EXPECT_EQ(line_settings::modem_line_changes(TIOCM_DSR | TIOCM_RI, 0, all), event_bit(evDsr) | event_bit(evRing));
    EXPECT_EQ(line_settings::modem_line_changes(0, TIOCM_CTS | TIOCM_DSR, event_bit(evDsr)), event_bit(evDsr));
    EXPECT_EQ(line_settings::modem_line_changes(TIOCM_DSR, TIOCM_DSR | TIOCM_RTS, all), 0);
}

// ---- Received-bytes notifications ----------------------------------------------------------

TEST_F(CommOnPty, BurstGivesOneNotificationWithTheWaitingCountEvenWithAnEmptyEventMask)
{
    comm->SetEventMask(0);
    count_receives();
    comm->Open();
    expect_stays_false([&] { return !counts.empty(); }); // nothing arrives, nothing is reported

    const std::vector<char> burst = pattern(10, 0x40);
    write_master(burst);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !counts.empty(); }, kDeadlineMs));
    expect_stays_false([&] { return counts.size() > 1; });
    EXPECT_EQ(counts, std::vector<int>{10});
    EXPECT_EQ(received, burst);
}

TEST_F(CommOnPty, BytesArrivingDuringTheHandlerGiveALaterNotification)
{
    int depth = 0;
    int deepest = 0;
    comm->OnCommReceive = [&](TComm* sender, std::uint16_t count) {
        deepest = std::max(deepest, ++depth);
        counts.push_back(count);
        if (counts.size() == 1) {
            write_master(pattern(5, 0x60));
            // A nested event loop, as a message box would run: it must not deliver a second receive.
            EXPECT_TRUE(QTest::qWaitFor([&] { return slave_has(count + 5); }, kDeadlineMs));
        }
        std::vector<char> bytes(count);
        sender->Read(bytes.data(), count);
        received.insert(received.end(), bytes.begin(), bytes.end());
        --depth;
    };
    comm->Open();
    write_master(pattern(10, 0x40));
    ASSERT_TRUE(QTest::qWaitFor([&] { return counts.size() == 2; }, kDeadlineMs));
    expect_stays_false([&] { return counts.size() > 2; });
    EXPECT_EQ(counts, (std::vector<int>{10, 5}));
    EXPECT_EQ(deepest, 1);
    std::vector<char> expected = pattern(10, 0x40);
    const std::vector<char> later = pattern(5, 0x60);
    expected.insert(expected.end(), later.begin(), later.end());
    EXPECT_EQ(received, expected);
}

TEST_F(CommOnPty, BytesNobodyReadsAreReportedOnceUntilMoreArrive)
{
    count_receives(0);
    comm->Open();
    write_master(pattern(3));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !counts.empty(); }, kDeadlineMs));
    ASSERT_TRUE(QTest::qWaitFor([] { return watcher_cpu_ticks() >= 0; }, kDeadlineMs));
    const long cpu_before = watcher_cpu_ticks();
    expect_stays_false([&] { return counts.size() > 1; });
    EXPECT_LE(watcher_cpu_ticks() - cpu_before, 10) << "the watcher spins on unread bytes";

    write_master(pattern(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return counts.size() >= 2; }, kDeadlineMs));
    EXPECT_EQ(counts.back(), 5);
}

TEST_F(CommOnPty, NoHandlerMeansNoNotificationAndNoSpinning)
{
    comm->Open();
    write_master(pattern(8));
    ASSERT_TRUE(QTest::qWaitFor([&] { return slave_has(8); }, kDeadlineMs));
    ASSERT_TRUE(QTest::qWaitFor([] { return watcher_cpu_ticks() >= 0; }, kDeadlineMs));
    const long cpu_before = watcher_cpu_ticks();
    expect_stays_false([] { return false; });
    EXPECT_LE(watcher_cpu_ticks() - cpu_before, 10);
    // A handler assigned later hears of the next bytes, with everything that waits.
    count_receives();
    write_master(pattern(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !counts.empty(); }, kDeadlineMs));
    EXPECT_EQ(counts.front(), 9);
}

TEST_F(CommOnPty, HungUpDeviceIsReportedOnceAndDoesNotMakeTheWatcherSpin)
{
    count_receives();
    comm->Open();
    ASSERT_TRUE(QTest::qWaitFor([] { return watcher_cpu_ticks() >= 0; }, kDeadlineMs));
    close(master);
    master = -1;
    const long cpu_before = watcher_cpu_ticks();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.empty(); }, kDeadlineMs));
    expect_stays_false([&] { return !counts.empty() || dialogs.messages.size() > 1; });
    EXPECT_LE(watcher_cpu_ticks() - cpu_before, 10) << "the watcher spins on a hung-up device";
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QString::fromUtf8(ECommLineLost().what()));
    EXPECT_TRUE(comm->LineLost());
    // A write to the dead line fails at once with the device's error.
    const char byte = 0;
    EXPECT_THROW(comm->Write(&byte, 1), ECommReadWriteError);
    comm->Close();
    EXPECT_FALSE(comm->IsOpen());
    dialogs.messages.clear();
}

TEST_F(CommOnPty, CloseInsideTheHandlerEndsNotifications)
{
    int calls = 0;
    comm->OnCommReceive = [&](TComm* sender, std::uint16_t) {
        ++calls;
        sender->Close();
    };
    comm->Open();
    write_master(pattern(4));
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls == 1; }, kDeadlineMs));
    EXPECT_FALSE(comm->IsOpen());
    write_master(pattern(4));
    expect_stays_false([&] { return calls > 1; });

    // Reopened, the port reports again (what arrived while closed was purged).
    count_receives();
    comm->Open();
    write_master(pattern(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !counts.empty(); }, kDeadlineMs));
    EXPECT_EQ(counts, std::vector<int>{2});
}

TEST_F(CommOnPty, NotificationQueuedBeforeCloseIsDropped)
{
    count_receives();
    comm->Open();
    write_master(pattern(6));
    // Wait outside the event loop until the bytes are there, so that the notification is pending.
    pollfd entry{slave, POLLIN, 0};
    ASSERT_EQ(poll(&entry, 1, kDeadlineMs), 1);
    comm->Close();
    expect_stays_false([&] { return !counts.empty(); });

    // Nor is it delivered to the next opening.
    write_master(pattern(6));
    ASSERT_EQ(poll(&entry, 1, kDeadlineMs), 1);
    comm->Close();
    comm->Open();
    expect_stays_false([&] { return !counts.empty(); });
}

TEST_F(CommOnPty, HandlerExceptionReachesTheApplicationAndWatchingGoesOn)
{
    bool thrown = false;
    comm->OnCommReceive = [&](TComm* sender, std::uint16_t count) {
        if (!thrown) {
            thrown = true;
            throw ECommError("handler failed");
        }
        counts.push_back(count);
        std::vector<char> bytes(count);
        sender->Read(bytes.data(), count);
    };
    comm->Open();
    write_master(pattern(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.empty(); }, kDeadlineMs));
    EXPECT_EQ(dialogs.messages.front().text, "handler failed");
    dialogs.messages.clear();
    write_master(pattern(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !counts.empty(); }, kDeadlineMs));
    EXPECT_EQ(counts.front(), 3);
}

TEST_F(CommOnPty, WatcherFailureIsReportedOnTheGuiThread)
{
    TCommWatch watcher(comm.get(), kInvalidDescriptor, kInvalidDescriptor);
    watcher.start();
    ASSERT_TRUE(watcher.wait(kDeadlineMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.empty(); }, kDeadlineMs));
    EXPECT_EQ(dialogs.messages.front().text, QString::fromUtf8("入出力エラー ErrorCode = %1").arg(EBADF));
    dialogs.messages.clear();
}

TEST_F(CommOnPty, TransmitEmptyIsReportedAfterAWriteWhenAskedFor)
{
    std::vector<int> transmits;
    comm->OnCommTransmit = [&](TComm*, std::uint16_t queued) { transmits.push_back(queued); };
    comm->Open();
    comm->SendString("abc");
    expect_stays_false([&] { return !transmits.empty(); });

    comm->SetEventMask(event_bit(evTxempty));
    comm->SendString("abc");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !transmits.empty(); }, kDeadlineMs));
    EXPECT_EQ(transmits, std::vector<int>{0});
    EXPECT_EQ(read_master(6).size(), 6u);
}

} // namespace
