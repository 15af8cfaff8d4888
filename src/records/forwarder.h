#pragma once
// Sends a station's journal to the plant's server in the background: on a thread of its own, with
// connections of its own, so that no port ever waits for the server. Rows go out oldest first, in
// batches of one transaction each, and are marked sent in the journal only once the server has
// committed them; a batch whose answer was lost is sent again and stored once (each job has its
// unique id). While the server cannot be reached the rows wait in the journal with their times;
// they go out when it is back, in this run or the next.

#include "records/records.h"
#include "records/server_uri.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class QThread;

namespace station {

struct ForwardStatus {
    enum class Server {
        Starting,    // not tried yet
        Up,
        Unreachable, // no answer, or the connection was lost
        Refusing,    // it answers but refuses the login, the database or the rows: a setting to fix
    };
    Server server = Server::Starting;
    QDateTime since;       // when the server got into this state
    QString reason;        // why it cannot be reached or refuses; empty when up
    Backlog backlog;       // rows the server has not got yet
    QString journal_error; // the journal cannot be read: nothing goes out
};

// "records: 12 waiting, server unreachable since 14:03", "records: all on the server".
QString forward_status_text(const ForwardStatus& status);

struct ForwarderSettings {
    QString journal;      // the journal's path; the station has opened (made) it before
    ServerUri server;
    int batch = 200;      // rows per transaction
    int poll_ms = 250;    // the journal is looked at this often for rows to send
    int retry_ms = 2000;  // a server that cannot be reached or refuses is tried again this often
    int report_ms = 2000; // a changing count is reported at most this often
    int approvals_refresh_ms = 60000; // the journal's copy of the approvals is renewed this often
};

class Forwarder {
public:
    // Called on the forwarder's thread when the status changed: at once when the server's state
    // changes or nothing waits any more, at most every report_ms for a count that changes.
    using Report = std::function<void(const ForwardStatus&)>;

    Forwarder(ForwarderSettings settings, Report report);
    ~Forwarder(); // stops, without waiting for the rows to go out
    Forwarder(const Forwarder&) = delete;
    Forwarder& operator=(const Forwarder&) = delete;

    void start();
    // Rows were written: look at once.
    void wake();
    // Goes on sending for at most `ms` while rows wait and the server takes them (a server away
    // is tried once more), then stops; the status at the end.
    ForwardStatus finish(int ms);
    // Stops at once (after the statement under way).
    void stop();
    ForwardStatus status() const;

private:
    class Worker;
    void run();
    bool wait_for_work(int ms);
    bool draining() const;
    bool draining_over(const ForwardStatus& status) const;

    const ForwarderSettings settings_;
    const Report report_;
    QThread* thread_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable woken_;
    bool wake_ = false;
    bool stop_ = false;
    bool draining_ = false;
    std::chrono::steady_clock::time_point drain_until_{};
    ForwardStatus status_;
};

} // namespace station
