#include "records/records.h"

#include "link/hex_text.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <limits>
#include <span>
#include <system_error>
#include <thread>

namespace station {

namespace {

// PRAGMA user_version of the layout below. 1: the first; 2: the keep map of each job, and the
// plant's columns and tables. Each column is added where it is missing, whatever the number says.
constexpr int schema_version = 2;

// The first layout. `started_ms` (UTC milliseconds) orders and filters rows correctly across
// changes of the local offset; `started` keeps the time as the station saw it, with its offset.
const char* const create_jobs_table = R"(
CREATE TABLE IF NOT EXISTS jobs (
    id          INTEGER PRIMARY KEY AUTOINCREMENT,
    started     TEXT    NOT NULL,
    started_ms  INTEGER NOT NULL,
    ended       TEXT,
    host        TEXT    NOT NULL,
    port        INTEGER NOT NULL,
    device      TEXT    NOT NULL,
    title       TEXT    NOT NULL,
    comm_id     INTEGER,
    serial      TEXT    NOT NULL,
    file_path   TEXT    NOT NULL,
    file_sha256 TEXT    NOT NULL,
    mode        TEXT    NOT NULL,
    result      TEXT    NOT NULL,
    reason      TEXT    NOT NULL DEFAULT '',
    differing   TEXT    NOT NULL DEFAULT '',
    duration_ms INTEGER,
    keep_map    TEXT    NOT NULL DEFAULT ''
))";
// From version 1: its rows were written without a keep map.
const char* const add_keep_map_column = "ALTER TABLE jobs ADD COLUMN keep_map TEXT NOT NULL DEFAULT ''";
const char* const create_started_index =
    "CREATE INDEX IF NOT EXISTS jobs_started_ms ON jobs (started_ms)";

// ---- The plant's additions to the first layout ----

// What a row's forward_state says of it.
enum ForwardState { kLocal = 0, kWaiting = 1, kSent = 2 };

// Each is added when the table lacks it, whatever the version number says: the numbering of
// layouts made on other lines of work is settled apart from these steps.
const std::pair<const char*, const char*> plant_columns[] = {
    {"job_id", "TEXT"},
    {"station", "TEXT NOT NULL DEFAULT ''"},
    {"operator", "TEXT NOT NULL DEFAULT ''"},
    {"run_id", "TEXT NOT NULL DEFAULT ''"},           // the run that began the row
    {"forward_state", "INTEGER NOT NULL DEFAULT 0"},  // kLocal: rows from before stay here
};

// The yield's additions: whose fault a failure is, the camera's attempt with its master and
// whether the operator confirmed a retest; each added where missing. Rows from before keep an
// empty fault and attempt 0: readers classify and count those themselves.
// So that a year of jobs is counted in a moment, each job also keeps its end as UTC milliseconds,
// its hour on the station's clock (clock_hour()) and whether it is its camera's only job (`solo`:
// 1 its only job, ended with a verdict its result and fault give; 2 its only job so far, not
// ended; 0 not, or a save, or a verdict only its reason gives; NULL in rows from before). The
// yield sums the jobs with 1 alone and takes every other job through the camera's other jobs.
const std::pair<const char*, const char*> yield_columns[] = {
    {"fault", "TEXT NOT NULL DEFAULT ''"},
    {"attempt", "INTEGER NOT NULL DEFAULT 0"},
    {"retest_confirmed", "INTEGER NOT NULL DEFAULT 0"},
    {"ended_ms", "INTEGER"},
    {"clock_hour", "INTEGER"},
    {"solo", "INTEGER"},
};

const char* const yield_statements[] = {
    // A camera's earlier jobs with its master are counted when each job begins.
    "CREATE INDEX IF NOT EXISTS jobs_camera ON jobs (serial, file_sha256)",
    // A camera as the yield tells cameras apart: its serial without blanks, its master's SHA.
    "CREATE INDEX IF NOT EXISTS jobs_camera_key ON jobs (trim(serial), lower(file_sha256))",
    // A camera's second job makes its first one no longer its only one, in the same statement.
    "CREATE TRIGGER IF NOT EXISTS jobs_camera_repeated AFTER INSERT ON jobs "
    "WHEN NEW.solo = 0 AND trim(NEW.serial) <> '' BEGIN "
    "UPDATE jobs SET solo = 0 WHERE solo IN (1, 2) AND trim(serial) = trim(NEW.serial) "
    "AND lower(file_sha256) = lower(NEW.file_sha256); END",
    // The jobs the yield takes through their cameras' other jobs, in the order it takes them.
    "CREATE INDEX IF NOT EXISTS jobs_repeated ON jobs (trim(serial), lower(file_sha256), started_ms, id) "
    "WHERE solo IS NOT 1",
    // Everything the yield sums over cameras with a single job, in the order it groups them: it
    // reads this index alone, in order, and never sorts the jobs.
    "CREATE INDEX IF NOT EXISTS jobs_yield ON jobs (clock_hour, port, station, file_sha256, solo, mode, "
    "result, fault, attempt, started_ms, ended_ms, file_path)",
    // The failures the yield ranks, a few in a hundred jobs.
    "CREATE INDEX IF NOT EXISTS jobs_failures ON jobs (started_ms, station, file_sha256, mode, result, fault, "
    "reason, differing) WHERE result NOT IN ('pass', 'unverified')",
};

// A version 4 UUID made by SQLite, for the rows of an earlier layout.
const char* const sqlite_uuid =
    "lower(hex(randomblob(4))) || '-' || lower(hex(randomblob(2))) || '-4' || "
    "substr(lower(hex(randomblob(2))), 2) || '-' || substr('89ab', 1 + (abs(random()) % 4), 1) "
    "|| substr(lower(hex(randomblob(2))), 2) || '-' || lower(hex(randomblob(6)))";

// The approvals: this database's own (approved_masters) and the journal's copy of the server's,
// with the moment it was made. Times as the jobs keep them: the text with its offset and the UTC
// milliseconds that order them.
const char* const approval_table_columns =
    "(file_sha256 TEXT PRIMARY KEY, file_name TEXT NOT NULL, approved_by TEXT NOT NULL, "
    "approved TEXT NOT NULL, approved_ms INTEGER NOT NULL, note TEXT NOT NULL)";

QStringList plant_statements()
{
    return {
        QStringLiteral("UPDATE jobs SET job_id = %1 WHERE job_id IS NULL").arg(QLatin1String(sqlite_uuid)),
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS jobs_job_id ON jobs (job_id)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS jobs_waiting ON jobs (started_ms, id) WHERE forward_state = 1"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS approved_masters %1").arg(QLatin1String(approval_table_columns)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS approvals_copy %1").arg(QLatin1String(approval_table_columns)),
        QStringLiteral("CREATE TABLE IF NOT EXISTS approvals_copy_made (made TEXT NOT NULL)"),
    };
}

const char* const approval_columns = "file_sha256, file_name, approved_by, approved, note";

// The columns a row is read with, in the order row_from() takes them.
const char* const job_columns =
    "id, started, ended, host, port, device, title, comm_id, serial, file_path, file_sha256, "
    "mode, result, reason, differing, duration_ms, keep_map, job_id, station, operator, fault, attempt, "
    "retest_confirmed";

// A listing's columns: the first layout's, then the keep map, the plant's and the yield's.
const QStringList listing_columns = QString::fromLatin1(job_columns).split(QStringLiteral(", "));

QString unique_connection_name()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("station-records-%1").arg(++counter);
}

