// One instance per user: a second start ends at once and asks the first to come to the front;
// locks and sockets left by a crashed instance do not block the next start.

#include "main_window/single_instance.h"
#include "support/private_folder.h"

#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kToolName = QStringLiteral("QMT CCTV Camera Adjust tool.");

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(runtime.isValid()); }

    PrivateFolder runtime{"XDG_RUNTIME_DIR"};
};

pid_t dead_process_id()
{
    const pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

void leave_dead_socket(const QString& path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path));
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    close(fd); // the file stays behind with nobody listening
}

TEST_F(SingleInstanceTest, SecondStartInTheSameSessionAsksTheFirstToComeForward)
{
    QWidget window;
    SingleInstance first(kToolName);
    ASSERT_TRUE(first.acquire());
    first.set_window(&window);
    QSignalSpy raised(&first, &SingleInstance::raiseRequested);

    SingleInstance second(kToolName);
    EXPECT_FALSE(second.acquire());
    ASSERT_TRUE(QTest::qWaitFor([&] { return raised.count() == 1; }, 5000));
    EXPECT_TRUE(window.isVisible());
}

TEST_F(SingleInstanceTest, SecondProcessEndsAtOnceWithoutAWindow)
{
    SingleInstance first(kToolName);
    ASSERT_TRUE(first.acquire());
    QSignalSpy raised(&first, &SingleInstance::raiseRequested);

    QProcess second;
    second.start(QStringLiteral(CAMERA_ADJUST_EXE), {});
    ASSERT_TRUE(second.waitForStarted(10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return raised.count() == 1; }, 5000));
}

TEST_F(SingleInstanceTest, LeftoversOfACrashedInstanceDoNotBlock)
{
    SingleInstance probe(kToolName);
    QFile lock(probe.lock_path());
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(dead_process_id()) + "\ncamera-adjust\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    lock.close();
    leave_dead_socket(probe.server_name());

    SingleInstance first(kToolName);
    ASSERT_TRUE(first.acquire());
    QSignalSpy raised(&first, &SingleInstance::raiseRequested);
    SingleInstance second(kToolName);
    EXPECT_FALSE(second.acquire());
    EXPECT_TRUE(QTest::qWaitFor([&] { return raised.count() == 1; }, 5000));
}

TEST_F(SingleInstanceTest, DifferentNamesDoNotBlockEachOther)
{
    SingleInstance first(kToolName);
    ASSERT_TRUE(first.acquire());
    SingleInstance other(QStringLiteral("another tool"));
    EXPECT_TRUE(other.acquire());
}

} // namespace
