#include "records/server_records.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <set>

namespace station {

namespace {

// Start and end times keep the offset the station's clock showed, beside the instant.
const char* const create_tables[] = {
    "CREATE TABLE records_schema (version integer NOT NULL)",
    R"(CREATE TABLE jobs (
    job_id         text PRIMARY KEY,
    station        text    NOT NULL,
    operator       text    NOT NULL,
    started        timestamptz NOT NULL,
    started_offset integer NOT NULL,
    ended          timestamptz,
    ended_offset   integer,
    host           text    NOT NULL,
    port           integer NOT NULL,
    device         text    NOT NULL,
    title          text    NOT NULL,
    comm_id        integer,
    serial         text    NOT NULL,
    file_path      text    NOT NULL,
    file_sha256    text    NOT NULL,
    mode           text    NOT NULL,
    keep_map       text    NOT NULL,
    result         text    NOT NULL,
    reason         text    NOT NULL,
    differing      integer[] NOT NULL,
    duration_ms    bigint,
    fault          text    NOT NULL DEFAULT '',
    attempt        integer NOT NULL DEFAULT 0,
    retest_confirmed boolean NOT NULL DEFAULT false
))",
    "CREATE INDEX jobs_serial ON jobs (serial)",
    "CREATE INDEX jobs_camera ON jobs (serial, file_sha256)",
    "CREATE INDEX jobs_station ON jobs (station)",
    "CREATE INDEX jobs_started ON jobs (started)",
    "CREATE INDEX jobs_result ON jobs (result)",
    R"(CREATE TABLE approved_masters (
    file_sha256     text PRIMARY KEY,
    file_name       text NOT NULL,
    approved_by     text NOT NULL,
    approved        timestamptz NOT NULL,
    approved_offset integer NOT NULL,
    note            text NOT NULL
))",
};

// The yield's additions to the first layout, made where `solo` is missing: each job's hour on
// its station's clock (clock_hour()) and whether it is its camera's only job (true: its only job,
// ended with a verdict its result and fault give; false: not, or a save, or a verdict only its
// reason gives; NULL: not ended yet, or a row from before), the index that finds a camera's jobs
// as the yield tells cameras apart, and two that hold all the yield reads of the jobs it takes
// through their cameras' other jobs (a tenth of them) and of the failures it ranks, so that it
// reads them without the table once the table is vacuumed. The yield sums the jobs with true
// alone and takes every other job through the camera's other jobs.
const char* const yield_layout[] = {
    "ALTER TABLE jobs ADD COLUMN IF NOT EXISTS clock_hour integer, ADD COLUMN IF NOT EXISTS solo boolean",
    "CREATE INDEX IF NOT EXISTS jobs_camera_key ON jobs (trim(serial), lower(file_sha256))",
    "CREATE INDEX IF NOT EXISTS jobs_repeated ON jobs (started) INCLUDE (job_id, port, station, clock_hour, "
    "started_offset, ended, result, fault, attempt, serial, file_sha256, mode, reason, file_path) WHERE solo IS NOT TRUE",
    "CREATE INDEX IF NOT EXISTS jobs_failures ON jobs (started) INCLUDE (station, file_sha256, mode, result, fault, "
    "reason, differing) WHERE result NOT IN ('pass', 'unverified')",
};

// A second copy of a row completes an incomplete one and changes nothing else: the start of a
// job is known once, and a completed job is never reopened. A camera's new job makes its other
// jobs no longer its only ones (`earlier`); the camera's lock, taken before (lock_cameras),
// keeps two stations from each taking their job for the only one.
const char* const store_job = R"(
WITH earlier AS (
    UPDATE jobs SET solo = false
    WHERE solo AND trim(serial) = trim(?) AND trim(serial) <> '' AND lower(file_sha256) = lower(?) AND job_id <> ?)
INSERT INTO jobs (job_id, station, operator, started, started_offset, ended, ended_offset, host,
                  port, device, title, comm_id, serial, file_path, file_sha256, mode, keep_map,
                  result, reason, differing, duration_ms, fault, attempt, retest_confirmed, clock_hour, solo)
