#include "records/forwarder.h"

#include "records/server_records.h"

#include <QThread>

#include <optional>
#include <utility>

namespace station {
namespace {

using Clock = std::chrono::steady_clock;

// "14:03" today, "2024-05-01 14:03" on another day.
QString clock_text(const QDateTime& time)
{
    const QDateTime local = time.toLocalTime();
    return local.toString(local.date() == QDate::currentDate() ? QStringLiteral("HH:mm")
                                                               : QStringLiteral("yyyy-MM-dd HH:mm"));
}

// A station learns within seconds that its server has gone, not after TCP's minutes: libpq's
// time-outs and keep-alives, where the URI does not set them itself (a Unix socket ignores the
// TCP ones).
ServerUri with_time_limits(ServerUri uri)
{
    set_default_parameter(uri, QStringLiteral("connect_timeout"), QStringLiteral("5"));
    set_default_parameter(uri, QStringLiteral("keepalives_idle"), QStringLiteral("10"));
    set_default_parameter(uri, QStringLiteral("keepalives_interval"), QStringLiteral("3"));
    set_default_parameter(uri, QStringLiteral("keepalives_count"), QStringLiteral("3"));
    set_default_parameter(uri, QStringLiteral("tcp_user_timeout"), QStringLiteral("20000"));
    return uri;
}

// A change of the server's state is told at once. While the server is away a changing count is
// told every so often; while it is up, rows come and go with every job and only a backlog that
// was told of is followed until it is gone.
bool worth_reporting(const std::optional<ForwardStatus>& reported, const ForwardStatus& status, bool due)
{
    if (!reported || reported->server != status.server || reported->journal_error != status.journal_error)
        return true;
    const int was = reported->backlog.waiting;
    const int now = status.backlog.waiting;
    if (was == now)
        return false;
    if (now == 0)
        return was > 0;
    const bool up = status.server == ForwardStatus::Server::Up;
    return due && (!up || was > 0);
}

} // namespace

QString forward_status_text(const ForwardStatus& status)
{
    if (!status.journal_error.isEmpty())
        return QStringLiteral("records: the journal cannot be read: %1").arg(status.journal_error);
    const int waiting = status.backlog.waiting;
    const QString count = QStringLiteral("records: %1 waiting").arg(waiting);
    switch (status.server) {
    case ForwardStatus::Server::Starting:
        return count + QStringLiteral(", connecting to the server");
    case ForwardStatus::Server::Up:
        return waiting == 0 ? QStringLiteral("records: all on the server") : count + QStringLiteral(", sending");
    case ForwardStatus::Server::Unreachable:
        return count + QStringLiteral(", server unreachable since ") + clock_text(status.since);
    case ForwardStatus::Server::Refusing:
        return count + QStringLiteral(", the server refuses them since %1: %2").arg(clock_text(status.since), status.reason);
    }
    return count;
}

// What the forwarder's thread owns: the journal and the server, each its own connection.
class Forwarder::Worker {
public:
    explicit Worker(const ForwarderSettings& settings) : settings_(settings), uri_(with_time_limits(settings.server)) {}

    // Opens what is closed and sends one batch; true when a whole batch went (more may wait).
    bool round(ForwardStatus& status)
    {
        if (!journal_.is_open() && !open_journal(status))
            return false;
        const Clock::time_point now = Clock::now();
        if (!server_.is_open() && now >= next_try_)
            connect(status);
        const bool full = server_.is_open() && now >= next_try_ && send_batch(status);
        if (server_.is_open() && Clock::now() >= next_refresh_)
            refresh_approvals();
        count_backlog(status);
        return full;
    }

    // The next round tries the server even if it failed a moment ago.
    void try_now() { next_try_ = Clock::now(); }

private:
    bool open_journal(ForwardStatus& status)
    {
        QString error;
        if (journal_.open(settings_.journal, &error))
            return true;
        status.journal_error = error;
        return false;
    }

    void count_backlog(ForwardStatus& status)
    {
        QString error;
        if (const std::optional<Backlog> backlog = journal_.backlog(&error)) {
            status.backlog = *backlog;
            status.journal_error.clear();
        } else {
            status.journal_error = error;
        }
    }

    void set_server(ForwardStatus& status, ForwardStatus::Server state, const QString& reason)
    {
        if (status.server != state)
            status.since = QDateTime::currentDateTime();
        status.server = state;
        status.reason = reason;
        if (state != ForwardStatus::Server::Up)
            next_try_ = Clock::now() + std::chrono::milliseconds(settings_.retry_ms);
    }

