#pragma once
// The plant's records on a PostgreSQL server (Qt's QPSQL driver), which every station writes to:
// each job once, named by the id it got when it started, with its station and operator; the
// masters approved for writing; look-ups across all stations.
//
// Like Records, one object is one connection, used by one thread.

#include "records/records.h"
#include "records/server_uri.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace station {

// A job as the server keeps it: the station's row (its `id` is the journal's own and is not
// stored) with the job's unique id, made when it started, and who and where ran it.
struct ServerJob {
    QString job_id;   // a UUID as text
    QString station;
    QString operator_name;
    JobRow row;
};

enum class ServerOpen {
    Opened,
    Unreachable, // no answer, no such socket, a server starting or too busy: try again later
    Refused,     // the login, the database, the driver or the schema: a setting to fix
};

// Rows that can never be stored (no job id, no start time) are left out and named with their
// reason instead of failing the batch again and again.
struct StoreOutcome {
    bool committed = false;
    QStringList stored;                          // ids on the server after the commit
    QList<std::pair<QString, QString>> refused;  // id and reason
    QString error;                               // why nothing was stored
    // The connection broke (the server went away, was restarted, or ended this session): the
    // batch may or may not have been committed. Open again and send it again: it is stored once.
    bool connection_lost = false;
};

// The advisory lock that makes the first stations to connect create the schema once.
constexpr qint64 schema_lock_key = 0x43414d5245430001; // "CAMREC" 1
// The version of the server's layout, kept in the table records_schema.
constexpr int server_schema_version = 1;

class ServerRecords {
public:
    ServerRecords();
    ~ServerRecords();
    ServerRecords(const ServerRecords&) = delete;
    ServerRecords& operator=(const ServerRecords&) = delete;

    // Connects and creates the schema when the database has none; a one-line reason in `error`
    // otherwise.
    ServerOpen open(const ServerUri& uri, QString* error);
    bool is_open() const;

    // Stores a batch in one transaction. A job already there is stored once: a completed row
    // completes an incomplete one, an incomplete row never replaces a completed one.
    StoreOutcome store(const QList<ServerJob>& jobs);

    // Approving a file already approved keeps the first approval (who approved it first, and
    // when, stays on record); returns the approval on record, nothing with `error` on failure.
    std::optional<Approval> approve(const Approval& approval, QString* error = nullptr);
    std::optional<bool> is_approved(const QString& file_sha256, QString* error = nullptr) const;
    // Oldest first.
    std::optional<QList<Approval>> approvals(QString* error = nullptr) const;

    // For queries that read the server directly (the yield figures): its Qt SQL connection,
    // usable on this object's thread.
    QString connection_name() const { return connection_; }

    // Newest first.
    std::optional<QList<ServerJob>> jobs(const JobFilter& filter, QString* error = nullptr) const;

private:
    void failed(StoreOutcome& outcome, const QString& why);

    QString connection_;
    QString where_; // the URI, for messages
};

// The server's form of a journal row: its job id, station and operator come from its start.
ServerJob server_job(const JobRow& row);

// Whether libpq's words for a failed connection mean the server was not reached (or cannot take
// a station just now) rather than that it refused this login or database.
ServerOpen connect_failure_kind(const QString& libpq_message);

} // namespace station