VALUES (?, ?, ?, CAST(? AS timestamptz), ?, CAST(? AS timestamptz), ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,
        ?, ?, ?, CAST(? AS integer[]), ?, ?, ?, ?, ?,
        CASE WHEN ? = 'save' OR (trim(?) = '' AND ? > 1) THEN false
             WHEN EXISTS (SELECT 1 FROM jobs WHERE trim(serial) = trim(?) AND trim(serial) <> ''
                          AND lower(file_sha256) = lower(?) AND job_id <> ?) THEN false
             WHEN CAST(? AS timestamptz) IS NULL THEN NULL
             ELSE ? IN ('pass', 'unverified') OR ? IN ('station', 'camera') END)
ON CONFLICT (job_id) DO UPDATE SET
    ended = EXCLUDED.ended, ended_offset = EXCLUDED.ended_offset, result = EXCLUDED.result,
    reason = EXCLUDED.reason, differing = EXCLUDED.differing, duration_ms = EXCLUDED.duration_ms,
    fault = EXCLUDED.fault, solo = EXCLUDED.solo
WHERE jobs.ended IS NULL AND EXCLUDED.ended IS NOT NULL)";

// Times travel as UTC milliseconds and come back with the offset stored beside them.
const char* const job_columns =
    "job_id, station, operator, (extract(epoch FROM started) * 1000)::bigint, started_offset, "
    "(extract(epoch FROM ended) * 1000)::bigint, ended_offset, host, port, device, title, comm_id, "
    "serial, file_path, file_sha256, mode, result, reason, array_to_string(differing, ' '), "
    "duration_ms, keep_map, fault, attempt, retest_confirmed";

const char* const approval_columns =
    "file_sha256, file_name, approved_by, (extract(epoch FROM approved) * 1000)::bigint, "
    "approved_offset, note";

// A station that cannot reach the server waits for it a while, not for the TCP time-out.
const std::pair<QString, QString> default_parameters[] = {
    {QStringLiteral("connect_timeout"), QStringLiteral("10")},
    {QStringLiteral("fallback_application_name"), QStringLiteral("camera-station")},
};

QString unique_connection_name()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("server-records-%1").arg(++counter);
}

QSqlDatabase connection(const QString& name)
{
    return QSqlDatabase::database(name, false);
}

