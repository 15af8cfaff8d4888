#include "records/records.h"

#include "link/hex_text.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <limits>
#include <system_error>
#include <thread>

namespace station {

namespace {

// PRAGMA user_version of the layout below; a later layout migrates from the number it finds.
// 1: the first; 2: the keep map of each job.
constexpr int schema_version = 2;
constexpr int keep_map_version = 2;

// `started_ms` (UTC milliseconds) orders and filters rows correctly across changes of the
// local offset; `started` keeps the time as the station saw it, with its offset.
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

const char* const job_columns =
    "id, started, ended, host, port, device, title, comm_id, serial, file_path, file_sha256, "
    "mode, result, reason, differing, duration_ms, keep_map";

// The columns to select from a database of `version`: one read without migrating it (read-only)
// has no keep map column, and its rows read as without a keep map.
QString columns_of(int version)
{
    QString columns = QLatin1String(job_columns);
    if (version < keep_map_version) columns.replace(QLatin1String("keep_map"), QLatin1String("'' AS keep_map"));
    return columns;
}

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

// Creates the table in a new file, brings an older layout up to this one, or checks the version
// of an existing one. The version is written even when unchanged: SQLite refuses that write on a
// read-only file, which an earlier run may already have switched to WAL.
QString create_or_check_tables(QSqlDatabase& db)
{
    QString why;
    const QVariant version = single_value(db, QStringLiteral("PRAGMA user_version"), &why);
    if (!version.isValid())
        return why;
    const int found = version.toInt();
    if (found > schema_version)
        return QStringLiteral("it was written by a newer version (schema %1)").arg(found);
    bool made = true;
    if (found == 0)
        made = run(db, QLatin1String(create_jobs_table), &why) && run(db, QLatin1String(create_started_index), &why);
    else if (found < keep_map_version)
        made = run(db, QLatin1String(add_keep_map_column), &why);
    if (made)
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
        if (is_transient(begin.lastError()) && version.toInt() == schema_version)
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
// opens lazily, so this is also where a file that cannot be read says so. `version_found` gets
// the version of its layout.
QString check_for_reading(QSqlDatabase& db, int* code, int* version_found)
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
    *version_found = version;
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
    return row;
}

} // namespace

QString local_time_text(const QDateTime& time, bool milliseconds)
{
    const QDateTime local = time.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(milliseconds ? Qt::ISODateWithMs : Qt::ISODate);
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
    version_ = schema_version;
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
        why = check_for_reading(db, &code, &version_);
        if (code == kSqliteReadOnly || code == kSqliteCantOpen) {
            db.close();
            if (open_connection(immutable_uri(path), QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"), &why)) {
                db = connection(connection_);
                why = check_for_reading(db, &code, &version_);
            }
        }
        if (!why.isEmpty())
            connection(connection_).close();
    }
    if (why.isEmpty())
        return true;
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

qint64 Records::begin(const JobStart& start, RecordsError* error)
{
    const QString what = QStringLiteral("cannot record the job");
    if (const QString gone = file_gone(); !gone.isEmpty()) {
        if (error)
            *error = write_error(what, gone, false);
        return -1;
    }
    QSqlQuery query(connection(connection_));
    query.prepare(QStringLiteral(
        "INSERT INTO jobs (started, started_ms, host, port, device, title, comm_id, serial, "
        "file_path, file_sha256, mode, result, keep_map) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant& value :
         {text_value(iso_text(start.started)), QVariant(start.started.toMSecsSinceEpoch()),
          text_value(start.host), QVariant(start.port), text_value(start.device),
          text_value(start.title), comm_id_value(start.comm_id),
          text_value(start.serial), text_value(start.file_path), text_value(start.file_sha256),
          text_value(start.mode), QVariant(result_word(JobResult::Aborted)), text_value(start.keep_map)})
        query.addBindValue(value);
    if (!query.exec()) {
        if (error)
            *error = write_error(what, reason_of(query.lastError()), is_transient(query.lastError()));
        return -1;
    }
    return query.lastInsertId().toLongLong();
}

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
    query.prepare(QStringLiteral("UPDATE jobs SET ended = ?, result = ?, reason = ?, %1%2"
                                 "differing = ?, duration_ms = ? WHERE id = ?")
                      .arg(identity_columns, file_column));
    query.addBindValue(text_value(iso_text(end.ended)));
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

QList<JobRow> Records::list(std::optional<QDateTime> since, int limit, QString* error) const
{
    QSqlQuery query(connection(connection_));
    query.prepare(QStringLiteral("SELECT %1 FROM jobs WHERE started_ms >= ? "
                                 "ORDER BY started_ms DESC, id DESC LIMIT ?")
                      .arg(columns_of(version_)));
    const bool filtered = since && since->isValid();
    query.addBindValue(filtered ? since->toMSecsSinceEpoch() : std::numeric_limits<qint64>::min());
    query.addBindValue(limit); // SQLite reads a negative limit as none
    QList<JobRow> rows;
    if (!query.exec()) {
        set_error(error, QStringLiteral("cannot read the records in %1: %2").arg(path(), reason_of(query.lastError())));
        return rows;
    }
    while (query.next())
        rows << row_from(query);
    return rows;
}

namespace {

QString duration_text(const JobRow& row)
{
    if (!row.end)
        return QStringLiteral("-");
    return QStringLiteral("%1 s").arg(double(row.end->duration_ms) / 1000.0, 0, 'f', 1);
}

QStringList text_fields(const JobRow& row)
{
    return {QString::number(row.id),
            local_time_text(row.start.started),
            QString::number(row.start.port),
            result_word(row.result),
            row.start.title,
            row.start.serial,
            QFileInfo(row.start.file_path).fileName(),
            duration_text(row),
            row.end ? row.end->reason : QString()};
}

QStringList csv_fields(const JobRow& row)
{
    const JobEnd end = row.end.value_or(JobEnd{});
    return {QString::number(row.id),
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
            row.start.keep_map};
}

// Numbers and durations line up on the right, words on the left; the last column is not padded.
QString aligned_line(const QStringList& fields, const QList<qsizetype>& widths)
{
    static const QList<bool> right_aligned = {true, false, true, false, false, false, false, true, false};
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

} // namespace

QString records_text(const QList<JobRow>& rows)
{
    QList<QStringList> lines = {{QStringLiteral("ID"), QStringLiteral("Started"),
                                 QStringLiteral("Port"), QStringLiteral("Result"),
                                 QStringLiteral("Title"), QStringLiteral("Serial"),
                                 QStringLiteral("File"), QStringLiteral("Duration"),
                                 QStringLiteral("Reason")}};
    for (const JobRow& row : rows)
        lines << text_fields(row);
    QList<qsizetype> widths(lines.first().size(), 0);
    for (const QStringList& fields : lines) {
        for (qsizetype column = 0; column < fields.size(); ++column)
            widths[column] = std::max(widths[column], fields[column].size());
    }
    QString text;
    for (const QStringList& fields : lines)
        text += aligned_line(fields, widths);
    return text;
}

QString records_csv(const QList<JobRow>& rows)
{
    QString text = csv_line(QString::fromLatin1(job_columns).split(QStringLiteral(", ")));
    for (const JobRow& row : rows)
        text += csv_line(csv_fields(row));
    return text;
}

} // namespace station
