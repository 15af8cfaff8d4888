#include "yield/yield_query.h"

#include "link/hex_text.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <limits>
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
    QString hour;        // hours since 1970 on the station's clock (clock_hour())
    QString row_key;     // unique per row: orders jobs started at the same moment
    QString station;     // '' when the records name none
    QString fault;       // '' in older records
    QString attempt;     // 0 in older records
    QString differing;   // the addresses as text, separated by spaces
    QString since;       // conditions on a bound time
    QString until;
    // Jobs whose figures need no other job: stored as their camera's only job, ended with a
    // verdict their result and fault give (`solo`), and every other job (`not_solo`). Empty where
    // the records keep no such flag (an older file read as it is).
    QString solo;
    QString not_solo;
    QString first_ms;    // over a group of those jobs: the first start and the last end
    QString last_ms;

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
    // "2024-05-06T07" of the stored text, read as UTC: the hour as the station's clock showed it.
    d.hour = QStringLiteral("CAST(strftime('%s', substr(started, 1, 13) || ':00:00') AS INTEGER) / 3600");
    d.row_key = QStringLiteral("id");
    const bool plant = records.has_job_column(QStringLiteral("station"));
    const bool yield = records.has_job_column(QStringLiteral("fault"));
    d.station = plant ? QStringLiteral("station") : QStringLiteral("''");
    d.fault = yield ? QStringLiteral("fault") : QStringLiteral("''");
    d.attempt = yield ? QStringLiteral("attempt") : QStringLiteral("0");
    d.differing = QStringLiteral("differing");
    d.since = QStringLiteral("started_ms >= ?");
    d.until = QStringLiteral("started_ms < ?");
    if (records.has_job_column(QStringLiteral("solo"))) {
        d.solo = QStringLiteral("solo = 1");
        d.not_solo = QStringLiteral("solo IS NOT 1");
        d.ended_ms = QStringLiteral("coalesce(ended_ms, %1)").arg(d.ended_ms);
        d.hour = QStringLiteral("coalesce(clock_hour, %1)").arg(d.hour);
    }
    d.first_ms = QStringLiteral("min(started_ms)");
    d.last_ms = QStringLiteral("max(coalesce(ended_ms, started_ms))");
    return d;
}

