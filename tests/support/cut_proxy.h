#pragma once
// Stands between PostgreSQL clients and a test server on a Unix socket of its own and relays every
// byte, to cut a connection at the moment a test names: when the client asks to commit a batch of
// jobs (the server never commits it), or when the server answers that it committed one (the
// client never learns it did). After a cut it takes no connection until let go: to the client the
// server has gone. It relays on a thread of its own, so that the test may wait for its client.

#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>

class CutProxy {
public:
    enum class Cut { None, BeforeCommit, AfterCommit };

    // Relays to the server listening in the socket folder `server_folder` on `port`.
    CutProxy(const QString& server_folder, int port);
    ~CutProxy();
    CutProxy(const CutProxy&) = delete;
    CutProxy& operator=(const CutProxy&) = delete;

    bool listening() const { return listening_; }
    // The socket folder to give a client as its host.
    QString folder() const { return folder_.path(); }
    // The next commit of a transaction that stored jobs is cut so.
    void arm(Cut cut) { armed_ = cut; }
    // Connections are taken again.
    void let_go() { refusing_ = false; }
    int cuts() const { return cuts_; }

private:
    class Relay;
    friend class Relay;

    QTemporaryDir folder_;
    QThread thread_;
    Relay* relay_ = nullptr; // lives on thread_
    bool listening_ = false;
    std::atomic<Cut> armed_{Cut::None};
    std::atomic<bool> refusing_{false};
    std::atomic<int> cuts_{0};
};
