// Which device file a port number opens.

#include "comm/port_naming.h"
#include "support/private_folder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

class PortNaming : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(config.isValid()); }

    PrivateFolder config{"XDG_CONFIG_HOME"};
};

TEST_F(PortNaming, LinksLiveInTheUserConfigurationFolder)
{
    EXPECT_EQ(port_links_folder(), config.path() + "/camera-adjust/ports");
    EXPECT_EQ(port_link_path(1), config.path() + "/camera-adjust/ports/COM1");
    EXPECT_EQ(port_link_path(9), config.path() + "/camera-adjust/ports/COM9");
}

TEST_F(PortNaming, WithoutALinkFallsBackToTheSystemDevices)
{
    // Port 9 is /dev/ttyUSB8 only if such an adapter exists; otherwise the built-in /dev/ttyS8.
    const QString expected = QFile::exists("/dev/ttyUSB8") ? "/dev/ttyUSB8" : "/dev/ttyS8";
    EXPECT_EQ(port_device_path(9), expected);
}

TEST_F(PortNaming, APresentLinkWinsEvenWhenItPointsNowhere)
{
    ASSERT_TRUE(QDir().mkpath(port_links_folder()));
    const QString link = port_link_path(2);
    ASSERT_TRUE(QFile::link(config.path() + "/no-such-device", link));
    EXPECT_EQ(port_device_path(2), link);
    // Other ports are not affected by it.
    EXPECT_NE(port_device_path(1), port_link_path(1));
}

} // namespace