QSqlDatabase connection(const QString& name)
{
    return QSqlDatabase::database(name, false);
}

// How long a writer waits for another connection's write lock before its write fails (and the
// station tries again later); a reader waits this long only while a file is being recovered.
constexpr int kWriterBusyMs = 2000;
constexpr int kReaderBusyMs = 1000;

// SQLite's result codes (the low byte of an extended code) told apart here.
constexpr int kSqliteBusy = 5;
constexpr int kSqliteLocked = 6;
constexpr int kSqliteReadOnly = 8;
constexpr int kSqliteFull = 13;
constexpr int kSqliteCantOpen = 14;

// SQLite's own words ("file is not a database"), without Qt's "Unable to execute statement".
QString reason_of(const QSqlError& error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

int primary_code(const QSqlError& error)
{
    return error.nativeErrorCode().toInt() & 0xFF;
}

// What waiting may mend: another connection's lock, a full database or disk.
bool is_transient(const QSqlError& error)
{
    const int code = primary_code(error);
    return code == kSqliteBusy || code == kSqliteLocked || code == kSqliteFull;
}

// The device and inode of the file at `path`; empty when there is none.
QString file_identity(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return {};
    return QStringLiteral("%1:%2").arg(info.st_dev).arg(info.st_ino);
}

void set_error(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// Stored with the offset of the moment, e.g. "2024-05-01T14:03:07.250+02:00".
QString iso_text(const QDateTime& time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QDateTime time_from_iso(const QVariant& value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

// Qt SQL binds a null QString as NULL; an empty text is stored as ''.
QVariant text_value(const QString& text)
{
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

// An unknown COMM ID (-1) is stored as NULL.
QVariant comm_id_value(int comm_id)
{
    return comm_id < 0 ? QVariant(QMetaType(QMetaType::Int)) : QVariant(comm_id);
}

QString addresses_text(const QList<int>& addresses)
{
    QStringList words;
    for (int address : addresses)
        words << QStringLiteral("0x") + hex_word_text(address);
    return words.join(QLatin1Char(' '));
}

QList<int> addresses_from_text(const QString& text)
{
    QList<int> addresses;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int address = hex_text_value(word.mid(2)); // past the "0x"
        if (address >= 0)
            addresses << address;
    }
    return addresses;
}

// The first value of a one-row statement such as a PRAGMA; invalid when it failed.
QVariant single_value(QSqlDatabase& db, const QString& statement, QString* why)
{
    QSqlQuery query(db);
    if (!query.exec(statement) || !query.next()) {
        *why = reason_of(query.lastError());
        return {};
    }
    return query.value(0);
}

bool run(QSqlDatabase& db, const QString& statement, QString* why)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    *why = reason_of(query.lastError());
    return false;
}

QString create_folder_of(const QString& path)
{
    std::error_code failure;
    const QString folder = QFileInfo(path).absolutePath();
    std::filesystem::create_directories(folder.toStdString(), failure);
    if (failure)
        return QStringLiteral("cannot create the folder %1 (%2)")
            .arg(folder, QString::fromStdString(failure.message()));
    return {};
}

// Switching a new file to WAL needs it alone for a moment, and SQLite's busy time-out does not
// cover that wait: while another port opens the same new file, the switch is tried again.
QVariant switch_to_wal(QSqlDatabase& db, QString* why)
{
    constexpr int kRetryMs = 20;
    QElapsedTimer clock;
    clock.start();
    while (true) {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) && query.next())
            return query.value(0);
        *why = reason_of(query.lastError());
        if (!is_transient(query.lastError()) || clock.elapsed() >= kWriterBusyMs)
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
    }
}

// WAL lets several ports write at once; the switch also proves the file is a database that can
// be written, since SQLite itself opens lazily and falls back to read-only silently.
QString set_up_connection(QSqlDatabase& db)
{
    QString why;
    if (!run(db, QStringLiteral("PRAGMA busy_timeout = %1").arg(kWriterBusyMs), &why))
        return why;
    const QVariant mode = switch_to_wal(db, &why);
    if (!mode.isValid())
        return why;
    if (mode.toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return QStringLiteral("it cannot be written (journal mode stays %1)").arg(mode.toString());
    return {};
}

bool has_column(QSqlDatabase& db, const char* table, const char* column)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT count(*) FROM pragma_table_info(?) WHERE name = ?"));
    query.addBindValue(QLatin1String(table));
    query.addBindValue(QLatin1String(column));
    return query.exec() && query.next() && query.value(0).toInt() > 0;
}

bool has_table(QSqlDatabase& db, const char* table)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?"));
    query.addBindValue(QLatin1String(table));
    return query.exec() && query.next() && query.value(0).toInt() > 0;
}

