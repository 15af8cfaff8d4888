#include "records/records.h"

#include "link/hex_text.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <limits>
#include <system_error>

namespace station {

namespace {

// PRAGMA user_version of the layout below; a later layout migrates from the number it finds.
constexpr int schema_version = 1;

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
    duration_ms INTEGER
))";
const char* const create_started_index =
    "CREATE INDEX IF NOT EXISTS jobs_started_ms ON jobs (started_ms)";

const char* const job_columns =
    "id, started, ended, host, port, device, title, comm_id, serial, file_path, file_sha256, "
    "mode, result, reason, differing, duration_ms";

QString unique_connection_name()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("station-records-%1").arg(++counter);
}

QSqlDatabase connection(const QString& name)
{
    return QSqlDatabase::database(name, false);
}

// SQLite's own words ("file is not a database"), without Qt's "Unable to execute statement".
QString reason_of(const QSqlError& error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
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

// WAL lets several ports write at once; the switch also proves the file is a database that can
// be written, since SQLite itself opens lazily and falls back to read-only silently.
QString set_up_connection(QSqlDatabase& db)
{
    QString why;
    if (!run(db, QStringLiteral("PRAGMA busy_timeout = 5000"), &why))
        return why;
    const QVariant mode = single_value(db, QStringLiteral("PRAGMA journal_mode = WAL"), &why);
    if (!mode.isValid())
        return why;
    if (mode.toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return QStringLiteral("it cannot be written (journal mode stays %1)").arg(mode.toString());
    return {};
}

// Creates the table in a new file, or checks the version of an existing one. The version is
// written even when unchanged: SQLite refuses that write on a read-only file, which an earlier
// run may already have switched to WAL.
QString create_or_check_tables(QSqlDatabase& db)
{
    QString why;
    const QVariant version = single_value(db, QStringLiteral("PRAGMA user_version"), &why);
    if (!version.isValid())
        return why;
    if (version.toInt() > schema_version)
        return QStringLiteral("it was written by a newer version (schema %1)").arg(version.toInt());
    const bool made = version.toInt() == schema_version
        || (run(db, QLatin1String(create_jobs_table), &why)
            && run(db, QLatin1String(create_started_index), &why));
    if (made)
        run(db, QStringLiteral("PRAGMA user_version = %1").arg(schema_version), &why);
    return why;
}

// One write transaction, so that ports opening a new file at the same moment create it once.
QString create_or_check_schema(QSqlDatabase& db)
{
    QString why;
    if (!run(db, QStringLiteral("BEGIN IMMEDIATE"), &why))
        return why;
    why = create_or_check_tables(db);
    if (why.isEmpty() && run(db, QStringLiteral("COMMIT"), &why))
        return {};
    QString ignored;
    run(db, QStringLiteral("ROLLBACK"), &ignored);
    return why;
}

QString open_and_prepare(QSqlDatabase& db)
{
    if (!db.isValid())
        return QStringLiteral("the SQLite driver of Qt SQL is missing (install libqt6sql6-sqlite)");
    if (!db.open())
        return reason_of(db.lastError());
    const QString why = set_up_connection(db);
    return why.isEmpty() ? create_or_check_schema(db) : why;
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

bool Records::open(const QString& path, QString* error)
{
    if (QSqlDatabase::contains(connection_)) {
        connection(connection_).close();
        QSqlDatabase::removeDatabase(connection_);
    }
    QString why = create_folder_of(path);
    if (why.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db.setDatabaseName(path);
        why = open_and_prepare(db);
        if (!why.isEmpty())
            db.close();
    }
    if (why.isEmpty())
        return true;
    set_error(error, QStringLiteral("cannot open the record database %1: %2").arg(path, why));
    return false;
}

bool Records::is_open() const
{
    return QSqlDatabase::contains(connection_) && connection(connection_).isOpen();
}

QString Records::path() const
{
    return QSqlDatabase::contains(connection_) ? connection(connection_).databaseName() : QString();
}

qint64 Records::begin(const JobStart& start, QString* error)
{
    QSqlQuery query(connection(connection_));
    query.prepare(QStringLiteral(
        "INSERT INTO jobs (started, started_ms, host, port, device, title, comm_id, serial, "
        "file_path, file_sha256, mode, result) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant& value :
         {text_value(iso_text(start.started)), QVariant(start.started.toMSecsSinceEpoch()),
          text_value(start.host), QVariant(start.port), text_value(start.device),
          text_value(start.title), comm_id_value(start.comm_id),
          text_value(start.serial), text_value(start.file_path), text_value(start.file_sha256),
          text_value(start.mode), QVariant(result_word(JobResult::Aborted))})
        query.addBindValue(value);
    if (!query.exec()) {
        set_error(error, QStringLiteral("cannot record the job in %1: %2")
                             .arg(path(), reason_of(query.lastError())));
        return -1;
    }
    return query.lastInsertId().toLongLong();
}

bool Records::finish(qint64 id, const JobEnd& end, QString* error)
{
    QSqlQuery query(connection(connection_));
    const QString identity_columns = end.identity ? QStringLiteral("title = ?, comm_id = ?, ") : QString();
    query.prepare(QStringLiteral("UPDATE jobs SET ended = ?, result = ?, reason = ?, %1"
                                 "differing = ?, duration_ms = ? WHERE id = ?")
                      .arg(identity_columns));
    query.addBindValue(text_value(iso_text(end.ended)));
    query.addBindValue(result_word(end.result));
    query.addBindValue(text_value(end.reason));
    if (end.identity) {
        query.addBindValue(text_value(end.identity->title));
        query.addBindValue(comm_id_value(end.identity->comm_id));
    }
    query.addBindValue(text_value(addresses_text(end.differing)));
    query.addBindValue(end.duration_ms);
    query.addBindValue(id);
    QString why;
    if (!query.exec())
        why = reason_of(query.lastError());
    else if (query.numRowsAffected() != 1)
        why = QStringLiteral("no job %1").arg(id);
    if (why.isEmpty())
        return true;
    set_error(error, QStringLiteral("cannot complete the record of job %1 in %2: %3")
                         .arg(QString::number(id), path(), why));
    return false;
}

QList<JobRow> Records::list(std::optional<QDateTime> since, int limit) const
{
    QSqlQuery query(connection(connection_));
    query.prepare(QStringLiteral("SELECT %1 FROM jobs WHERE started_ms >= ? "
                                 "ORDER BY started_ms DESC, id DESC LIMIT ?")
                      .arg(QLatin1String(job_columns)));
    const bool filtered = since && since->isValid();
    query.addBindValue(filtered ? since->toMSecsSinceEpoch() : std::numeric_limits<qint64>::min());
    query.addBindValue(limit); // SQLite reads a negative limit as none
    QList<JobRow> rows;
    if (!query.exec())
        return rows;
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
            row.start.started.toString(Qt::ISODate),
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
            iso_text(row.start.started),
            row.end ? iso_text(end.ended) : QString(),
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
            row.end ? QString::number(end.duration_ms) : QString()};
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
