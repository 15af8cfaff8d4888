#include "main_window/single_instance.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>

#include <unistd.h>

namespace {
constexpr int kConnectTimeoutMs = 1000;
const QByteArray kRaiseRequest = "raise\n";

QString user_key(const QString& name)
{
    const QByteArray key = name.toUtf8() + '/' + QByteArray::number(static_cast<qulonglong>(getuid()));
    return QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
}
} // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent) : QObject(parent)
{
    const QString key = user_key(name);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    lock_path_ = QDir(folder).filePath(QStringLiteral("camera-adjust-%1.lock").arg(key));
    // A full path keeps the socket beside the lock, private to the user's runtime folder.
    server_name_ = QDir(folder).filePath(QStringLiteral("camera-adjust-%1.socket").arg(key));
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire()
{
    lock_ = std::make_unique<QLockFile>(lock_path_);
    // A lock is stale only when its process is gone, never because of its age: a tool left
    // running for days still owns it.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        QLocalSocket socket;
        socket.connectToServer(server_name_);
        if (socket.waitForConnected(kConnectTimeoutMs)) {
            socket.write(kRaiseRequest);
            socket.waitForBytesWritten(kConnectTimeoutMs);
            socket.disconnectFromServer();
        }
        return false;
    }
    // A socket left behind by a crashed instance would make listen() fail.
    QLocalServer::removeServer(server_name_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().contains("raise")) {
                    raise_window();
                    emit raiseRequested();
                }
            });
        }
    });
    server_->listen(server_name_);
    return true;
}

// The window the technician was last working in: an open message box or dialog first, then a
// visible window of the main window's own (the mask window), else the main window.
QWidget* SingleInstance::window_to_raise() const
{
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top != window_ && top->isVisible() && top->parentWidget() == window_) return top;
    return window_;
}

void SingleInstance::raise_window()
{
    if (!window_) return;
    if (window_->isMinimized()) window_->showNormal();
    window_->show();
    QWidget* front = window_to_raise();
    front->raise();
    front->activateWindow();
}