// Columns each added to the table of jobs where it lacks them: a name and its type.
using ColumnList = std::span<const std::pair<const char*, const char*>>;

bool has_columns(QSqlDatabase& db, ColumnList columns)
{
    return std::all_of(columns.begin(), columns.end(), [&](const auto& column) { return has_column(db, "jobs", column.first); });
}

QString add_missing_columns(QSqlDatabase& db, ColumnList columns)
{
    QString why;
    for (const auto& [column, type] : columns) {
        if (!has_column(db, "jobs", column)
            && !run(db, QStringLiteral("ALTER TABLE jobs ADD COLUMN %1 %2").arg(QLatin1String(column), QLatin1String(type)), &why))
            return why;
    }
    return {};
}

bool has_plant_columns(QSqlDatabase& db)
{
    return has_columns(db, plant_columns);
}

// The plant's columns, indexes and tables, each added where missing.
QString add_plant_layout(QSqlDatabase& db)
{
    QString why = add_missing_columns(db, plant_columns);
    for (const QString& statement : plant_statements()) {
        if (!why.isEmpty() || !run(db, statement, &why))
            return why;
    }
    return why;
}

bool has_yield_columns(QSqlDatabase& db)
{
    return has_columns(db, yield_columns);
}

QString add_yield_layout(QSqlDatabase& db)
{
    QString why = add_missing_columns(db, yield_columns);
    for (const char* statement : yield_statements) {
        if (!why.isEmpty() || !run(db, QLatin1String(statement), &why))
            return why;
    }
    return why;
}

// Nothing for a migration to add.
bool layout_complete(QSqlDatabase& db, int version)
{
    return version == schema_version && has_column(db, "jobs", "keep_map") && has_plant_columns(db) && has_table(db, "approved_masters")
           && has_table(db, "approvals_copy") && has_table(db, "approvals_copy_made") && has_yield_columns(db);
}

// Creates the tables in a new file, or brings an existing one to this layout step by step. The
// version is written even when unchanged: SQLite refuses that write on a read-only file, which an
// earlier run may already have switched to WAL.
QString create_or_check_tables(QSqlDatabase& db)
{
    QString why;
    const QVariant version = single_value(db, QStringLiteral("PRAGMA user_version"), &why);
    if (!version.isValid())
        return why;
    if (version.toInt() > schema_version)
        return QStringLiteral("it was written by a newer version (schema %1)").arg(version.toInt());
    if (!run(db, QLatin1String(create_jobs_table), &why) || !run(db, QLatin1String(create_started_index), &why))
        return why;
    if (!has_column(db, "jobs", "keep_map") && !run(db, QLatin1String(add_keep_map_column), &why))
        return why;
    if (why = add_plant_layout(db); !why.isEmpty())
        return why;
    if (why = add_yield_layout(db); !why.isEmpty())
        return why;
    run(db, QStringLiteral("PRAGMA user_version = %1").arg(schema_version), &why);
    return why;
}

// One write transaction, so that ports opening a new file at the same moment create it once.
// While another program holds the write lock, a database already laid out is taken as it is: its
// writes wait for the lock then (and try again); a new one cannot be made until it is let go.
QString create_or_check_schema(QSqlDatabase& db)
{
    QString why;
    const QVariant version = single_value(db, QStringLiteral("PRAGMA user_version"), &why);
    if (!version.isValid())
        return why;
    QSqlQuery begin(db);
    if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        if (is_transient(begin.lastError()) && layout_complete(db, version.toInt()))
            return {};
        return reason_of(begin.lastError());
    }
    why = create_or_check_tables(db);
    if (why.isEmpty() && run(db, QStringLiteral("COMMIT"), &why))
        return {};
    QString ignored;
    run(db, QStringLiteral("ROLLBACK"), &ignored);
    return why;
}

QString prepare_for_writing(QSqlDatabase& db)
{
    const QString why = set_up_connection(db);
    return why.isEmpty() ? create_or_check_schema(db) : why;
}

// A reader checks what it can read: the version of the layout and the table of jobs. SQLite
// opens lazily, so this is also where a file that cannot be read says so.
QString check_for_reading(QSqlDatabase& db, int* code)
{
    QSqlQuery query(db);
    const auto failed = [&] {
        *code = primary_code(query.lastError());
        return reason_of(query.lastError());
    };
    if (!query.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(kReaderBusyMs))
        || !query.exec(QStringLiteral("PRAGMA user_version")) || !query.next())
        return failed();
    const int version = query.value(0).toInt();
    if (version > schema_version)
        return QStringLiteral("it was written by a newer version (schema %1)").arg(version);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'jobs'"))
        || !query.next())
        return failed();
    if (query.value(0).toInt() == 0)
        return QStringLiteral("it holds no records of the station");
    return {};
}

// SQLite reads a database in WAL mode through its "-shm" file beside it; in a folder where that
// cannot be made (a copy in a read-only folder) the file is read as one that nobody changes.
QString immutable_uri(const QString& path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)
           + QStringLiteral("?immutable=1");
}

JobRow row_from(const QSqlQuery& query)
{
    JobRow row;
    row.id = query.value(0).toLongLong();
    JobStart& start = row.start;
    start.started = time_from_iso(query.value(1));
    start.host = query.value(3).toString();
    start.port = query.value(4).toInt();
    start.device = query.value(5).toString();
    start.title = query.value(6).toString();
    start.comm_id = query.value(7).isNull() ? -1 : query.value(7).toInt();
    start.serial = query.value(8).toString();
    start.file_path = query.value(9).toString();
    start.file_sha256 = query.value(10).toString();
    start.mode = query.value(11).toString();
    start.keep_map = query.value(16).toString();
    row.result = result_from_word(query.value(12).toString()).value_or(JobResult::Aborted);
    if (!query.value(2).isNull()) {
        JobEnd end;
        end.ended = time_from_iso(query.value(2));
        end.result = row.result;
        end.reason = query.value(13).toString();
        end.differing = addresses_from_text(query.value(14).toString());
        end.duration_ms = query.value(15).toLongLong();
        row.end = end;
    }
    start.job_id = query.value(17).toString();
    start.station = query.value(18).toString();
    start.operator_name = query.value(19).toString();
    if (row.end)
        row.end->fault = query.value(20).toString();
    start.attempt = query.value(21).toInt();
    start.retest_confirmed = query.value(22).toBool();
    return row;
}

