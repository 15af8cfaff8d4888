#include "support/cut_proxy.h"

#include <QByteArray>
#include <QList>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

// The simple query a client commits with, and the server's "command complete" for it, end alike.
const QByteArray kCommit("COMMIT\0", 7);
const QByteArray kStoresJobs("INSERT INTO jobs");

// Whether `word` ends in the bytes just read; the end of those before (`tail`) holds its first
// part when it was split between two reads.
bool arrived(const QByteArray& tail, const QByteArray& bytes, const QByteArray& word)
{
    return (tail.right(word.size() - 1) + bytes).contains(word);
}

} // namespace

class CutProxy::Relay : public QObject {
public:
    Relay(CutProxy& proxy, const QString& server_path) : proxy_(proxy), server_path_(server_path) {}
    ~Relay() override
    {
        for (Pair* pair : std::as_const(pairs_))
            delete pair;
    }

    bool listen(const QString& path)
    {
        listener_ = new QLocalServer(this);
        connect(listener_, &QLocalServer::newConnection, this, &Relay::take_connection);
        return listener_->listen(path);
    }

private:
    struct Pair {
        QLocalSocket* client = nullptr;
        QLocalSocket* server = nullptr;
        bool storing = false; // the open transaction stores jobs
        QByteArray client_tail;
        QByteArray server_tail;
    };

    void take_connection()
    {
        while (QLocalSocket* client = listener_->nextPendingConnection()) {
            if (proxy_.refusing_) {
                client->abort();
                client->deleteLater();
                continue;
            }
            auto* pair = new Pair;
            pair->client = client;
            pair->server = new QLocalSocket(client);
            pairs_.append(pair);
            connect(client, &QLocalSocket::readyRead, this, [this, pair] { relay(pair, true); });
            connect(pair->server, &QLocalSocket::readyRead, this, [this, pair] { relay(pair, false); });
            connect(client, &QLocalSocket::disconnected, this, [this, pair] { drop(pair); });
            connect(pair->server, &QLocalSocket::disconnected, this, [this, pair] { drop(pair); });
            pair->server->connectToServer(server_path_);
            pair->server->waitForConnected(5000);
        }
    }

    void relay(Pair* pair, bool from_client)
    {
        QLocalSocket* from = from_client ? pair->client : pair->server;
        QLocalSocket* to = from_client ? pair->server : pair->client;
        QByteArray& tail = from_client ? pair->client_tail : pair->server_tail;
        const QByteArray bytes = from->readAll();
        const bool commit = arrived(tail, bytes, kCommit);
        if (from_client && arrived(tail, bytes, kStoresJobs))
            pair->storing = true;
        tail = (tail + bytes).right(kStoresJobs.size());
        if (commit && pair->storing) {
            const Cut wanted = from_client ? Cut::BeforeCommit : Cut::AfterCommit;
            if (proxy_.armed_ == wanted) {
                cut(pair);
                return;
            }
            if (!from_client)
                pair->storing = false;
        }
        to->write(bytes);
        to->flush();
    }

    // Neither side gets the bytes that named the commit; the server rolls back what it had not
    // committed yet.
    void cut(Pair* pair)
    {
        proxy_.armed_ = Cut::None;
        proxy_.refusing_ = true;
        ++proxy_.cuts_;
        drop(pair);
    }

    void drop(Pair* pair)
    {
        if (!pairs_.removeOne(pair))
            return;
        for (QLocalSocket* socket : {pair->client, pair->server}) {
            socket->disconnect(this);
            socket->abort();
        }
        pair->client->deleteLater(); // and the server's socket, its child
        delete pair;
    }

    CutProxy& proxy_;
    const QString server_path_;
    QLocalServer* listener_ = nullptr;
    QList<Pair*> pairs_;
};

CutProxy::CutProxy(const QString& server_folder, int port)
{
    relay_ = new Relay(*this, QStringLiteral("%1/.s.PGSQL.%2").arg(server_folder).arg(port));
    relay_->moveToThread(&thread_);
    thread_.start();
    const QString path = QStringLiteral("%1/.s.PGSQL.%2").arg(folder_.path()).arg(port);
    QMetaObject::invokeMethod(relay_, [this, path] { listening_ = folder_.isValid() && relay_->listen(path); },
                              Qt::BlockingQueuedConnection);
}

CutProxy::~CutProxy()
{
    QMetaObject::invokeMethod(relay_, [this] { delete relay_; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}
