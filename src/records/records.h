#pragma once
// The clone station's record of every camera job, kept in an SQLite database (Qt SQL, WAL) so
// that a line can later answer "which file did camera X get, and was it checked?".
//
// A row is written when a job starts, with the result "aborted", and completed when the job
// ends: a crash or a pulled plug leaves an aborted record, never none. Each port's thread keeps
// its own Records object (its own database connection) on the same file; WAL and a busy time-out
// let several ports write at once. A reader opens the file read-only: it takes no lock that a
// writer waits for, and reads a copy that cannot be written.
//
// Times are shown in one way everywhere: the local time of the machine showing them, with its
// UTC offset ("2026-12-09T14:51:38+01:00").
//
// With a plant's server configured the same file is the station's journal: every row is written
// here first, exactly as without a server, and waits until a forwarder has sent it (oldest first);
// each job carries a unique id from its first moment, so that a row sent twice is stored once.

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace station {

enum class JobResult {
    Pass,
    FailVerify,  // the read-back differed from the file
    FailLink,    // the camera stopped answering, the port failed or the cable was pulled
    FailRefused, // the camera refused a command or the block
    Unverified,  // written, read-back skipped on request
    Aborted,     // the job never ended (the program stopped or crashed)
};

// "pass", "fail-verify", "fail-link", "fail-refused", "unverified", "aborted": the words stored
// in the database and shown in listings.
QString result_word(JobResult result);
std::optional<JobResult> result_from_word(const QString& word);

// The camera's on-screen title and communication ID as read from it.
struct CameraIdentity {
    QString title;    // as the camera holds it (trailing spaces removed)
    int comm_id = -1; // -1 when the camera did not say
};

// What is known when a job starts.
struct JobStart {
    QDateTime started;   // local time with offset; stored as ISO 8601
    QString host;
    int port = 0;
    QString device;      // the device file the port opened
    QString title;       // the camera's on-screen title as read from it (may be empty)
    int comm_id = -1;    // the camera's communication ID as read from it, -1 unknown
    QString serial;      // typed or scanned by the operator; may be empty
    QString file_path;   // absolute path of the data file
    QString file_sha256; // lower-case hex
    QString mode;        // "batch", "single", "verify", "save"
    QString keep_map;    // the words each camera kept of its own ("0x0100-0x011F,0x03F0"); empty: none
    // Who and where: known from the job's first moment, like its unique id.
    QString job_id;        // a UUID as text; begin() makes one when empty
    QString station;       // the station's name (the host name unless named)
    QString operator_name; // may be empty
    // The camera's attempt with this master: 1 for its first job, one more for each job of the
    // same serial number and file recorded before; 0 leaves it to begin() to count in this
    // database. A job without a serial number is always attempt 1.
    int attempt = 0;
    bool retest_confirmed = false; // the operator confirmed writing a camera that passed already
};

// What is known when it ends.
struct JobEnd {
    QDateTime ended;
    JobResult result = JobResult::Aborted;
    QString reason;           // one short line; empty for a pass
    QList<int> differing;     // addresses whose read-back differed (all of them)
    qint64 duration_ms = 0;
    // The title and COMM ID read again at the end, after the camera's restart: they replace
    // those of the start, since the file may have set them.
    std::optional<CameraIdentity> identity;
    // The SHA-256 of the file the job wrote (save), which did not exist when it started; empty
    // leaves the row's as it is.
    QString file_sha256;
    // Whose fault a failure is: "camera", "station", or "none" for a pass or an unverified job.
    // Empty in records of earlier layouts, whose results say it as they always did.
    QString fault{};
};

// What the records know of a camera (a serial number) with one master file.
struct CameraPast {
    int jobs = 0;        // its jobs recorded so far
    bool passed = false; // one of them passed
};

struct JobRow {
    qint64 id = 0;
    JobStart start;
    std::optional<JobEnd> end; // empty while the job is running or when it was aborted
    JobResult result = JobResult::Aborted;
};

// Which jobs a look-up returns; an empty or absent field does not filter.
struct JobFilter {
    QString station;
    QString serial;
    std::optional<JobResult> result;
    QDateTime since; // started at or after
    QDateTime until; // started before: back-to-back periods never count a job twice
    int limit = -1;  // at most this many, newest first; all when negative
};

// A master file approved for writing: the first approval of a file stays on record.
struct Approval {
    QString file_sha256; // lower-case hex
    QString file_name;
    QString approved_by;
    QDateTime approved;  // with the approver's offset
    QString note;
};

// The journal's copy of the server's approvals, for a start while the server cannot be reached.
struct ApprovalsCopy {
    QList<Approval> approvals;
    QDateTime made; // invalid: never copied
};

// Rows of the journal that the server has not got yet, counted for the operator.
struct Backlog {
    int waiting = 0;
    QDateTime oldest; // the start of the oldest waiting job
};

// Why a write to the records failed.
struct RecordsError {
    // True when the same write may succeed later: another program held the database's write lock
    // past the busy time-out, or the database or its disk is full. False for what waiting does
    // not mend: the file deleted or replaced, no permission, a damaged file.
    bool transient = false;
    QString text; // one line, naming the database once
};

class Records {
public:
    Records();
    ~Records();
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    // $XDG_DATA_HOME/camera-adjust/station.sqlite ($HOME/.local/share when unset).
    static QString default_path();

    // Opens (creating the folder, the file and the table when missing) the database at `path`.
    // False with a one-line reason in `error` when it cannot be opened or written.
    bool open(const QString& path, QString* error);
    // Opens an existing database only to read it: creates and changes nothing, takes no write
    // lock, and reads a file that cannot be written (a copy with mode 0444, or in a read-only
    // folder). False with a one-line reason when there is none at `path` or it cannot be read.
    bool open_for_reading(const QString& path, QString* error);
    bool is_open() const;
    QString path() const;

    // Inserts the row of a starting job (result "aborted" until finish); returns its id, or -1
    // with the reason in `error`. Nothing is inserted when it fails, so it can be tried again.
    qint64 begin(const JobStart& start, RecordsError* error = nullptr);
    // Completes the row (and takes the identity read at the end, when there is one); the same
    // end can be given again after a failure.
    bool finish(qint64 id, const JobEnd& end, RecordsError* error = nullptr);

    // The jobs recorded for camera `serial` with the file `file_sha256`, and whether one passed.
    std::optional<CameraPast> camera_past(const QString& serial, const QString& file_sha256,
                                          QString* error = nullptr) const;

    // For queries that read this database directly (the yield figures): its Qt SQL connection,
    // usable on this object's thread, and whether its table of jobs has `column`.
    QString connection_name() const { return connection_; }
    bool has_job_column(const QString& column) const;

    // Rows started on or after `since` (all when empty), newest first, at most `limit` (all
    // when negative). An empty list with the reason in `error` when they cannot be read.
    QList<JobRow> list(std::optional<QDateTime> since = std::nullopt, int limit = -1, QString* error = nullptr) const;
    // The rows `filter` selects, newest first; nothing with the reason in `error` on failure.
    std::optional<QList<JobRow>> list(const JobFilter& filter, QString* error = nullptr) const;

    // ---- The journal of a station that forwards its records to a server ----

    // Rows begun from now on wait for the server (true) or stay in this file alone (false, the
    // default: a database without a server; rows written then are never sent).
    void set_forwarding(bool forwarding);
    // This process's run: a row begun by it and not yet finished is a job still going, which is
    // not sent; one left incomplete by an earlier run (a crash) is final and is.
    static QString run_id();
    // Rows waiting for the server, oldest first, at most `limit`.
    std::optional<QList<JobRow>> waiting_rows(int limit, QString* error = nullptr) const;
    // Marks rows the server has stored (or refused for good) as sent, in one transaction. A row
    // completed since it was read stays waiting: its end has not been sent yet.
    bool mark_sent(const QList<JobRow>& rows, QString* error = nullptr);
    std::optional<Backlog> backlog(QString* error = nullptr) const;

    // ---- Approved masters: this database's own, and the journal's copy of the server's ----

    // Approving a file already approved keeps the first approval; returns the one on record.
    std::optional<Approval> approve(const Approval& approval, QString* error = nullptr);
    std::optional<bool> is_approved(const QString& file_sha256, QString* error = nullptr) const;
    // Oldest first.
    std::optional<QList<Approval>> approvals(QString* error = nullptr) const;
    // Replaces the copy of the server's approvals with `approvals`, made now.
    bool keep_server_approvals(const QList<Approval>& approvals, QString* error = nullptr);
    std::optional<ApprovalsCopy> server_approvals(QString* error = nullptr) const;

private:
    bool open_connection(const QString& path, const QString& options, QString* why);
    QString file_gone() const;
    RecordsError write_error(const QString& what, const QString& why, bool transient) const;

    QString read_error(const QString& what, const QString& why) const;

    QString connection_;
    QString path_;
    QString file_id_; // the device and inode the database was opened on
    bool forwarding_ = false;
    // Read-only, a database of an earlier layout is read as it is: columns it lacks read as empty.
    QString job_columns_;
};

// "2026-12-09T14:51:38+01:00": `time` in the local time of this machine, with its UTC offset
// (and milliseconds, for CSV and JSON, when asked).
QString local_time_text(const QDateTime& time, bool milliseconds = false);

// True for a SHA-256 in lower-case hex.
bool is_sha256(const QString& text);

// The hour `time` shows on the clock that recorded it, as hours since 1970-01-01 00:00 on that
// clock: the yield's hours, stored with each job so that a year of jobs is grouped by it cheaply.
qint64 clock_hour(const QDateTime& time);

// Listings for `camera-station records`: one aligned text line per row, CSV with a header line
// (RFC 4180 quoting), or one JSON object per row and line with the CSV's column names.
QString records_text(const QList<JobRow>& rows);
QString records_csv(const QList<JobRow>& rows);
QString records_json(const QList<JobRow>& rows);
// For `camera-station history`: a camera's jobs as given, one aligned line each with its
// station, port, attempt, master (file name and the start of its SHA-256), result, operator and
// reason.
QString history_text(const QList<JobRow>& rows);

// For `camera-station approved`: aligned text, or CSV with a header line.
QString approvals_text(const QList<Approval>& approvals);
QString approvals_csv(const QList<Approval>& approvals);

} // namespace station