Dialect postgres_dialect()
{
    Dialect d;
    d.postgres = true;
    // date_part() in double precision: extract() computes in numeric, several times slower.
    d.started_ms = QStringLiteral("round(date_part('epoch', started) * 1000)::bigint");
    d.ended_ms = QStringLiteral("round(date_part('epoch', coalesce(ended, started)) * 1000)::bigint");
    d.hour = QStringLiteral("coalesce(clock_hour, floor((date_part('epoch', started) + started_offset) / 3600)::bigint)");
    d.row_key = QStringLiteral("job_id");
    d.station = QStringLiteral("station");
    d.fault = QStringLiteral("fault");
    d.attempt = QStringLiteral("attempt");
    d.differing = QStringLiteral("array_to_string(differing, ' ')");
    d.since = QStringLiteral("started >= CAST(? AS timestamptz)");
    d.until = QStringLiteral("started < CAST(? AS timestamptz)");
    d.solo = QStringLiteral("solo IS TRUE");
    d.not_solo = QStringLiteral("solo IS NOT TRUE");
    d.first_ms = QStringLiteral("(extract(epoch FROM min(started)) * 1000)::bigint");
    d.last_ms = QStringLiteral("(extract(epoch FROM max(coalesce(ended, started))) * 1000)::bigint");
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

// The group of a job named by text; the program tells the group of a port, a day or an hour
// from the job's port and hour.
QString group_sql(const Dialect& d, Grouping grouping)
{
    switch (grouping) {
    case Grouping::Station: return d.station;
    case Grouping::Master: return QStringLiteral("lower(file_sha256)");
    default: return QStringLiteral("''");
    }
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

// `where` narrowed by `test`.
QString and_where(const QString& where, const QString& test)
{
    return where + QStringLiteral(" AND ") + test;
}

// The filtered jobs with their verdict, group, hour and camera: a camera is a serial number with
// a master; a job without a serial (`lone` set) is a camera of its own.
QString base_sql(const Dialect& d, Grouping grouping, const QString& where)
{
    // The file names a master's group; carried only there, as every column costs in the window.
    const QString file_path = grouping == Grouping::Master ? QStringLiteral("file_path") : QStringLiteral("''");
    return QStringLiteral("base AS (SELECT port, %1 AS g, %2 AS file_path, %3 AS hour, %4 AS sms, %5 AS ems, %6 AS v, "
                          "%7 AS attempt, trim(serial) AS serial, lower(file_sha256) AS sha, "
                          "CASE WHEN trim(serial) = '' THEN %8 END AS lone, %8 AS row_key FROM jobs%9)")
        .arg(group_sql(d, grouping), file_path, d.hour, d.started_ms, d.ended_ms, verdict_sql(d), d.attempt, d.row_key,
             where);
}

// Each job with its attempt (as recorded, else counted), its place among its camera's jobs and
// the judged jobs up to it, and whether its camera ever passed. A camera's first judged job is
// the one with js = 1 that is judged; it passed first time when its attempt is its place. All four
// are taken over the one window `c` (`ever` over its whole frame), so that SQLite sorts the rows
// once, not once more for a window partitioned but not ordered.
const char* const windowed_sql =
    "w AS (SELECT port, g, file_path, hour, sms, ems, v, "
    "CASE WHEN lone IS NOT NULL THEN 1 WHEN attempt > 0 THEN attempt ELSE row_number() OVER c END AS att, "
    "row_number() OVER c AS rn, "
    "sum(CASE WHEN v IN ('P', 'C') THEN 1 ELSE 0 END) OVER (c ROWS BETWEEN UNBOUNDED PRECEDING AND CURRENT ROW) AS js, "
    "max(CASE WHEN v = 'P' THEN 1 ELSE 0 END) OVER (c ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING) AS ever "
    "FROM base WINDOW c AS (PARTITION BY serial, sha, lone ORDER BY sms, row_key))";

// Both kinds of sums come as cells, one per hour, port and group: the hour, the port, the group,
// a file of the group's master, then the sums SumColumn names. The program adds the cells up into
// the groups, the ports and the hours, so the jobs are grouped once.
enum SumColumn { kHour, kPort, kGroup, kFilePath, kJobs, kCameras, kFirstPass, kFinalPass, kRetests,
                 kStationFaults, kUnverified, kPassed, kCameraFaults, kFirstMs, kLastMs };

// The jobs counted through their cameras' other jobs (`w`), by hour on the station's clock,
// port and group.
const char* const windowed_sums_sql =
    "SELECT hour, port, g, max(file_path), count(*), "
    "count(*) FILTER (WHERE js = 1 AND v IN ('P', 'C')), "
    "count(*) FILTER (WHERE js = 1 AND v = 'P' AND att = rn), "
    "count(*) FILTER (WHERE js = 1 AND v IN ('P', 'C') AND ever = 1), "
    "count(*) FILTER (WHERE att > 1), count(*) FILTER (WHERE v = 'S'), "
    "count(*) FILTER (WHERE v = 'U'), count(*) FILTER (WHERE v = 'P'), "
    "count(*) FILTER (WHERE v = 'C'), min(sms), max(ems) FROM w GROUP BY hour, port, g";

QString windowed_statement(const Dialect& d, Grouping grouping, const QString& where)
{
    const QString rest = d.solo.isEmpty() ? where : and_where(where, d.not_solo);
    return QStringLiteral("WITH %1, %2 %3").arg(base_sql(d, grouping, rest), QLatin1String(windowed_sql),
                                                QLatin1String(windowed_sums_sql));
}

// The jobs that are their cameras' only ones, each a camera of its own: its first judged job
// when judged, passed first time when it passed at attempt 1 (as recorded, else its first), by
// the hour number on the station's clock, port, and the columns the grouping needs. Their
// verdict needs no reason: a job is stored as solo only with a verdict its result and fault give.
// In SQLite the index jobs_yield holds every column in this order, so the jobs are read in
// groups, never sorted. The group of an hour or a day is the program's to tell from the hour.
QString solo_statement(const Dialect& d, Grouping grouping, const QString& where)
{
    const bool by_station = grouping == Grouping::Station, by_master = grouping == Grouping::Master;
    const QString keys = QStringLiteral("clock_hour, port") + (by_station || by_master ? QStringLiteral(", station") : QString())
                         + (by_master ? QStringLiteral(", file_sha256") : QString());
    const QString group = by_station ? QStringLiteral("station") : by_master ? QStringLiteral("lower(file_sha256)") : QStringLiteral("''");
    const QString passed = QStringLiteral("result = 'pass'");
    const QString failed = QStringLiteral("result NOT IN ('pass', 'unverified') AND fault = '%1'");
    const auto count = [](const QString& test) { return QStringLiteral("count(*) FILTER (WHERE %1)").arg(test); };
    return QStringLiteral("SELECT clock_hour, port, %1, %2, count(*), %3, %4, %5, %6, %7, %8, %5, %9, %10, %11 "
                          "FROM jobs%12 GROUP BY %13")
        .arg(group, by_master ? QStringLiteral("max(file_path)") : QStringLiteral("''"),
             count(passed + QStringLiteral(" OR ") + failed.arg(QLatin1String("camera"))),
             count(passed + QStringLiteral(" AND attempt <= 1")), count(passed), count(QStringLiteral("attempt > 1")),
             count(failed.arg(QLatin1String("station"))), count(QStringLiteral("result = 'unverified'")),
             count(failed.arg(QLatin1String("camera"))))
        .arg(d.first_ms, d.last_ms, and_where(where, d.solo), keys);
}

// The failures, for both rankings at once (by reason; by differing address, the camera's
// failures): only failures have the camera or the station to blame, so only they are read (in
// SQLite from the index jobs_failures alone).
QString failures_statement(const Dialect& d, const QString& where)
{
    return QStringLiteral("SELECT result, trim(reason), v, differing, count(*) FROM (SELECT result, reason, %1 AS differing, "
                          "%2 AS v FROM jobs%3) AS failures GROUP BY result, trim(reason), v, differing")
        .arg(d.differing, verdict_sql(d), and_where(where, QStringLiteral("result NOT IN ('pass', 'unverified')")));
}

// ---- From the sums to the figures -----------------------------------------------------------

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

// The sums of a group of cells, kept as numbers until the figures are made.
struct Sum {
    YieldCounts counts; // without the times
    int passed = 0;
    int camera_faults = 0;
    qint64 first_ms = std::numeric_limits<qint64>::max();
    qint64 last_ms = std::numeric_limits<qint64>::min();
    QString file_path;

    // One cell as the statement gives it.
    static Sum of_cell(const QSqlQuery& q)
    {
        const auto number = [&](int column) { return q.value(column).toInt(); };
        Sum cell;
        cell.counts.jobs = number(kJobs);
        cell.counts.cameras = number(kCameras);
        cell.counts.first_pass = number(kFirstPass);
        cell.counts.final_pass = number(kFinalPass);
        cell.counts.retests = number(kRetests);
        cell.counts.station_faults = number(kStationFaults);
        cell.counts.unverified = number(kUnverified);
        cell.passed = number(kPassed);
        cell.camera_faults = number(kCameraFaults);
        cell.first_ms = q.value(kFirstMs).toLongLong();
        cell.last_ms = q.value(kLastMs).toLongLong();
        cell.file_path = q.value(kFilePath).toString();
        return cell;
    }

    void add(const Sum& cell)
    {
        counts.jobs += cell.counts.jobs;
        counts.cameras += cell.counts.cameras;
        counts.first_pass += cell.counts.first_pass;
        counts.final_pass += cell.counts.final_pass;
        counts.retests += cell.counts.retests;
        counts.station_faults += cell.counts.station_faults;
        counts.unverified += cell.counts.unverified;
        passed += cell.passed;
        camera_faults += cell.camera_faults;
        first_ms = std::min(first_ms, cell.first_ms);
        last_ms = std::max(last_ms, cell.last_ms);
        if (file_path.isEmpty()) file_path = cell.file_path;
    }

    YieldCounts with_times() const
    {
        YieldCounts c = counts;
        if (c.jobs > 0) {
            c.first_started = QDateTime::fromMSecsSinceEpoch(first_ms);
            c.last_ended = QDateTime::fromMSecsSinceEpoch(last_ms);
        }
        return c;
    }
};

// The cells added up: by port, by hour number on the station's clock, and by group, whose key
// is the group's text (station, master) or a number (port, day, hour) as the grouping has it.
struct Sums {
    std::map<int, Sum> ports;
    std::map<qint64, Sum> hours;
    std::map<QString, Sum> named_groups;
    std::map<qint64, Sum> numbered_groups;
};

void add_cells(QSqlQuery& q, Grouping grouping, Sums& sums)
{
    while (q.next()) {
        const bool timed = !q.value(kHour).isNull();
        const qint64 hour = q.value(kHour).toLongLong();
        const int port = q.value(kPort).toInt();
        const Sum cell = Sum::of_cell(q);
        sums.ports[port].add(cell);
        if (timed) sums.hours[hour].add(cell);
        switch (grouping) {
        case Grouping::None: break;
        case Grouping::Station:
        case Grouping::Master: sums.named_groups[q.value(kGroup).toString()].add(cell); break;
        case Grouping::Port: sums.numbered_groups[port].add(cell); break;
        case Grouping::Day: sums.numbered_groups[hour >= 0 ? hour / 24 : -((-hour + 23) / 24)].add(cell); break;
        case Grouping::Hour: sums.numbered_groups[hour].add(cell); break;
        }
    }
}

// The key group_sql() gives the group of a number: a port, a day or an hour since 1970.
QString numbered_key(Grouping grouping, qint64 number)
{
    const QDateTime start = QDateTime::fromSecsSinceEpoch(number * (grouping == Grouping::Day ? 86400 : 3600), Qt::UTC);
    switch (grouping) {
    case Grouping::Day: return start.date().toString(Qt::ISODate);
    case Grouping::Hour: return start.toString(QStringLiteral("yyyy-MM-dd HH:00"));
    default: return QString::number(number);
    }
}

YieldGroup group_with(const QString& key, const Sum& sum, Grouping grouping)
{
    YieldGroup group = group_from_key(key, sum.file_path, grouping);
    group.counts = sum.with_times();
    return group;
}

void take_sums(const Sums& sums, Grouping grouping, YieldFigures& figures)
{
    for (const auto& [port, sum] : sums.ports) {
        figures.ports << group_with(QString::number(port), sum, Grouping::Port);
        add_counts(figures.total, figures.ports.last().counts);
    }
    for (const auto& [key, sum] : sums.named_groups) figures.groups << group_with(key, sum, grouping);
    for (const auto& [number, sum] : sums.numbered_groups) figures.groups << group_with(numbered_key(grouping, number), sum, grouping);
    std::map<QDateTime, HourCount> hours;
    for (const auto& [number, sum] : sums.hours) {
        const QDateTime hour = QDateTime::fromSecsSinceEpoch(number * 3600, Qt::UTC);
        hours[hour] = {hour, sum.passed, sum.camera_faults, sum.counts.station_faults};
    }
    sort_groups(figures.ports, Grouping::Port);
    sort_groups(figures.groups, grouping);
    figures.hours = every_hour(hours);
}

std::optional<YieldFigures> yield_with(QSqlDatabase db, const Dialect& d, const YieldFilter& filter, Grouping grouping,
                                       QString* why)
{
    const Bound bound = conditions(d, filter);
    YieldFigures figures;
    figures.grouping = grouping;
    QSqlQuery query(db);
    Sums sums;
    if (!d.solo.isEmpty()) {
        if (!run(query, solo_statement(d, grouping, bound.where), bound.values, why)) return std::nullopt;
        add_cells(query, grouping, sums);
    }
    if (!run(query, windowed_statement(d, grouping, bound.where), bound.values, why)) return std::nullopt;
    add_cells(query, grouping, sums);
    take_sums(sums, grouping, figures);

    Tally reasons, addresses;
    if (!run(query, failures_statement(d, bound.where), bound.values, why)) return std::nullopt;
    while (query.next()) {
        const JobResult result = station::result_from_word(query.value(0).toString()).value_or(JobResult::Aborted);
        const bool cameras = query.value(2).toString() == QLatin1String("C");
        const int count = query.value(4).toInt();
        reasons[{normalised_reason(result, query.value(1).toString()), cameras ? FaultClass::Camera : FaultClass::Station}] +=
            count;
        if (cameras)
            for (int address : addresses_in(query.value(3).toString(), d.postgres))
                addresses[{address_key(address), FaultClass::None}] += count;
    }
    figures.reasons = pareto(reasons);
    figures.addresses = pareto(addresses);
    return figures;
}

void set_error(QString* error, const QString& text)
{
    if (error) *error = text;
}

// PostgreSQL compiles statements this large with its JIT for seconds (2.6 s of the 7 s over a
// million rows), longer than the compiled code saves: the server counts in a transaction of its
// own with the JIT off, and with the memory to group a year's hours and ports in a hash table
// rather than sorting the jobs. Without that transaction (a server that does not know the
// settings) it counts as configured.
std::optional<YieldFigures> yield_on_server_without_jit(QSqlDatabase db, const YieldFilter& filter, Grouping grouping,
                                                        QString* why)
{
    bool own_transaction = db.transaction();
    if (own_transaction && !QSqlQuery(db).exec(QStringLiteral("SET LOCAL jit = off"))) {
        db.rollback();
        own_transaction = false;
    }
    if (own_transaction) QSqlQuery(db).exec(QStringLiteral("SET LOCAL work_mem = '32MB'"));
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