// The columns to read rows with: a database of the first layout, only read, lacks the plant's.
QString readable_job_columns(QSqlDatabase& db)
{
    QString columns = QLatin1String(job_columns);
    if (!has_column(db, "jobs", "keep_map"))
        columns.replace(QLatin1String("keep_map"), QLatin1String("''"));
    if (!has_plant_columns(db))
        columns.replace(QLatin1String("job_id, station, operator"), QLatin1String("NULL, '', ''"));
    if (!has_yield_columns(db))
        columns.replace(QLatin1String("fault, attempt, retest_confirmed"), QLatin1String("'', 0, 0"));
    return columns;
}

// Stored with the offset of the moment, ordered by its UTC milliseconds.
void bind_approval(QSqlQuery& query, const Approval& approval)
{
    for (const QVariant& value :
         {QVariant(approval.file_sha256.toLower()), text_value(approval.file_name), text_value(approval.approved_by),
          QVariant(iso_text(approval.approved)), QVariant(approval.approved.toMSecsSinceEpoch()),
          text_value(approval.note)})
        query.addBindValue(value);
}

Approval approval_from(const QSqlQuery& query)
{
    return {query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
            time_from_iso(query.value(3)), query.value(4).toString()};
}

std::optional<QList<Approval>> approvals_in(QSqlDatabase db, const char* table, QString* why)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY approved_ms, file_sha256")
                        .arg(QLatin1String(approval_columns), QLatin1String(table)))) {
        *why = reason_of(query.lastError());
        return std::nullopt;
    }
    QList<Approval> list;
    while (query.next())
        list << approval_from(query);
    return list;
}

} // namespace

QString local_time_text(const QDateTime& time, bool milliseconds)
{
    const QDateTime local = time.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(milliseconds ? Qt::ISODateWithMs : Qt::ISODate);
}

qint64 clock_hour(const QDateTime& time)
{
    const qint64 seconds = time.toSecsSinceEpoch() + time.offsetFromUtc();
    return seconds >= 0 ? seconds / 3600 : -((-seconds + 3599) / 3600);
}

QString result_word(JobResult result)
{
    switch (result) {
    case JobResult::Pass: return QStringLiteral("pass");
    case JobResult::FailVerify: return QStringLiteral("fail-verify");
    case JobResult::FailLink: return QStringLiteral("fail-link");
    case JobResult::FailRefused: return QStringLiteral("fail-refused");
    case JobResult::Unverified: return QStringLiteral("unverified");
    case JobResult::Aborted: break;
    }
    return QStringLiteral("aborted");
}

std::optional<JobResult> result_from_word(const QString& word)
{
    for (JobResult result : {JobResult::Pass, JobResult::FailVerify, JobResult::FailLink,
                             JobResult::FailRefused, JobResult::Unverified, JobResult::Aborted}) {
        if (result_word(result) == word)
            return result;
    }
    return std::nullopt;
}

Records::Records() : connection_(unique_connection_name()) {}

Records::~Records()
{
    if (!QSqlDatabase::contains(connection_))
        return;
    connection(connection_).close(); // the temporary handle is gone before the removal below
    QSqlDatabase::removeDatabase(connection_);
}

QString Records::default_path()
{
    QString data_home = qEnvironmentVariable("XDG_DATA_HOME");
    if (data_home.isEmpty() || QDir::isRelativePath(data_home))
        data_home = QDir::homePath() + QStringLiteral("/.local/share");
    return data_home + QStringLiteral("/camera-adjust/station.sqlite");
}