void set_error(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// libpq's first line without "connection to server ... failed: " and the severity word.
QString one_line(const QString& message)
{
    static const QRegularExpression where(QStringLiteral("^connection to server .* failed: "));
    static const QRegularExpression severity(QStringLiteral("^(FATAL|ERROR):\\s+"));
    QString line = message.trimmed().section(QLatin1Char('\n'), 0, 0).trimmed();
    line.remove(where);
    line.remove(severity);
    return line;
}

QString reason_of(const QSqlError& error)
{
    return one_line(error.databaseText().isEmpty() ? error.text() : error.databaseText());
}

// Qt SQL binds a null QString as NULL; an empty text is stored as ''. PostgreSQL's text cannot
// hold a zero character: one (a scanner's stray byte) is stored as U+FFFD, so that the row can be
// stored at all instead of failing its batch on every try.
QVariant text_value(const QString& text)
{
    QString stored = text.isNull() ? QStringLiteral("") : text;
    stored.replace(QChar(0), QChar(QChar::ReplacementCharacter));
    return stored;
}

QVariant null_of(QMetaType::Type type)
{
    return QVariant(QMetaType(type));
}

QVariant utc_text(const QDateTime& time)
{
    return time.isValid() ? QVariant(time.toUTC().toString(Qt::ISODateWithMs))
                          : null_of(QMetaType::QString);
}

QDateTime time_at(const QVariant& utc_ms, const QVariant& offset)
{
    if (utc_ms.isNull())
        return {};
    return QDateTime::fromMSecsSinceEpoch(utc_ms.toLongLong(), Qt::OffsetFromUTC, offset.toInt());
}

QString array_text(const QList<int>& numbers)
{
    QStringList words;
    for (int number : numbers)
        words << QString::number(number);
    return QLatin1Char('{') + words.join(QLatin1Char(',')) + QLatin1Char('}');
}

QList<int> numbers_from(const QString& text)
{
    QList<int> numbers;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        numbers << word.toInt();
    return numbers;
}

QString run(QSqlQuery& query, const QString& statement)
{
    return query.exec(statement) ? QString() : reason_of(query.lastError());
}

// Checked first, so that a database already laid out takes no lock on its jobs.
QString add_yield_layout(QSqlQuery& query)
{
    QString why = run(query, QStringLiteral("SELECT count(*) FROM information_schema.columns WHERE table_schema = "
                                            "current_schema() AND table_name = 'jobs' AND column_name = 'solo'"));
    if (!why.isEmpty() || !query.next() || query.value(0).toInt() > 0)
        return why;
    for (const char* statement : yield_layout) {
        if (why = run(query, QLatin1String(statement)); !why.isEmpty())
            return why;
    }
    return why;
}

// Under the lock, so that of several stations connecting to a new database at once one creates
// the tables and the others find them.
QString create_or_check_tables(QSqlDatabase& db)
{
    QSqlQuery query(db);
    QString why = run(query, QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(schema_lock_key));
    if (why.isEmpty())
        why = run(query, QStringLiteral("SELECT to_regclass('records_schema') IS NOT NULL"));
    if (!why.isEmpty() || !query.next())
        return why;
    if (query.value(0).toBool()) {
        why = run(query, QStringLiteral("SELECT max(version) FROM records_schema"));
        if (!why.isEmpty() || !query.next())
            return why;
        const int version = query.value(0).toInt();
        if (version > server_schema_version)
            return QStringLiteral("it was written by a newer version (schema %1)").arg(version);
        return add_yield_layout(query);
    }
    for (const char* statement : create_tables) {
        if (why = run(query, QLatin1String(statement)); !why.isEmpty())
            return why;
    }
    if (why = run(query, QStringLiteral("INSERT INTO records_schema (version) VALUES (%1)").arg(server_schema_version));
        !why.isEmpty())
        return why;
    return add_yield_layout(query);
}

QString create_or_check_schema(QSqlDatabase& db)
{
    if (!db.transaction())
        return reason_of(db.lastError());
    QString why = create_or_check_tables(db);
    if (why.isEmpty() && !db.commit())
        why = reason_of(db.lastError());
    if (!why.isEmpty())
        db.rollback();
    return why;
}

void bind_job(QSqlQuery& query, const ServerJob& job)
{
    const JobStart& start = job.row.start;
    const std::optional<JobEnd>& end = job.row.end;
    const QDateTime ended = end ? end->ended : QDateTime();
    for (const QVariant& value : {text_value(start.serial), text_value(start.file_sha256), text_value(job.job_id)})
        query.addBindValue(value);
    for (const QVariant& value : {
             text_value(job.job_id), text_value(job.station), text_value(job.operator_name),
             utc_text(start.started), QVariant(start.started.offsetFromUtc()),
             utc_text(ended),
             ended.isValid() ? QVariant(ended.offsetFromUtc()) : null_of(QMetaType::Int),
             text_value(start.host), QVariant(start.port), text_value(start.device),
             text_value(start.title),
             start.comm_id < 0 ? null_of(QMetaType::Int) : QVariant(start.comm_id),
             text_value(start.serial), text_value(start.file_path), text_value(start.file_sha256),
             text_value(start.mode), text_value(start.keep_map),
             QVariant(result_word(end ? job.row.result : JobResult::Aborted)),
             text_value(end ? end->reason : QString()),
             QVariant(array_text(end ? end->differing : QList<int>())),
             end ? QVariant(end->duration_ms) : null_of(QMetaType::LongLong),
             text_value(end ? end->fault : QString()), QVariant(start.attempt),
             QVariant(start.retest_confirmed), QVariant(clock_hour(start.started)),
             text_value(start.mode), text_value(start.serial), QVariant(start.attempt), text_value(start.serial),
             text_value(start.file_sha256), text_value(job.job_id), utc_text(ended),
             QVariant(result_word(end ? job.row.result : JobResult::Aborted)), text_value(end ? end->fault : QString())})
        query.addBindValue(value);
}

// The serial without the blanks (spaces only) that the server's trim() removes.
QString without_blanks(const QString& serial)
{
    qsizetype first = 0, last = serial.size();
    while (first < last && serial[first] == QLatin1Char(' ')) ++first;
    while (last > first && serial[last - 1] == QLatin1Char(' ')) --last;
    return serial.mid(first, last - first);
}

// The lock of a camera as the yield tells cameras apart (its serial without blanks, its master's
// SHA in lower case): a 64-bit FNV-1a hash of them, the same on every station.
qint64 camera_lock_key(const QString& serial, const QString& sha256)
{
    const QByteArray key = serial.toUtf8() + '\n' + sha256.toLower().toUtf8();
    quint64 hash = 14695981039346656037ull;
    for (char byte : key) hash = (hash ^ quint8(byte)) * 1099511628211ull;
    return qint64(hash);
}

// Locks, until the transaction ends, every camera the jobs name, in one order on every station
// so that two batches never wait for each other.
QString lock_cameras(QSqlDatabase& db, const QList<ServerJob>& jobs)
{
    std::set<qint64> keys;
    for (const ServerJob& job : jobs) {
        const QString serial = without_blanks(job.row.start.serial);
        if (!serial.isEmpty())
            keys.insert(camera_lock_key(serial, job.row.start.file_sha256));
    }
    if (keys.empty())
        return {};
    QStringList words;
    for (qint64 key : keys) words << QString::number(key);
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT count(*) FROM (SELECT pg_advisory_xact_lock(k) FROM unnest(CAST(? AS bigint[])) "
                                 "AS k) AS locked"));
    query.addBindValue(QLatin1Char('{') + words.join(QLatin1Char(',')) + QLatin1Char('}'));
    return query.exec() ? QString() : reason_of(query.lastError());
}

