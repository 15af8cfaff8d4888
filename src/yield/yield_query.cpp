#include "yield/yield_query.h"

#include "link/hex_text.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <vector>

namespace yield {
namespace {

using station::JobResult;

// ---- Whose fault an older record's failure is ------------------------------------------------

// classify_fault()'s reasons as SQL can match them: SQLite's GLOB (it has no regular
// expressions) and PostgreSQL's regular expressions (\y is a word boundary there).
struct ReasonMatch {
    QStringList globs;
    const char* regex;
    FaultClass fault;
};

const std::vector<ReasonMatch>& reason_matches()
{
    static const std::vector<ReasonMatch> matches = {
        {{QStringLiteral("[0-9]* word differ*"), QStringLiteral("[0-9]* words differ*")},
         R"(^\d+ words? differs?\y)", FaultClass::Camera},
        {{QStringLiteral("camera stopped answering*")}, R"(^camera stopped answering\y)", FaultClass::Camera},
        {{QStringLiteral("camera did not answer within * after its reset*")},
         R"(^camera did not answer within .* after its reset)", FaultClass::Camera},
        {{QStringLiteral("camera ignored its reset*")}, R"(^camera ignored its reset\y)", FaultClass::Camera},
        {{QStringLiteral("camera refused*")}, R"(^camera refused\y)", FaultClass::Camera},
        {{QStringLiteral("line lost*")}, R"(^line lost\y)", FaultClass::Station},
        {{QStringLiteral("the camera left*")}, R"(^the camera left\y)", FaultClass::Station},
        {{QStringLiteral("no camera answered*")}, R"(^no camera answered\y)", FaultClass::Station},
        {{QStringLiteral("the camera changed during the job*")}, R"(^the camera changed during the job\y)",
         FaultClass::Station},
        {{QStringLiteral("stopped*")}, R"(^stopped\y)", FaultClass::Station},
        {{QStringLiteral("*: cannot write the file")}, R"(: cannot write the file$)", FaultClass::Station},
    };
    return matches;
}

// ---- The two databases' SQL ----------------------------------------------------------------

// What differs between a station's SQLite file and the server, as SQL expressions over a row of
// their tables of jobs.
struct Dialect {
    bool postgres = false;
    QString started_ms;  // UTC milliseconds
    QString ended_ms;    // the end, or the start of a job that never ended
    QString day;         // "2024-05-06" on the station's clock
    QString hour;        // "2024-05-06 07:00" on the station's clock
    QString row_key;     // unique per row: orders jobs started at the same moment
    QString station;     // '' when the records name none
    QString fault;       // '' in older records
    QString attempt;     // 0 in older records
    QString differing;   // the addresses as text, separated by spaces
    QString since;       // conditions on a bound time
    QString until;