// A connection of its own on `path` with the driver's `options`; false with SQLite's reason.
bool Records::open_connection(const QString& path, const QString& options, QString* why)
{
    if (QSqlDatabase::contains(connection_)) {
        connection(connection_).close();
        QSqlDatabase::removeDatabase(connection_);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    if (!db.isValid()) {
        *why = QStringLiteral("the SQLite driver of Qt SQL is missing (install libqt6sql6-sqlite)");
        return false;
    }
    db.setDatabaseName(path);
    db.setConnectOptions(options);
    if (db.open())
        return true;
    *why = reason_of(db.lastError());
    return false;
}

bool Records::open(const QString& path, QString* error)
{
    path_ = path;
    QString why = create_folder_of(path);
    if (why.isEmpty() && open_connection(path, {}, &why)) {
        QSqlDatabase db = connection(connection_);
        why = prepare_for_writing(db);
        if (!why.isEmpty())
            db.close();
    }
    file_id_ = file_identity(path);
    job_columns_ = QLatin1String(job_columns);
    if (why.isEmpty())
        return true;
    set_error(error, QStringLiteral("cannot open the record database %1: %2").arg(path, why));
    return false;
}

bool Records::open_for_reading(const QString& path, QString* error)
{
    path_ = path;
    file_id_.clear(); // never written through
    QString why;
    if (!QFileInfo::exists(path)) {
        why = QStringLiteral("there is no such file");
    } else if (!QFileInfo(path).isFile()) {
        why = QStringLiteral("it is not a file");
    } else if (open_connection(path, QStringLiteral("QSQLITE_OPEN_READONLY"), &why)) {
        QSqlDatabase db = connection(connection_);
        int code = 0;
        why = check_for_reading(db, &code);
        if (code == kSqliteReadOnly || code == kSqliteCantOpen) {
            db.close();
            if (open_connection(immutable_uri(path), QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"), &why)) {
                db = connection(connection_);
                why = check_for_reading(db, &code);
            }
        }
        if (!why.isEmpty())
            connection(connection_).close();
    }
    if (why.isEmpty()) {
        QSqlDatabase db = connection(connection_);
        job_columns_ = readable_job_columns(db);
        return true;
    }
    set_error(error, QStringLiteral("cannot read the record database %1: %2").arg(path, why));
    return false;
}

bool Records::is_open() const
{
    return QSqlDatabase::contains(connection_) && connection(connection_).isOpen();
}

QString Records::path() const
{
    return path_;
}

// SQLite goes on writing a file that was deleted or replaced while it was open, where nobody
// will ever read it: a write checks first that the path still names the file it opened.
QString Records::file_gone() const
{
    if (file_id_.isEmpty() || file_identity(path_) == file_id_)
        return {};
    return QStringLiteral("the file was deleted or replaced while the station used it");
}

RecordsError Records::write_error(const QString& what, const QString& why, bool transient) const
{
    return {transient, QStringLiteral("%1 in %2: %3").arg(what, path(), why)};
}

void Records::set_forwarding(bool forwarding)
{
    forwarding_ = forwarding;
}

QString Records::run_id()
{
    static const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return id;
}

// The attempt given, else counted in the same statement that inserts the row.
static const char* const attempt_value =
    "CASE WHEN ? > 0 THEN ? WHEN trim(?) = '' THEN 1 "
    "ELSE 1 + (SELECT count(*) FROM jobs WHERE serial = ? AND file_sha256 = ?) END";
// Whether the job is its camera's only one so far (2) or not (0): a save never counts as one (it
// clones no camera and may name another master when it ends); a job without a serial is a
// camera of its own, counted as the yield counts it only at attempt 1. The trigger
// jobs_camera_repeated clears the flag of the camera's earlier job.
static const char* const solo_value =
    "CASE WHEN ? = 'save' THEN 0 WHEN trim(?) = '' THEN (CASE WHEN ? <= 1 THEN 2 ELSE 0 END) "
    "WHEN EXISTS (SELECT 1 FROM jobs WHERE trim(serial) = trim(?) AND lower(file_sha256) = lower(?)) THEN 0 ELSE 2 END";
// The camera's only job so far, ended: summed alone when its result and fault give its verdict.
static const char* const ended_solo_value =
    "CASE WHEN solo IS NOT 2 THEN solo WHEN ? IN ('pass', 'unverified') OR ? IN ('station', 'camera') THEN 1 ELSE 0 END";

qint64 Records::begin(const JobStart& start, RecordsError* error)
{
    const QString what = QStringLiteral("cannot record the job");
    if (const QString gone = file_gone(); !gone.isEmpty()) {
        if (error)
            *error = write_error(what, gone, false);
        return -1;
    }
    const QString job_id = start.job_id.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : start.job_id;
    QSqlQuery query(connection(connection_));
    query.prepare(QStringLiteral(
        "INSERT INTO jobs (started, started_ms, host, port, device, title, comm_id, serial, "
        "file_path, file_sha256, mode, result, keep_map, job_id, station, operator, run_id, forward_state, "
        "retest_confirmed, clock_hour, attempt, solo) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "%1, %2)")
                      .arg(QLatin1String(attempt_value), QLatin1String(solo_value)));
    for (const QVariant& value :
         {text_value(iso_text(start.started)), QVariant(start.started.toMSecsSinceEpoch()),
          text_value(start.host), QVariant(start.port), text_value(start.device),
          text_value(start.title), comm_id_value(start.comm_id),
          text_value(start.serial), text_value(start.file_path), text_value(start.file_sha256),
          text_value(start.mode), QVariant(result_word(JobResult::Aborted)), text_value(start.keep_map),
          QVariant(job_id), text_value(start.station), text_value(start.operator_name), QVariant(run_id()),
          QVariant(forwarding_ ? kWaiting : kLocal), QVariant(start.retest_confirmed ? 1 : 0),
          QVariant(clock_hour(start.started)),
          QVariant(start.attempt), QVariant(start.attempt), text_value(start.serial), text_value(start.serial), text_value(start.file_sha256),
          text_value(start.mode), text_value(start.serial), QVariant(start.attempt), text_value(start.serial),
          text_value(start.file_sha256)})
        query.addBindValue(value);
    if (!query.exec()) {
        if (error)
            *error = write_error(what, reason_of(query.lastError()), is_transient(query.lastError()));
        return -1;
    }
    return query.lastInsertId().toLongLong();
}

// A row the server already has incomplete waits again once it is completed.
bool Records::finish(qint64 id, const JobEnd& end, RecordsError* error)
{
    const QString what = QStringLiteral("cannot complete the record of job %1").arg(id);
    if (const QString gone = file_gone(); !gone.isEmpty()) {
        if (error)
            *error = write_error(what, gone, false);
        return false;
    }
    QSqlQuery query(connection(connection_));
    const QString identity_columns = end.identity ? QStringLiteral("title = ?, comm_id = ?, ") : QString();
    const QString file_column = end.file_sha256.isEmpty() ? QString() : QStringLiteral("file_sha256 = ?, ");
    query.prepare(QStringLiteral("UPDATE jobs SET ended = ?, ended_ms = ?, solo = %4, result = ?, reason = ?, %1%2"
                                 "differing = ?, duration_ms = ?, fault = ?, forward_state = min(forward_state, %3) "
                                 "WHERE id = ?")
                      .arg(identity_columns, file_column)
                      .arg(kWaiting)
                      .arg(QLatin1String(ended_solo_value)));
    query.addBindValue(text_value(iso_text(end.ended)));
    query.addBindValue(end.ended.isValid() ? QVariant(end.ended.toMSecsSinceEpoch()) : QVariant(QMetaType(QMetaType::LongLong)));
    query.addBindValue(result_word(end.result));
    query.addBindValue(text_value(end.fault));
    query.addBindValue(result_word(end.result));
    query.addBindValue(text_value(end.reason));
    if (end.identity) {
        query.addBindValue(text_value(end.identity->title));
        query.addBindValue(comm_id_value(end.identity->comm_id));
    }
    if (!file_column.isEmpty())
        query.addBindValue(end.file_sha256);
    query.addBindValue(text_value(addresses_text(end.differing)));
    query.addBindValue(end.duration_ms);
    query.addBindValue(text_value(end.fault));
    query.addBindValue(id);
    if (!query.exec()) {
        if (error)
            *error = write_error(what, reason_of(query.lastError()), is_transient(query.lastError()));
        return false;
    }
    if (query.numRowsAffected() == 1)
        return true;
    if (error)
        *error = write_error(what, QStringLiteral("no such job"), false);
    return false;
}

QString Records::read_error(const QString& what, const QString& why) const
{
    return QStringLiteral("cannot read %1 in %2: %3").arg(what, path(), why);
}

std::optional<CameraPast> Records::camera_past(const QString& serial, const QString& file_sha256, QString* error) const
{
    QSqlQuery query(connection(connection_));
    query.prepare(QStringLiteral("SELECT count(*), coalesce(max(result = 'pass'), 0) FROM jobs "
                                 "WHERE serial = ? AND file_sha256 = ?"));
    query.addBindValue(text_value(serial));
    query.addBindValue(text_value(file_sha256.toLower()));
    if (!query.exec() || !query.next()) {
        set_error(error, read_error(QStringLiteral("the jobs of camera %1").arg(serial), reason_of(query.lastError())));
        return std::nullopt;
    }
    return CameraPast{query.value(0).toInt(), query.value(1).toInt() > 0};
}

bool Records::has_job_column(const QString& column) const
{
    QSqlDatabase db = connection(connection_);
    return has_column(db, "jobs", column.toLatin1().constData());
}

QList<JobRow> Records::list(std::optional<QDateTime> since, int limit, QString* error) const
{
    JobFilter filter;
    filter.since = since.value_or(QDateTime());
    filter.limit = limit;
    return list(filter, error).value_or(QList<JobRow>());
}

std::optional<QList<JobRow>> Records::list(const JobFilter& filter, QString* error) const
{
    QStringList conditions;
    QVariantList values;
    const auto condition = [&](bool wanted, const QString& test, const QVariant& value) {
        if (!wanted)
            return;
        conditions << test;
        values << value;
    };
    // A database of the first layout names no station: its rows match no station asked for.
    const bool stations_named = !job_columns_.contains(QLatin1String("NULL, '', ''"));
    condition(!filter.station.isEmpty(), stations_named ? QStringLiteral("station = ?") : QStringLiteral("'' = ?"),
              filter.station);
    condition(!filter.serial.isEmpty(), QStringLiteral("serial = ?"), filter.serial);
    condition(filter.result.has_value(), QStringLiteral("result = ?"),
              filter.result ? result_word(*filter.result) : QString());
    condition(filter.since.isValid(), QStringLiteral("started_ms >= ?"), filter.since.toMSecsSinceEpoch());
    condition(filter.until.isValid(), QStringLiteral("started_ms < ?"), filter.until.toMSecsSinceEpoch());
    QString statement = QStringLiteral("SELECT %1 FROM jobs").arg(job_columns_);
    if (!conditions.isEmpty())
        statement += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    statement += QStringLiteral(" ORDER BY started_ms DESC, id DESC LIMIT ?");
    values << filter.limit; // SQLite reads a negative limit as none

    QSqlQuery query(connection(connection_));
    query.prepare(statement);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        set_error(error, read_error(QStringLiteral("the records"), reason_of(query.lastError())));
        return std::nullopt;
    }
    QList<JobRow> rows;
    while (query.next())
        rows << row_from(query);
    return rows;
}

// Waiting: begun with a server configured and not sent since; a row still running in this run
// waits until it is finished.
static const char* const waiting_condition = "forward_state = 1 AND (ended IS NOT NULL OR run_id <> ?)";

std::optional<QList<JobRow>> Records::waiting_rows(int limit, QString* error) const
{
    QSqlQuery query(connection(connection_));
    query.prepare(QStringLiteral("SELECT %1 FROM jobs WHERE %2 ORDER BY started_ms, id LIMIT ?")
                      .arg(job_columns_, QLatin1String(waiting_condition)));
    query.addBindValue(run_id());
    query.addBindValue(limit);
    if (!query.exec()) {
        set_error(error, read_error(QStringLiteral("the records waiting for the server"), reason_of(query.lastError())));
        return std::nullopt;
    }
    QList<JobRow> rows;
    while (query.next())
        rows << row_from(query);
    return rows;
}

bool Records::mark_sent(const QList<JobRow>& rows, QString* error)
{
    QSqlDatabase db = connection(connection_);
    QString why;
    if (!run(db, QStringLiteral("BEGIN IMMEDIATE"), &why)) {
        set_error(error, write_error(QStringLiteral("cannot mark the records sent"), why, true).text);
        return false;
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral("UPDATE jobs SET forward_state = %1 "
                                 "WHERE id = ? AND forward_state = %2 AND (ended IS NULL) = ?")
                      .arg(kSent)
                      .arg(kWaiting));
    for (const JobRow& row : rows) {
        query.addBindValue(row.id);
        query.addBindValue(!row.end.has_value());
        if (!query.exec()) {
            why = reason_of(query.lastError());
            break;
        }
    }
    if (why.isEmpty() && run(db, QStringLiteral("COMMIT"), &why))
        return true;
    QString ignored;
    run(db, QStringLiteral("ROLLBACK"), &ignored);
    set_error(error, write_error(QStringLiteral("cannot mark the records sent"), why, true).text);
    return false;
}

std::optional<Backlog> Records::backlog(QString* error) const
{
    QSqlQuery query(connection(connection_));
    query.prepare(QStringLiteral("SELECT count(*), min(started_ms) FROM jobs WHERE %1").arg(QLatin1String(waiting_condition)));
    query.addBindValue(run_id());
    if (!query.exec() || !query.next()) {
        set_error(error, read_error(QStringLiteral("the records waiting for the server"), reason_of(query.lastError())));
        return std::nullopt;
    }
    Backlog backlog;
    backlog.waiting = query.value(0).toInt();
    if (!query.value(1).isNull())
        backlog.oldest = QDateTime::fromMSecsSinceEpoch(query.value(1).toLongLong());
    return backlog;
}

std::optional<Approval> Records::approve(const Approval& approval, QString* error)
{
    Approval stored = approval;
    stored.file_sha256 = approval.file_sha256.toLower();
    if (!is_sha256(stored.file_sha256)) {
        set_error(error, QStringLiteral("not a SHA-256: %1").arg(approval.file_sha256));
        return std::nullopt;
    }
    if (!stored.approved.isValid())
        stored.approved = QDateTime::currentDateTime();
    QSqlQuery query(connection(connection_));
    query.prepare(QStringLiteral("INSERT INTO approved_masters (file_sha256, file_name, approved_by, approved, "
                                 "approved_ms, note) VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (file_sha256) DO NOTHING"));
    bind_approval(query, stored);
    if (!query.exec()) {
        set_error(error, write_error(QStringLiteral("cannot approve %1").arg(stored.file_sha256),
                                     reason_of(query.lastError()), is_transient(query.lastError()))
                             .text);
        return std::nullopt;
    }
    query.prepare(QStringLiteral("SELECT %1 FROM approved_masters WHERE file_sha256 = ?").arg(QLatin1String(approval_columns)));
    query.addBindValue(stored.file_sha256);
    if (!query.exec() || !query.next()) {
        set_error(error, read_error(QStringLiteral("the approval of %1").arg(stored.file_sha256), reason_of(query.lastError())));
        return std::nullopt;
    }
    return approval_from(query);
}

std::optional<bool> Records::is_approved(const QString& file_sha256, QString* error) const
{
    const std::optional<QList<Approval>> list = approvals(error);
    if (!list)
        return std::nullopt;
    return std::any_of(list->begin(), list->end(),
                       [&](const Approval& approval) { return approval.file_sha256 == file_sha256.toLower(); });
}

// A database only read that has no table of approvals (of the first layout) has none.
std::optional<QList<Approval>> Records::approvals(QString* error) const
{
    QSqlDatabase db = connection(connection_);
    if (!has_table(db, "approved_masters"))
        return QList<Approval>();
    QString why;
    std::optional<QList<Approval>> list = approvals_in(db, "approved_masters", &why);
    if (!list)
        set_error(error, read_error(QStringLiteral("the approvals"), why));
    return list;
}

bool Records::keep_server_approvals(const QList<Approval>& approvals, QString* error)
{
    QSqlDatabase db = connection(connection_);
    QString why;
    if (!run(db, QStringLiteral("BEGIN IMMEDIATE"), &why)) {
        set_error(error, write_error(QStringLiteral("cannot keep the server's approvals"), why, true).text);
        return false;
    }
    bool done = run(db, QStringLiteral("DELETE FROM approvals_copy"), &why)
                && run(db, QStringLiteral("DELETE FROM approvals_copy_made"), &why);
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO approvals_copy (file_sha256, file_name, approved_by, approved, "
                                 "approved_ms, note) VALUES (?, ?, ?, ?, ?, ?)"));
    for (const Approval& approval : approvals) {
        if (!done)
            break;
        bind_approval(query, approval);
        done = query.exec();
        if (!done)
            why = reason_of(query.lastError());
    }
    if (done) {
        query.prepare(QStringLiteral("INSERT INTO approvals_copy_made (made) VALUES (?)"));
        query.addBindValue(iso_text(QDateTime::currentDateTime()));
        done = query.exec();
        if (!done)
            why = reason_of(query.lastError());
    }
    if (done && run(db, QStringLiteral("COMMIT"), &why))
        return true;
    QString ignored;
    run(db, QStringLiteral("ROLLBACK"), &ignored);
    set_error(error, write_error(QStringLiteral("cannot keep the server's approvals"), why, true).text);
    return false;
}