// Empty when the row can be stored.
QString unstorable(const ServerJob& job)
{
    if (job.job_id.isEmpty())
        return QStringLiteral("the job has no id");
    if (!job.row.start.started.isValid())
        return QStringLiteral("the job has no start time");
    if (job.row.end && !job.row.end->ended.isValid())
        return QStringLiteral("the job has no end time");
    return {};
}

ServerJob job_from(const QSqlQuery& query)
{
    ServerJob job;
    job.job_id = query.value(0).toString();
    job.station = query.value(1).toString();
    job.operator_name = query.value(2).toString();
    JobStart& start = job.row.start;
    start.started = time_at(query.value(3), query.value(4));
    start.host = query.value(7).toString();
    start.port = query.value(8).toInt();
    start.device = query.value(9).toString();
    start.title = query.value(10).toString();
    start.comm_id = query.value(11).isNull() ? -1 : query.value(11).toInt();
    start.serial = query.value(12).toString();
    start.file_path = query.value(13).toString();
    start.file_sha256 = query.value(14).toString();
    start.mode = query.value(15).toString();
    start.keep_map = query.value(20).toString();
    start.job_id = job.job_id;
    start.station = job.station;
    start.operator_name = job.operator_name;
    start.attempt = query.value(22).toInt();
    start.retest_confirmed = query.value(23).toBool();
    job.row.result = result_from_word(query.value(16).toString()).value_or(JobResult::Aborted);
    if (!query.value(5).isNull()) {
        JobEnd end;
        end.ended = time_at(query.value(5), query.value(6));
        end.result = job.row.result;
        end.reason = query.value(17).toString();
        end.differing = numbers_from(query.value(18).toString());
        end.duration_ms = query.value(19).toLongLong();
        end.fault = query.value(21).toString();
        job.row.end = end;
    }
    return job;
}

Approval approval_from(const QSqlQuery& query)
{
    return {query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
            time_at(query.value(3), query.value(4)), query.value(5).toString()};
}

// The server answered but cannot take a station just now, or the connection was lost.
bool busy_or_gone(const QString& message)
{
    static const QRegularExpression busy(QStringLiteral(
        "database system is (starting up|shutting down|in recovery mode|not yet accepting)"
        "|too many clients|connection slots are reserved|terminating connection"
        "|server closed the connection|no connection to the server"
        "|could not (send|receive) data (to|from) server"));
    return busy.match(message).hasMatch();
}

} // namespace