    QString reason_match(const ReasonMatch& match) const
    {
        if (postgres) return QStringLiteral("trim(reason) ~ '%1'").arg(QLatin1String(match.regex));
        QStringList alternatives;
        for (const QString& glob : match.globs) alternatives << QStringLiteral("trim(reason) GLOB '%1'").arg(glob);
        return QLatin1Char('(') + alternatives.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    }
};

Dialect sqlite_dialect(const station::Records& records)
{
    Dialect d;
    d.started_ms = QStringLiteral("started_ms");
    // The stored text holds its offset ("2024-05-01T14:03:07.250+02:00"), which strftime honours.
    d.ended_ms = QStringLiteral("CASE WHEN ended IS NULL THEN started_ms ELSE CAST(strftime('%s', ended) AS INTEGER) * 1000 "
                                "+ CAST(substr(ended, 21, 3) AS INTEGER) END");
    d.day = QStringLiteral("substr(started, 1, 10)");
    d.hour = QStringLiteral("substr(started, 1, 10) || ' ' || substr(started, 12, 2) || ':00'");
    d.row_key = QStringLiteral("id");
    const bool plant = records.has_job_column(QStringLiteral("station"));
    const bool yield = records.has_job_column(QStringLiteral("fault"));
    d.station = plant ? QStringLiteral("station") : QStringLiteral("''");
    d.fault = yield ? QStringLiteral("fault") : QStringLiteral("''");
    d.attempt = yield ? QStringLiteral("attempt") : QStringLiteral("0");
    d.differing = QStringLiteral("differing");
    d.since = QStringLiteral("started_ms >= ?");
    d.until = QStringLiteral("started_ms < ?");
    return d;
}

Dialect postgres_dialect()
{
    const QString clock = QStringLiteral("(started AT TIME ZONE 'UTC' + started_offset * interval '1 second')");
    Dialect d;
    d.postgres = true;
    d.started_ms = QStringLiteral("(extract(epoch FROM started) * 1000)::bigint");
    d.ended_ms = QStringLiteral("(extract(epoch FROM coalesce(ended, started)) * 1000)::bigint");
    d.day = QStringLiteral("to_char(%1, 'YYYY-MM-DD')").arg(clock);
    d.hour = QStringLiteral("to_char(%1, 'YYYY-MM-DD HH24:00')").arg(clock);
    d.row_key = QStringLiteral("job_id");
    d.station = QStringLiteral("station");
    d.fault = QStringLiteral("fault");
    d.attempt = QStringLiteral("attempt");
    d.differing = QStringLiteral("array_to_string(differing, ' ')");
    d.since = QStringLiteral("started >= CAST(? AS timestamptz)");
    d.until = QStringLiteral("started < CAST(? AS timestamptz)");
    return d;
}

// 'P' pass, 'U' unverified, 'S' the station's fault, 'C' the camera's: verdict_of() in SQL.
QString verdict_sql(const Dialect& d)
{
    QString camera, station;
    for (const ReasonMatch& match : reason_matches())
        (match.fault == FaultClass::Camera ? camera : station) += QStringLiteral(" OR ") + d.reason_match(match);
    return QStringLiteral("CASE WHEN result = 'pass' THEN 'P' WHEN result = 'unverified' THEN 'U' "
                          "WHEN %1 = 'station' THEN 'S' WHEN %1 = 'camera' THEN 'C' "
                          "WHEN %2 THEN 'C' WHEN %3 THEN 'S' "
                          "WHEN result IN ('fail-verify', 'fail-refused') THEN 'C' ELSE 'S' END")
        .arg(d.fault, camera.mid(4), station.mid(4));
}

QString group_sql(const Dialect& d, Grouping grouping)
{
    switch (grouping) {
    case Grouping::None: break;
    case Grouping::Port: return d.postgres ? QStringLiteral("port::text") : QStringLiteral("CAST(port AS TEXT)");
    case Grouping::Station: return d.station;
    case Grouping::Master: return QStringLiteral("lower(file_sha256)");
    case Grouping::Day: return d.day;
    case Grouping::Hour: return d.hour;
    }
    return QStringLiteral("'all'");
}

struct Bound {
    QString where;
    QVariantList values;
};

Bound conditions(const Dialect& d, const YieldFilter& filter)
{
    QStringList tests;
    Bound bound;
    const auto add = [&](bool wanted, const QString& test, const QVariant& value) {
        if (!wanted) return;
        tests << test;
        bound.values << value;
    };
    const auto time_value = [&](const QDateTime& time) {
        return d.postgres ? QVariant(time.toUTC().toString(Qt::ISODateWithMs)) : QVariant(time.toMSecsSinceEpoch());
    };
    add(filter.since.isValid(), d.since, time_value(filter.since));
    add(filter.until.isValid(), d.until, time_value(filter.until));
    add(!filter.station.isEmpty(), d.station + QStringLiteral(" = ?"), filter.station);
    add(!filter.master_sha256.isEmpty(), QStringLiteral("file_sha256 = ?"), filter.master_sha256.toLower());
    // A save reads the reference camera into a file: no camera is cloned, so it is no attempt.
    tests << QStringLiteral("mode <> 'save'");
    if (!tests.isEmpty()) bound.where = QStringLiteral(" WHERE ") + tests.join(QStringLiteral(" AND "));
    return bound;
}

// The filtered jobs with their verdict, group, hour and camera: a camera is a serial number with
// a master; a job without a serial (`lone` set) is a camera of its own.
QString base_sql(const Dialect& d, Grouping grouping, const QString& where)
{
    return QStringLiteral("base AS (SELECT port, %1 AS g, file_path, %2 AS hour, %3 AS sms, %4 AS ems, %5 AS v, "
                          "%6 AS attempt, trim(serial) AS serial, lower(file_sha256) AS sha, "
                          "CASE WHEN trim(serial) = '' THEN %7 END AS lone, %7 AS row_key, result, reason, "
                          "%8 AS differing FROM jobs%9)")
        .arg(group_sql(d, grouping), d.hour, d.started_ms, d.ended_ms, verdict_sql(d), d.attempt, d.row_key, d.differing,
             where);
}

// Each job with its attempt (as recorded, else counted), its place among its camera's jobs and
// the judged jobs up to it, and whether its camera ever passed. A camera's first judged job is
// the one with js = 1 that is judged; it passed first time when its attempt is its place. All four
// are taken over the one window `c` (`ever` over its whole frame), so that SQLite sorts the rows
// once, not once more for a window partitioned but not ordered.
const char* const windowed_sql =
    "w AS MATERIALIZED (SELECT port, g, file_path, hour, sms, ems, v, "
    "CASE WHEN lone IS NOT NULL THEN 1 WHEN attempt > 0 THEN attempt ELSE row_number() OVER c END AS att, "
    "row_number() OVER c AS rn, "
    "sum(CASE WHEN v IN ('P', 'C') THEN 1 ELSE 0 END) OVER (c ROWS BETWEEN UNBOUNDED PRECEDING AND CURRENT ROW) AS js, "
    "max(CASE WHEN v = 'P' THEN 1 ELSE 0 END) OVER (c ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING) AS ever "
    "FROM base WINDOW c AS (PARTITION BY serial, sha, lone ORDER BY sms, row_key))";

// The sums of one kind of group: 'g' the asked grouping, 'p' the ports, 'h' the hours.
QString sums_sql(const char* kind, const QString& key)
{
    return QStringLiteral(
               "SELECT '%1', %2, max(file_path), count(*), "
               "sum(CASE WHEN js = 1 AND v IN ('P', 'C') THEN 1 ELSE 0 END), "
               "sum(CASE WHEN js = 1 AND v = 'P' AND att = rn THEN 1 ELSE 0 END), "
               "sum(CASE WHEN js = 1 AND v IN ('P', 'C') AND ever = 1 THEN 1 ELSE 0 END), "
               "sum(CASE WHEN att > 1 THEN 1 ELSE 0 END), sum(CASE WHEN v = 'S' THEN 1 ELSE 0 END), "
               "sum(CASE WHEN v = 'U' THEN 1 ELSE 0 END), sum(CASE WHEN v = 'P' THEN 1 ELSE 0 END), "
               "sum(CASE WHEN v = 'C' THEN 1 ELSE 0 END), min(sms), max(ems) FROM w GROUP BY %2")
        .arg(QLatin1String(kind), key);
}

QString sums_statement(const Dialect& d, Grouping grouping, const QString& where)
{
    const QString port = d.postgres ? QStringLiteral("port::text") : QStringLiteral("CAST(port AS TEXT)");
    return QStringLiteral("WITH %1, %2 %3 UNION ALL %4 UNION ALL %5")
        .arg(base_sql(d, grouping, where), QLatin1String(windowed_sql), sums_sql("g", QStringLiteral("g")),
             sums_sql("p", port), sums_sql("h", QStringLiteral("hour")));
}

QString reasons_statement(const Dialect& d, const QString& where)
{
    return QStringLiteral("WITH %1 SELECT result, trim(reason), v, count(*) FROM base WHERE v IN ('C', 'S') "
                          "GROUP BY result, trim(reason), v")
        .arg(base_sql(d, Grouping::None, where));
}

QString addresses_statement(const Dialect& d, const QString& where)
{
    return QStringLiteral("WITH %1 SELECT differing, count(*) FROM base WHERE v = 'C' AND differing <> '' "
                          "GROUP BY differing")
        .arg(base_sql(d, Grouping::None, where));
}

// ---- From the sums to the figures -----------------------------------------------------------

QDateTime time_of(const QVariant& utc_ms)
{
    return utc_ms.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(utc_ms.toLongLong());
}

YieldCounts counts_from(const QSqlQuery& q)
{
    YieldCounts c;
    c.jobs = q.value(3).toInt();
    c.cameras = q.value(4).toInt();
    c.first_pass = q.value(5).toInt();
    c.final_pass = q.value(6).toInt();
    c.retests = q.value(7).toInt();
    c.station_faults = q.value(8).toInt();
    c.unverified = q.value(9).toInt();
    c.first_started = time_of(q.value(12));
    c.last_ended = time_of(q.value(13));
    return c;
}

void add_counts(YieldCounts& total, const YieldCounts& part)
{
    total.jobs += part.jobs;
    total.cameras += part.cameras;
    total.first_pass += part.first_pass;
    total.final_pass += part.final_pass;
    total.retests += part.retests;
    total.station_faults += part.station_faults;
    total.unverified += part.unverified;
    if (part.first_started.isValid() && (!total.first_started.isValid() || part.first_started < total.first_started))
        total.first_started = part.first_started;
    if (part.last_ended.isValid() && (!total.last_ended.isValid() || part.last_ended > total.last_ended))
        total.last_ended = part.last_ended;
}

// "2024-05-06 07:00" on the station's clock, kept as UTC as HourCount keeps it.
QDateTime hour_from_key(const QString& key)
{
    return QDateTime(QDate::fromString(key.left(10), Qt::ISODate), QTime(key.mid(11, 2).toInt(), 0), Qt::UTC);
}

// A job standing for its group, so that the group gets compute_yield()'s key and label.
YieldGroup group_from_key(const QString& key, const QString& file_path, Grouping grouping)
{
    YieldJob job;
    job.port = key.toInt();
    job.station = key;
    job.master_sha256 = key;
    job.master_name = QFileInfo(file_path).fileName();
    job.started = grouping == Grouping::Day ? QDateTime(QDate::fromString(key, Qt::ISODate), QTime(0, 0), Qt::UTC)
                                            : hour_from_key(key);
    return group_of(job, grouping);
}

QList<int> addresses_in(const QString& text, bool decimal)
{
    QList<int> addresses;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int address = decimal ? word.toInt() : hex_text_value(word.mid(2)); // past the "0x"
        if (address >= 0) addresses << address;
    }
    return addresses;
}

bool run(QSqlQuery& query, const QString& statement, const QVariantList& values, QString* why)
{
    query.setForwardOnly(true);
    query.prepare(statement);
    for (const QVariant& value : values) query.addBindValue(value);
    if (query.exec()) return true;
    *why = query.lastError().databaseText().isEmpty() ? query.lastError().text() : query.lastError().databaseText();
    return false;
}

bool read_sums(QSqlQuery& q, Grouping grouping, YieldFigures& figures)
{
    std::map<QDateTime, HourCount> hours;
    while (q.next()) {
        const QString kind = q.value(0).toString();
        const QString key = q.value(1).toString();
        const YieldCounts counts = counts_from(q);
        if (kind == QLatin1String("p")) {
            YieldGroup port = group_from_key(key, {}, Grouping::Port);
            port.counts = counts;
            figures.ports << port;
            add_counts(figures.total, counts);
        } else if (kind == QLatin1String("g") && grouping != Grouping::None) {
            YieldGroup group = group_from_key(key, q.value(2).toString(), grouping);
            group.counts = counts;
            figures.groups << group;
        } else if (kind == QLatin1String("h") && !key.isEmpty()) {
            const QDateTime hour = hour_from_key(key);
            hours[hour] = {hour, q.value(10).toInt(), q.value(11).toInt(), counts.station_faults};
        }
    }
    sort_groups(figures.ports, Grouping::Port);
    sort_groups(figures.groups, grouping);
    figures.hours = every_hour(hours);
    return true;
}

std::optional<YieldFigures> yield_with(QSqlDatabase db, const Dialect& d, const YieldFilter& filter, Grouping grouping,
                                       QString* why)
{
    const Bound bound = conditions(d, filter);
    YieldFigures figures;
    figures.grouping = grouping;
    QSqlQuery query(db);
    if (!run(query, sums_statement(d, grouping, bound.where), bound.values, why)) return std::nullopt;
    read_sums(query, grouping, figures);

    Tally reasons;
    if (!run(query, reasons_statement(d, bound.where), bound.values, why)) return std::nullopt;
    while (query.next()) {
        const JobResult result = station::result_from_word(query.value(0).toString()).value_or(JobResult::Aborted);
        const FaultClass fault = query.value(2).toString() == QLatin1String("S") ? FaultClass::Station : FaultClass::Camera;
        reasons[{normalised_reason(result, query.value(1).toString()), fault}] += query.value(3).toInt();
    }
    figures.reasons = pareto(reasons);

    Tally addresses;
    if (!run(query, addresses_statement(d, bound.where), bound.values, why)) return std::nullopt;
    while (query.next())
        for (int address : addresses_in(query.value(0).toString(), d.postgres))
            addresses[{address_key(address), FaultClass::None}] += query.value(1).toInt();
    figures.addresses = pareto(addresses);
    return figures;
}

void set_error(QString* error, const QString& text)
{
    if (error) *error = text;
}

// PostgreSQL compiles statements this large with its JIT for seconds (2.6 s of the 7 s over a
// million rows), longer than the compiled code saves: the server counts in a transaction of its
// own with the JIT off. Without that transaction (a server that does not know the setting) it
// counts as configured.
std::optional<YieldFigures> yield_on_server_without_jit(QSqlDatabase db, const YieldFilter& filter, Grouping grouping,
                                                        QString* why)
{
    bool own_transaction = db.transaction();
    if (own_transaction && !QSqlQuery(db).exec(QStringLiteral("SET LOCAL jit = off"))) {
        db.rollback();
        own_transaction = false;
    }
    std::optional<YieldFigures> figures = yield_with(db, postgres_dialect(), filter, grouping, why);
    if (own_transaction) db.rollback(); // it only read
    return figures;
}

} // namespace