std::optional<ApprovalsCopy> Records::server_approvals(QString* error) const
{
    QSqlDatabase db = connection(connection_);
    QString why;
    ApprovalsCopy copy;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT made FROM approvals_copy_made"))) {
        set_error(error, read_error(QStringLiteral("the copy of the server's approvals"), reason_of(query.lastError())));
        return std::nullopt;
    }
    if (!query.next())
        return copy; // never copied
    copy.made = time_from_iso(query.value(0));
    std::optional<QList<Approval>> list = approvals_in(db, "approvals_copy", &why);
    if (!list) {
        set_error(error, read_error(QStringLiteral("the copy of the server's approvals"), why));
        return std::nullopt;
    }
    copy.approvals = *list;
    return copy;
}

bool is_sha256(const QString& text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    return hex.match(text).hasMatch();
}

namespace {

QString duration_text(const JobRow& row)
{
    if (!row.end)
        return QStringLiteral("-");
    return QStringLiteral("%1 s").arg(double(row.end->duration_ms) / 1000.0, 0, 'f', 1);
}

// A row from the server has no id of this station's journal.
QString id_text(const JobRow& row)
{
    return row.id > 0 ? QString::number(row.id) : QString();
}

const QStringList text_headers = {QStringLiteral("ID"),     QStringLiteral("Started"), QStringLiteral("Station"),
                                  QStringLiteral("Port"),   QStringLiteral("Result"),  QStringLiteral("Title"),
                                  QStringLiteral("Serial"), QStringLiteral("Operator"), QStringLiteral("File"),
                                  QStringLiteral("Duration"), QStringLiteral("Reason")};
// Numbers and durations line up on the right, words on the left.
const QList<bool> text_right_aligned = {true, false, false, true, false, false, false, false, false, true, false};

QStringList text_fields(const JobRow& row)
{
    return {row.id > 0 ? QString::number(row.id) : QStringLiteral("-"),
            local_time_text(row.start.started),
            row.start.station,
            QString::number(row.start.port),
            result_word(row.result),
            row.start.title,
            row.start.serial,
            row.start.operator_name,
            QFileInfo(row.start.file_path).fileName(),
            duration_text(row),
            row.end ? row.end->reason : QString()};
}

// In the order of listing_columns.
QStringList csv_fields(const JobRow& row)
{
    const JobEnd end = row.end.value_or(JobEnd{});
    return {id_text(row),
            local_time_text(row.start.started, true),
            row.end ? local_time_text(end.ended, true) : QString(),
            row.start.host,
            QString::number(row.start.port),
            row.start.device,
            row.start.title,
            row.start.comm_id < 0 ? QString() : QString::number(row.start.comm_id),
            row.start.serial,
            row.start.file_path,
            row.start.file_sha256,
            row.start.mode,
            result_word(row.result),
            end.reason,
            addresses_text(end.differing),
            row.end ? QString::number(end.duration_ms) : QString(),
            row.start.keep_map,
            row.start.job_id,
            row.start.station,
            row.start.operator_name,
            end.fault,
            QString::number(row.start.attempt),
            row.start.retest_confirmed ? QStringLiteral("1") : QStringLiteral("0")};
}

// The CSV's fields under its column names, as the station's JSON events give them: numbers as
// numbers, the differing addresses as a list, an unknown number or end left out.
QJsonObject json_of(const JobRow& row)
{
    static const QStringList numbers = {QStringLiteral("id"), QStringLiteral("port"), QStringLiteral("comm_id"),
                                        QStringLiteral("duration_ms"), QStringLiteral("attempt"),
                                        QStringLiteral("retest_confirmed")};
    const QStringList fields = csv_fields(row);
    QJsonObject object;
    for (qsizetype i = 0; i < listing_columns.size(); ++i) {
        const QString& column = listing_columns[i];
        const QString& field = fields[i];
        const bool number = numbers.contains(column);
        if (column == QLatin1String("differing"))
            object.insert(column, QJsonArray::fromStringList(field.split(QLatin1Char(' '), Qt::SkipEmptyParts)));
        else if (!field.isEmpty() || !(number || column == QLatin1String("ended")))
            object.insert(column, number ? QJsonValue(field.toLongLong()) : QJsonValue(field));
    }
    return object;
}

// The last column is not padded.
QString aligned_line(const QStringList& fields, const QList<qsizetype>& widths, const QList<bool>& right_aligned)
{
    QStringList padded;
    for (qsizetype column = 0; column < fields.size(); ++column) {
        const bool last = column + 1 == fields.size();
        const QString& field = fields[column];
        padded << (last ? field
                   : right_aligned[column] ? field.rightJustified(widths[column])
                                           : field.leftJustified(widths[column]));
    }
    QString line = padded.join(QStringLiteral("  "));
    while (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    return line + QLatin1Char('\n');
}

QString aligned_table(const QList<QStringList>& lines, const QList<bool>& right_aligned)
{
    QList<qsizetype> widths(lines.first().size(), 0);
    for (const QStringList& fields : lines) {
        for (qsizetype column = 0; column < fields.size(); ++column)
            widths[column] = std::max(widths[column], fields[column].size());
    }
    QString text;
    for (const QStringList& fields : lines)
        text += aligned_line(fields, widths, right_aligned);
    return text;
}

// RFC 4180: a field holding a comma, a quote or a line break is quoted, its quotes doubled.
QString csv_field(QString field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"'))
        && !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    field.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

QString csv_line(const QStringList& fields)
{
    QStringList quoted;
    for (const QString& field : fields)
        quoted << csv_field(field);
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QStringList approval_fields(const Approval& approval, bool milliseconds)
{
    return {local_time_text(approval.approved, milliseconds), approval.approved_by, approval.file_sha256,
            approval.file_name, approval.note};
}

} // namespace

QString records_text(const QList<JobRow>& rows)
{
    QList<QStringList> lines = {text_headers};
    for (const JobRow& row : rows)
        lines << text_fields(row);
    return aligned_table(lines, text_right_aligned);
}

QString records_csv(const QList<JobRow>& rows)
{
    QString text = csv_line(listing_columns);
    for (const JobRow& row : rows)
        text += csv_line(csv_fields(row));
    return text;
}

QString records_json(const QList<JobRow>& rows)
{
    QString text;
    for (const JobRow& row : rows)
        text += QString::fromUtf8(QJsonDocument(json_of(row)).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
    return text;
}

QString history_text(const QList<JobRow>& rows)
{
    QList<QStringList> lines = {{QStringLiteral("Started"), QStringLiteral("Station"), QStringLiteral("Port"),
                                 QStringLiteral("Attempt"), QStringLiteral("Master"), QStringLiteral("Result"),
                                 QStringLiteral("Operator"), QStringLiteral("Reason")}};
    for (const JobRow& row : rows) {
        const QString master = QStringLiteral("%1 (%2)").arg(QFileInfo(row.start.file_path).fileName(),
                                                             row.start.file_sha256.left(8));
        lines << QStringList{local_time_text(row.start.started),
                             row.start.station,
                             QString::number(row.start.port),
                             row.start.attempt > 0 ? QString::number(row.start.attempt) : QStringLiteral("-"),
                             master,
                             result_word(row.result),
                             row.start.operator_name,
                             row.end ? row.end->reason : QString()};
    }
    return aligned_table(lines, {false, false, true, true, false, false, false, false});
}

QString approvals_text(const QList<Approval>& approvals)
{
    QList<QStringList> lines = {{QStringLiteral("Approved"), QStringLiteral("By"), QStringLiteral("SHA-256"),
                                 QStringLiteral("File"), QStringLiteral("Note")}};
    for (const Approval& approval : approvals)
        lines << approval_fields(approval, false);
    return aligned_table(lines, {false, false, false, false, false});
}

QString approvals_csv(const QList<Approval>& approvals)
{
    QString text = csv_line({QStringLiteral("approved"), QStringLiteral("approved_by"), QStringLiteral("file_sha256"),
                             QStringLiteral("file_name"), QStringLiteral("note")});
    for (const Approval& approval : approvals)
        text += csv_line(approval_fields(approval, true));
    return text;
}

} // namespace station