ServerOpen connect_failure_kind(const QString& libpq_message)
{
    // The server (or libpq, asked for a password it does not have) refused this connection.
    static const QRegularExpression refusal(
        QStringLiteral("FATAL:|ERROR:|fe_sendauth:|does not support SSL|certificate"));
    if (busy_or_gone(libpq_message))
        return ServerOpen::Unreachable;
    return refusal.match(libpq_message).hasMatch() ? ServerOpen::Refused : ServerOpen::Unreachable;
}

ServerRecords::ServerRecords() : connection_(unique_connection_name()) {}

ServerRecords::~ServerRecords()
{
    if (!QSqlDatabase::contains(connection_))
        return;
    connection(connection_).close();
    QSqlDatabase::removeDatabase(connection_);
}

ServerOpen ServerRecords::open(const ServerUri& uri, QString* error)
{
    where_ = uri.text;
    auto failed = [&](ServerOpen kind, const QString& why) {
        set_error(error, QStringLiteral("cannot open the records on the server %1: %2").arg(where_, why));
        return kind;
    };
    if (QSqlDatabase::contains(connection_)) {
        connection(connection_).close();
        QSqlDatabase::removeDatabase(connection_);
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return failed(ServerOpen::Refused,
                      QStringLiteral("the PostgreSQL driver of Qt SQL is missing (install libqt6sql6-psql)"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
    db.setHostName(uri.host);
    db.setPort(uri.port);
    db.setUserName(uri.user);
    db.setDatabaseName(uri.database);
    QList<std::pair<QString, QString>> parameters(std::begin(default_parameters),
                                                  std::end(default_parameters));
    for (const auto& parameter : uri.parameters) {
        parameters.removeIf([&](const auto& given) { return given.first == parameter.first; });
        parameters.append(parameter);
    }
    db.setConnectOptions(connect_options(parameters));
    if (!db.open())
        return failed(connect_failure_kind(db.lastError().databaseText()), reason_of(db.lastError()));
    const QString why = create_or_check_schema(db);
    if (why.isEmpty())
        return ServerOpen::Opened;
    db.close();
    return failed(busy_or_gone(why) ? ServerOpen::Unreachable : ServerOpen::Refused, why);
}

bool ServerRecords::is_open() const
{
    return QSqlDatabase::contains(connection_) && connection(connection_).isOpen();
}

ServerJob server_job(const JobRow& row)
{
    return {row.start.job_id, row.start.station, row.start.operator_name, row};
}

// A failed statement or commit: why, and whether the connection went with it (then closed, so
// that is_open() tells the caller to open it again).
void ServerRecords::failed(StoreOutcome& outcome, const QString& why)
{
    outcome.error = why;
    QSqlDatabase db = connection(connection_);
    if (db.isOpen())
        db.rollback();
    // A statement the server refused leaves the session usable; any other failure is asked.
    outcome.connection_lost = busy_or_gone(why) || !QSqlQuery(db).exec(QStringLiteral("SELECT 1"));
    if (outcome.connection_lost)
        db.close();
}

StoreOutcome ServerRecords::store(const QList<ServerJob>& jobs)
{
    StoreOutcome outcome;
    QSqlDatabase db = connection(connection_);
    if (!db.transaction()) {
        failed(outcome, reason_of(db.lastError()));
        return outcome;
    }
    if (const QString why = lock_cameras(db, jobs); !why.isEmpty()) {
        failed(outcome, QStringLiteral("cannot store the jobs: %1").arg(why));
        return outcome;
    }
    QSqlQuery query(db);
    query.prepare(QLatin1String(store_job));
    QStringList sent;
    for (const ServerJob& job : jobs) {
        if (const QString why = unstorable(job); !why.isEmpty()) {
            outcome.refused.append({job.job_id, why});
            continue;
        }
        bind_job(query, job);
        if (!query.exec()) {
            failed(outcome, QStringLiteral("cannot store job %1: %2")
                                .arg(job.job_id, reason_of(query.lastError())));
            return outcome;
        }
        if (!sent.contains(job.job_id))
            sent << job.job_id;
    }
    if (!db.commit()) {
        failed(outcome, reason_of(db.lastError()));
        return outcome;
    }
    outcome.committed = true;
    outcome.stored = sent;
    return outcome;
}

std::optional<Approval> ServerRecords::approve(const Approval& approval, QString* error)
{
    const QString sha = approval.file_sha256.toLower();
    if (!is_sha256(sha)) {
        set_error(error, QStringLiteral("not a SHA-256: %1").arg(approval.file_sha256));
        return std::nullopt;
    }
    const QDateTime when = approval.approved.isValid() ? approval.approved : QDateTime::currentDateTime();
    QSqlQuery query(connection(connection_));
    query.prepare(QStringLiteral(
        "INSERT INTO approved_masters (file_sha256, file_name, approved_by, approved, "
        "approved_offset, note) VALUES (?, ?, ?, CAST(? AS timestamptz), ?, ?) "
        "ON CONFLICT (file_sha256) DO NOTHING"));
    for (const QVariant& value :
         {QVariant(sha), text_value(approval.file_name), text_value(approval.approved_by),
          utc_text(when), QVariant(when.offsetFromUtc()), text_value(approval.note)})
        query.addBindValue(value);
    if (!query.exec()) {
        set_error(error, QStringLiteral("cannot approve %1 on the server %2: %3")
                             .arg(sha, where_, reason_of(query.lastError())));
        return std::nullopt;
    }
    query.prepare(QStringLiteral("SELECT %1 FROM approved_masters WHERE file_sha256 = ?")
                      .arg(QLatin1String(approval_columns)));
    query.addBindValue(sha);
    if (!query.exec() || !query.next()) {
        set_error(error, QStringLiteral("cannot read the approval of %1 on the server %2: %3")
                             .arg(sha, where_, reason_of(query.lastError())));
        return std::nullopt;
    }
    return approval_from(query);
}

std::optional<bool> ServerRecords::is_approved(const QString& file_sha256, QString* error) const
{
    QSqlQuery query(connection(connection_));
    query.prepare(QStringLiteral("SELECT count(*) FROM approved_masters WHERE file_sha256 = ?"));
    query.addBindValue(file_sha256.toLower());
    if (!query.exec() || !query.next()) {
        set_error(error, QStringLiteral("cannot read the approvals on the server %1: %2")
                             .arg(where_, reason_of(query.lastError())));
        return std::nullopt;
    }
    return query.value(0).toInt() > 0;
}

std::optional<QList<Approval>> ServerRecords::approvals(QString* error) const
{
    QSqlQuery query(connection(connection_));
    if (!query.exec(QStringLiteral("SELECT %1 FROM approved_masters ORDER BY approved, file_sha256")
                        .arg(QLatin1String(approval_columns)))) {
        set_error(error, QStringLiteral("cannot read the approvals on the server %1: %2")
                             .arg(where_, reason_of(query.lastError())));
        return std::nullopt;
    }
    QList<Approval> list;
    while (query.next())
        list << approval_from(query);
    return list;
}

std::optional<QList<ServerJob>> ServerRecords::jobs(const JobFilter& filter, QString* error) const
{
    QStringList conditions;
    QVariantList values;
    auto condition = [&](bool wanted, const char* test, const QVariant& value) {
        if (wanted) {
            conditions << QLatin1String(test);
            values << value;
        }
    };
    condition(!filter.station.isEmpty(), "station = ?", filter.station);
    condition(!filter.serial.isEmpty(), "serial = ?", filter.serial);
    condition(filter.result.has_value(), "result = ?",
              filter.result ? result_word(*filter.result) : QString());
    condition(filter.since.isValid(), "started >= CAST(? AS timestamptz)", utc_text(filter.since));
    condition(filter.until.isValid(), "started < CAST(? AS timestamptz)", utc_text(filter.until));
    QString statement = QStringLiteral("SELECT %1 FROM jobs").arg(QLatin1String(job_columns));
    if (!conditions.isEmpty())
        statement += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    statement += QStringLiteral(" ORDER BY started DESC, job_id DESC");
    if (filter.limit >= 0)
        statement += QStringLiteral(" LIMIT %1").arg(filter.limit);

    QSqlQuery query(connection(connection_));
    query.prepare(statement);
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        set_error(error, QStringLiteral("cannot read the records on the server %1: %2")
                             .arg(where_, reason_of(query.lastError())));
        return std::nullopt;
    }
    QList<ServerJob> list;
    while (query.next())
        list << job_from(query);
    return list;
}

} // namespace station