    void connect(ForwardStatus& status)
    {
        QString error;
        switch (server_.open(uri_, &error)) {
        case ServerOpen::Opened:
            set_server(status, ForwardStatus::Server::Up, {});
            next_refresh_ = Clock::now();
            break;
        case ServerOpen::Unreachable: set_server(status, ForwardStatus::Server::Unreachable, error); break;
        case ServerOpen::Refused: set_server(status, ForwardStatus::Server::Refusing, error); break;
        }
    }

    // The rows are marked sent only after the server's commit. A batch whose answer was lost (the
    // connection broke after the commit) or whose marks cannot be written stays waiting and goes
    // again: the server keeps each job once. Rows the server can never store (none the journal
    // makes: each has its id and start) are marked too, so that they do not hold up the rest.
    bool send_batch(ForwardStatus& status)
    {
        QString error;
        const std::optional<QList<JobRow>> rows = journal_.waiting_rows(settings_.batch, &error);
        if (!rows) {
            status.journal_error = error;
            return false;
        }
        if (rows->isEmpty())
            return false;
        QList<ServerJob> jobs;
        for (const JobRow& row : *rows)
            jobs << server_job(row);
        const StoreOutcome outcome = server_.store(jobs);
        if (!outcome.committed) {
            set_server(status,
                       outcome.connection_lost ? ForwardStatus::Server::Unreachable : ForwardStatus::Server::Refusing,
                       outcome.error);
            if (outcome.connection_lost)
                next_try_ = Clock::now(); // a server restarted may take the station again at once
            return false;
        }
        set_server(status, ForwardStatus::Server::Up, {});
        return journal_.mark_sent(*rows) && rows->size() == settings_.batch;
    }

    // For a start while the server cannot be reached; a failure leaves the last copy.
    void refresh_approvals()
    {
        next_refresh_ = Clock::now() + std::chrono::milliseconds(settings_.approvals_refresh_ms);
        if (const std::optional<QList<Approval>> approvals = server_.approvals())
            journal_.keep_server_approvals(*approvals);
    }

    const ForwarderSettings& settings_;
    const ServerUri uri_;
    Records journal_;
    ServerRecords server_;
    Clock::time_point next_try_{};
    Clock::time_point next_refresh_{};
};

Forwarder::Forwarder(ForwarderSettings settings, Report report)
    : settings_(std::move(settings)), report_(std::move(report))
{
}

Forwarder::~Forwarder()
{
    stop();
}

void Forwarder::start()
{
    if (thread_)
        return;
    thread_ = QThread::create([this] { run(); });
    thread_->start();
}

void Forwarder::wake()
{
    {
        std::lock_guard lock(mutex_);
        wake_ = true;
    }
    woken_.notify_all();
}

ForwardStatus Forwarder::finish(int ms)
{
    {
        std::lock_guard lock(mutex_);
        draining_ = true;
        drain_until_ = Clock::now() + std::chrono::milliseconds(ms);
        wake_ = true;
    }
    woken_.notify_all();
    if (thread_) {
        thread_->wait();
        delete std::exchange(thread_, nullptr);
    }
    return status();
}

void Forwarder::stop()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    woken_.notify_all();
    if (thread_) {
        thread_->wait();
        delete std::exchange(thread_, nullptr);
    }
}

ForwardStatus Forwarder::status() const
{
    std::lock_guard lock(mutex_);
    return status_;
}

// False once stopped.
bool Forwarder::wait_for_work(int ms)
{
    std::unique_lock lock(mutex_);
    woken_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return wake_ || stop_; });
    wake_ = false;
    return !stop_;
}

bool Forwarder::draining() const
{
    std::lock_guard lock(mutex_);
    return draining_;
}

// The last rows go while the server takes them: a server that cannot be reached (or refuses)
// once more at the end is not waited for.
bool Forwarder::draining_over(const ForwardStatus& status) const
{
    std::lock_guard lock(mutex_);
    if (!draining_)
        return false;
    const bool nothing_waits = status.backlog.waiting == 0 && status.journal_error.isEmpty();
    return nothing_waits || status.server != ForwardStatus::Server::Up || Clock::now() >= drain_until_;
}

void Forwarder::run()
{
    Worker worker(settings_);
    ForwardStatus status;
    std::optional<ForwardStatus> reported;
    Clock::time_point reported_at{};
    bool last_try = false;
    while (true) {
        if (!last_try && draining()) {
            last_try = true;
            worker.try_now();
        }
        const bool more = worker.round(status);
        {
            std::lock_guard lock(mutex_);
            status_ = status;
        }
        if (worth_reporting(reported, status, Clock::now() - reported_at >= std::chrono::milliseconds(settings_.report_ms))) {
            reported = status;
            reported_at = Clock::now();
            if (report_)
                report_(status);
        }
        if (draining_over(status))
            return;
        if (!wait_for_work(more ? 0 : settings_.poll_ms))
            return;
    }
}

} // namespace station
