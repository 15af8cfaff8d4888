#include "comm/port_naming.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString port_links_folder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("camera-adjust/ports"));
}

QString port_link_path(int port)
{
    return QDir(port_links_folder()).filePath(QStringLiteral("COM%1").arg(port));
}

QString port_device_path(int port)
{
    const QString link = port_link_path(port);
    // A dangling link still counts: opening it then fails with the open error the user must see.
    if (QFileInfo(link).isSymLink() || QFileInfo::exists(link)) return link;
    const QString usb = QStringLiteral("/dev/ttyUSB%1").arg(port - 1);
    if (QFileInfo::exists(usb)) return usb;
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}