std::optional<YieldFigures> yield_in_file(const station::Records& records, const YieldFilter& filter, Grouping grouping,
                                          QString* error)
{
    QString why;
    std::optional<YieldFigures> figures = yield_with(QSqlDatabase::database(records.connection_name(), false),
                                                     sqlite_dialect(records), filter, grouping, &why);
    if (!figures) set_error(error, QStringLiteral("cannot count the yield in %1: %2").arg(records.path(), why));
    return figures;
}

std::optional<YieldFigures> yield_on_server(const station::ServerRecords& server, const YieldFilter& filter,
                                            Grouping grouping, QString* error)
{
    QString why;
    std::optional<YieldFigures> figures =
        yield_on_server_without_jit(QSqlDatabase::database(server.connection_name(), false), filter, grouping, &why);
    if (!figures) set_error(error, QStringLiteral("cannot count the yield on the server: %1").arg(why));
    return figures;
}

YieldJob yield_job(const station::JobRow& row)
{
    YieldJob job;
    job.started = row.start.started;
    job.station = row.start.station;
    job.port = row.start.port;
    job.operator_name = row.start.operator_name;
    job.serial = row.start.serial;
    job.master_sha256 = row.start.file_sha256;
    job.master_name = QFileInfo(row.start.file_path).fileName();
    job.result = row.result;
    job.attempt = row.start.attempt;
    job.retest_confirmed = row.start.retest_confirmed;
    if (row.end) {
        job.ended = row.end->ended;
        job.reason = row.end->reason;
        job.differing = row.end->differing;
        const QString& fault = row.end->fault;
        if (fault == QLatin1String("camera")) job.fault = FaultClass::Camera;
        if (fault == QLatin1String("station")) job.fault = FaultClass::Station;
        if (fault == QLatin1String("none")) job.fault = FaultClass::None;
    }
    return job;
}

} // namespace yield
