#include "yield/yield_figures.h"

#include "link/hex_text.h"

#include <QHash>
#include <QJsonArray>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <numeric>
#include <utility>
#include <vector>

namespace yield {
namespace {

using station::JobResult;

// ---- Reasons --------------------------------------------------------------------------------

struct ReasonRule {
    QRegularExpression pattern;
    QString name;
    FaultClass fault;
};

// The reasons the station writes, without their particulars (an address, a step, a device, a
// time), and whose fault each is. A camera that stops answering or refuses is the camera's; a
// line lost, a camera pulled or swapped during its job, no camera on the port and a job stopped
// by the operator are the station's.
const std::vector<ReasonRule>& reason_rules()
{
    static const std::vector<ReasonRule> rules = [] {
        const auto rule = [](const char* pattern, const char* name, FaultClass fault) {
            return ReasonRule{QRegularExpression(QString::fromLatin1(pattern)), QString::fromLatin1(name), fault};
        };
        return std::vector<ReasonRule>{
            rule(R"(^\d+ words? differs?\b)", "words differ", FaultClass::Camera),
            rule(R"(^camera stopped answering\b)", "camera stopped answering", FaultClass::Camera),
            rule(R"(^camera did not answer within .* after its reset)", "camera did not answer after its reset",
                 FaultClass::Camera),
            rule(R"(^camera ignored its reset\b)", "camera ignored its reset", FaultClass::Camera),
            rule(R"(^camera refused\b)", "camera refused", FaultClass::Camera),
            rule(R"(^line lost\b)", "line lost", FaultClass::Station),
            rule(R"(^the camera left\b)", "the camera left", FaultClass::Station),
            rule(R"(^no camera answered\b)", "no camera answered", FaultClass::Station),
            rule(R"(^the camera changed during the job\b)", "the camera changed during the job", FaultClass::Station),
            rule(R"(^stopped\b)", "stopped", FaultClass::Station),
            rule(R"(: cannot write the file$)", "cannot write the file", FaultClass::Station),
        };
    }();
    return rules;
}

const ReasonRule* matching_rule(const QString& reason)
{
    for (const ReasonRule& rule : reason_rules())
        if (rule.pattern.match(reason).hasMatch()) return &rule;
    return nullptr;
}

// ---- Jobs, cameras and verdicts -------------------------------------------------------------

enum class Verdict { Pass, CameraFailure, StationFault, Unverified };

Verdict verdict_of(const YieldJob& job)
{
    if (job.result == JobResult::Pass) return Verdict::Pass;
    if (job.result == JobResult::Unverified) return Verdict::Unverified;
    const FaultClass fault = job.fault ? *job.fault : classify_fault(job.result, job.reason);
    return fault == FaultClass::Station ? Verdict::StationFault : Verdict::CameraFailure;
}

bool judged(Verdict verdict) { return verdict == Verdict::Pass || verdict == Verdict::CameraFailure; }

// The camera a job belongs to; none for a job without a serial, which is a camera of its own.
std::optional<QString> camera_key(const YieldJob& job)
{
    const QString serial = job.serial.trimmed();
    if (serial.isEmpty()) return std::nullopt;
    return serial + QLatin1Char('\n') + job.master_sha256.toLower();
}

// Indices of the jobs by start time, jobs started at the same moment in the order given.
QList<qsizetype> time_order(const QList<YieldJob>& jobs)
{
    QList<qsizetype> order(jobs.size());
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return jobs[a].started < jobs[b].started; });
    return order;
}

struct Camera {
    qsizetype first_judged = -1; // the job that puts the camera in its group
    int unjudged_before = 0;     // station faults and unverified jobs before that job
    bool first_pass = false;
    bool passed = false;
};

QList<Camera> cameras_of(const QList<YieldJob>& jobs, const QList<qsizetype>& order, const QList<int>& attempts,
                         const QList<Verdict>& verdicts)
{
    QList<Camera> cameras;
    QHash<QString, qsizetype> by_key;
    for (qsizetype i : order) {
        const std::optional<QString> key = camera_key(jobs[i]);
        qsizetype c = cameras.size();
        if (key) c = by_key.value(*key, cameras.size());
        if (c == cameras.size()) {
            cameras.append(Camera{});
            if (key) by_key.insert(*key, c);
        }
        Camera& camera = cameras[c];
        const Verdict verdict = verdicts[i];
        if (!judged(verdict)) {
            if (camera.first_judged < 0) ++camera.unjudged_before;
            continue;
        }
        if (camera.first_judged < 0) {
            camera.first_judged = i;
            camera.first_pass = verdict == Verdict::Pass && attempts[i] == 1 + camera.unjudged_before;
        }
        camera.passed = camera.passed || verdict == Verdict::Pass;
    }
    return cameras;
}

// ---- Groups ---------------------------------------------------------------------------------

QString hour_key(const QDateTime& hour) { return hour.toString(QStringLiteral("yyyy-MM-dd HH:mm")); }

// The start of the hour a job started in, on the station's clock as recorded.
QDateTime hour_of(const QDateTime& started)
{
    return QDateTime(started.date(), QTime(started.time().hour(), 0), Qt::UTC);
}

} // namespace

YieldGroup group_of(const YieldJob& job, Grouping grouping)
{
    switch (grouping) {
    case Grouping::None: break;
    case Grouping::Port: return {QString::number(job.port), QStringLiteral("COM%1").arg(job.port), {}};
    case Grouping::Station: return {job.station, job.station, {}};
    case Grouping::Master: {
        const QString sha = job.master_sha256.toLower();
        const QString label = job.master_name.isEmpty() ? sha.left(8)
                                                        : QStringLiteral("%1 (%2)").arg(job.master_name, sha.left(8));
        return {sha, label, {}};
    }
    case Grouping::Day: {
        const QString day = job.started.date().toString(Qt::ISODate);
        return {day, day, {}};
    }
    case Grouping::Hour: {
        const QString hour = hour_key(hour_of(job.started));
        return {hour, hour, {}};
    }
    }
    return {QStringLiteral("all"), QStringLiteral("all"), {}};
}

namespace {

bool group_before(const YieldGroup& a, const YieldGroup& b, Grouping grouping)
{
    if (grouping == Grouping::Port) return a.key.toInt() < b.key.toInt();
    if (grouping == Grouping::Master && a.label != b.label) return a.label < b.label;
    return a.key < b.key;
}

void add_to_span(YieldCounts& counts, const YieldJob& job)
{
    if (!job.started.isValid()) return;
    const QDateTime end = job.ended.isValid() ? job.ended : job.started;
    if (!counts.first_started.isValid() || job.started < counts.first_started) counts.first_started = job.started;
    if (!counts.last_ended.isValid() || end > counts.last_ended) counts.last_ended = end;
}

} // namespace

void sort_groups(QList<YieldGroup>& groups, Grouping grouping)
{
    std::sort(groups.begin(), groups.end(),
              [grouping](const YieldGroup& a, const YieldGroup& b) { return group_before(a, b, grouping); });
}

namespace {

struct Evaluated {
    const QList<YieldJob>& jobs;
    QList<int> attempts;
    QList<Verdict> verdicts;
    QList<Camera> cameras;
};

QList<YieldGroup> grouped(const Evaluated& e, Grouping grouping)
{
    QList<YieldGroup> groups;
    QHash<QString, qsizetype> index;
    const auto group_for = [&](const YieldJob& job) -> YieldCounts& {
        YieldGroup group = group_of(job, grouping);
        qsizetype at = index.value(group.key, -1);
        if (at < 0) {
            at = groups.size();
            index.insert(group.key, at);
            groups.append(std::move(group));
        }
        return groups[at].counts;
    };
    for (qsizetype i = 0; i < e.jobs.size(); ++i) {
        YieldCounts& counts = group_for(e.jobs[i]);
        ++counts.jobs;
        if (e.attempts[i] > 1) ++counts.retests;
        if (e.verdicts[i] == Verdict::StationFault) ++counts.station_faults;
        if (e.verdicts[i] == Verdict::Unverified) ++counts.unverified;
        add_to_span(counts, e.jobs[i]);
    }
    for (const Camera& camera : e.cameras) {
        if (camera.first_judged < 0) continue;
        YieldCounts& counts = group_for(e.jobs[camera.first_judged]);
        ++counts.cameras;
        if (camera.first_pass) ++counts.first_pass;
        if (camera.passed) ++counts.final_pass;
    }
    sort_groups(groups, grouping);
    return groups;
}

// ---- Hours and rankings ---------------------------------------------------------------------

QList<HourCount> hours_of(const Evaluated& e)
{
    std::map<QDateTime, HourCount> by_hour;
    for (qsizetype i = 0; i < e.jobs.size(); ++i) {
        if (!e.jobs[i].started.isValid()) continue;
        const QDateTime hour = hour_of(e.jobs[i].started);
        HourCount& count = by_hour[hour];
        count.hour = hour;
        switch (e.verdicts[i]) {
        case Verdict::Pass: ++count.passed; break;
        case Verdict::CameraFailure: ++count.failed; break;
        case Verdict::StationFault: ++count.station_faults; break;
        case Verdict::Unverified: break;
        }
    }
    return every_hour(by_hour);
}

} // namespace

QList<HourCount> every_hour(const std::map<QDateTime, HourCount>& by_hour)
{
    QList<HourCount> hours;
    if (by_hour.empty()) return hours;
    const QDateTime last = by_hour.rbegin()->first;
    for (QDateTime hour = by_hour.begin()->first; hour <= last; hour = hour.addSecs(3600)) {
        const auto found = by_hour.find(hour);
        hours.append(found != by_hour.end() ? found->second : HourCount{hour, 0, 0, 0});
    }
    return hours;
}

QList<ParetoEntry> pareto(const Tally& tally)
{
    QList<ParetoEntry> entries;
    int total = 0;
    for (const auto& [key, count] : tally) {
        entries.append({key.first, key.second, count, 0, 0});
        total += count;
    }
    std::sort(entries.begin(), entries.end(), [](const ParetoEntry& a, const ParetoEntry& b) {
        if (a.count != b.count) return a.count > b.count;
        if (a.key != b.key) return a.key < b.key;
        return a.fault < b.fault;
    });
    int running = 0;
    for (ParetoEntry& entry : entries) {
        running += entry.count;
        entry.share = double(entry.count) / total;
        entry.cumulative = double(running) / total; // from the counts, so the last rank is exactly 1
    }
    return entries;
}

QString address_key(int address) { return QStringLiteral("0x") + hex_word_text(address); }

namespace {

QList<ParetoEntry> reasons_of(const Evaluated& e)
{
    Tally tally;
    for (qsizetype i = 0; i < e.jobs.size(); ++i) {
        const Verdict verdict = e.verdicts[i];
        if (verdict != Verdict::CameraFailure && verdict != Verdict::StationFault) continue;
        const FaultClass fault = verdict == Verdict::StationFault ? FaultClass::Station : FaultClass::Camera;
        ++tally[{normalised_reason(e.jobs[i].result, e.jobs[i].reason), fault}];
    }
    return pareto(tally);
}

QList<ParetoEntry> addresses_of(const Evaluated& e)
{
    Tally tally;
    for (qsizetype i = 0; i < e.jobs.size(); ++i) {
        if (e.verdicts[i] != Verdict::CameraFailure) continue;
        for (int address : e.jobs[i].differing) ++tally[{address_key(address), FaultClass::None}];
    }
    return pareto(tally);
}

// ---- Text, CSV and JSON ---------------------------------------------------------------------

QString count_text(int n) { return QString::number(n); }

QString fraction_text(std::optional<double> value, int decimals)
{
    return value ? QString::number(*value, 'f', decimals) : QString();
}

QString clock_text(const QDateTime& time) { return time.toString(QStringLiteral("yyyy-MM-dd HH:mm")); }

// Columns two spaces apart, numbers on the right; trailing spaces dropped.
QString aligned(const QList<QStringList>& rows, const QList<bool>& right)
{
    QList<qsizetype> widths(right.size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    QString text;
    for (const QStringList& row : rows) {
        QStringList cells;
        for (qsizetype c = 0; c < row.size(); ++c)
            cells << (right[c] ? row[c].rightJustified(widths[c]) : row[c].leftJustified(widths[c]));
        QString line = cells.join(QStringLiteral("  "));
        while (line.endsWith(QLatin1Char(' '))) line.chop(1);
        text += line + QLatin1Char('\n');
    }
    return text;
}

QString of_text(int part, int whole) { return whole > 0 ? QStringLiteral("%1 of %2").arg(part).arg(whole) : QString(); }

QString totals_text(const YieldCounts& t)
{
    QString span;
    if (t.first_started.isValid()) {
        const bool one_day = t.last_ended.date() == t.first_started.date();
        span = QStringLiteral("%1 to %2").arg(clock_text(t.first_started),
                                              one_day ? t.last_ended.toString(QStringLiteral("HH:mm")) : clock_text(t.last_ended));
    }
    const QString outside = QStringLiteral("not in the yield");
    return aligned({{QStringLiteral("Jobs"), count_text(t.jobs), span},
                    {QStringLiteral("Cameras tried"), count_text(t.cameras), QString()},
                    {QStringLiteral("First-pass yield"), percent_text(t.first_pass_yield()), of_text(t.first_pass, t.cameras)},
                    {QStringLiteral("Final yield"), percent_text(t.final_yield()), of_text(t.final_pass, t.cameras)},
                    {QStringLiteral("Retests"), count_text(t.retests), QString()},
                    {QStringLiteral("Station faults"), count_text(t.station_faults), outside},
                    {QStringLiteral("Unverified"), count_text(t.unverified), outside},
                    {QStringLiteral("Cameras per hour"), rate_text(t.cameras_per_hour()), QString()}},
                   {false, true, false});
}

QString groups_text(const YieldFigures& f)
{
    QString by = grouping_word(f.grouping);
    by[0] = by[0].toUpper();
    QList<QStringList> rows = {{by, QStringLiteral("Cameras"), QStringLiteral("First pass"), QStringLiteral("Final"),
                                QStringLiteral("Retests"), QStringLiteral("Station faults"),
                                QStringLiteral("Unverified"), QStringLiteral("Cameras/h")}};
    for (const YieldGroup& g : f.groups) {
        const YieldCounts& c = g.counts;
        rows.append({g.label, count_text(c.cameras), percent_text(c.first_pass_yield()), percent_text(c.final_yield()),
                     count_text(c.retests), count_text(c.station_faults), count_text(c.unverified),
                     rate_text(c.cameras_per_hour())});
    }
    return aligned(rows, {false, true, true, true, true, true, true, true});
}

QString ranking_text(const QString& title, const QList<ParetoEntry>& entries, bool with_fault)
{
    if (entries.isEmpty()) return title + QStringLiteral(": none\n");
    QStringList header = {title};
    if (with_fault) header << QStringLiteral("Whose");
    header << QStringLiteral("Count") << QStringLiteral("Share") << QStringLiteral("Cumulative");
    QList<QStringList> rows = {header};
    for (const ParetoEntry& e : entries) {
        QStringList row = {e.key};
        if (with_fault) row << fault_word(e.fault);
        row << count_text(e.count) << percent_text(e.share) << percent_text(e.cumulative);
        rows.append(row);
    }
    QList<bool> right = {false};
    if (with_fault) right << false;
    right << true << true << true;
    return aligned(rows, right);
}

// RFC 4180: a field holding a comma, a quote or a line break is quoted, its quotes doubled.
QString csv_field(QString field)
{
    static const QRegularExpression needs_quotes(QStringLiteral("[,\"\r\n]"));
    if (!field.contains(needs_quotes)) return field;
    field.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

QString csv_line(const QStringList& fields)
{
    QStringList quoted;
    for (const QString& field : fields) quoted << csv_field(field);
    return quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QStringList counts_fields(const YieldCounts& c)
{
    return {count_text(c.jobs),          count_text(c.cameras),
            count_text(c.first_pass),    count_text(c.final_pass),
            fraction_text(c.first_pass_yield(), 4), fraction_text(c.final_yield(), 4),
            count_text(c.retests),       count_text(c.station_faults),
            count_text(c.unverified),    fraction_text(c.cameras_per_hour(), 2)};
}

QJsonValue optional_json(std::optional<double> value) { return value ? QJsonValue(*value) : QJsonValue(); }

QJsonObject counts_json(const YieldCounts& c)
{
    return {{QStringLiteral("jobs"), c.jobs},
            {QStringLiteral("cameras"), c.cameras},
            {QStringLiteral("first_pass"), c.first_pass},
            {QStringLiteral("final_pass"), c.final_pass},
            {QStringLiteral("first_pass_yield"), optional_json(c.first_pass_yield())},
            {QStringLiteral("final_yield"), optional_json(c.final_yield())},
            {QStringLiteral("retests"), c.retests},
            {QStringLiteral("station_faults"), c.station_faults},
            {QStringLiteral("unverified"), c.unverified},
            {QStringLiteral("cameras_per_hour"), optional_json(c.cameras_per_hour())},
            {QStringLiteral("first_started"), c.first_started.toString(Qt::ISODate)},
            {QStringLiteral("last_ended"), c.last_ended.toString(Qt::ISODate)}};
}

QJsonArray groups_json(const QList<YieldGroup>& groups)
{
    QJsonArray array;
    for (const YieldGroup& g : groups) {
        QJsonObject object = counts_json(g.counts);
        object.insert(QStringLiteral("key"), g.key);
        object.insert(QStringLiteral("label"), g.label);
        array.append(object);
    }
    return array;
}

QJsonArray ranking_json(const QList<ParetoEntry>& entries, const QString& key_name, bool with_fault)
{
    QJsonArray array;
    for (const ParetoEntry& e : entries) {
        QJsonObject object{{key_name, e.key},
                           {QStringLiteral("count"), e.count},
                           {QStringLiteral("share"), e.share},
                           {QStringLiteral("cumulative_share"), e.cumulative}};
        if (with_fault) object.insert(QStringLiteral("fault"), fault_word(e.fault));
        array.append(object);
    }
    return array;
}

} // namespace

QString fault_word(FaultClass fault)
{
    switch (fault) {
    case FaultClass::Camera: return QStringLiteral("camera");
    case FaultClass::Station: return QStringLiteral("station");
    case FaultClass::None: break;
    }
    return QStringLiteral("none");
}

FaultClass classify_fault(JobResult result, const QString& reason)
{
    if (result == JobResult::Pass || result == JobResult::Unverified) return FaultClass::None;
    if (const ReasonRule* rule = matching_rule(reason.trimmed())) return rule->fault;
    return result == JobResult::FailVerify || result == JobResult::FailRefused ? FaultClass::Camera
                                                                               : FaultClass::Station;
}

QString normalised_reason(JobResult result, const QString& reason)
{
    const QString text = reason.trimmed();
    if (const ReasonRule* rule = matching_rule(text)) return rule->name;
    const QString before_colon = text.section(QLatin1Char(':'), 0, 0).trimmed();
    return before_colon.isEmpty() ? station::result_word(result) : before_colon;
}

QList<int> attempt_numbers(const QList<YieldJob>& jobs)
{
    QList<int> attempts(jobs.size(), 1);
    QHash<QString, int> last;
    for (qsizetype i : time_order(jobs)) {
        const std::optional<QString> key = camera_key(jobs[i]);
        if (!key) continue;
        attempts[i] = jobs[i].attempt > 0 ? jobs[i].attempt : last.value(*key, 0) + 1;
        last.insert(*key, attempts[i]);
    }
    return attempts;
}

QString grouping_word(Grouping grouping)
{
    switch (grouping) {
    case Grouping::None: break;
    case Grouping::Port: return QStringLiteral("port");
    case Grouping::Station: return QStringLiteral("station");
    case Grouping::Master: return QStringLiteral("master");
    case Grouping::Day: return QStringLiteral("day");
    case Grouping::Hour: return QStringLiteral("hour");
    }
    return {};
}

std::optional<Grouping> grouping_from_word(const QString& word)
{
    for (Grouping g : {Grouping::Port, Grouping::Station, Grouping::Master, Grouping::Day, Grouping::Hour})
        if (grouping_word(g) == word) return g;
    return std::nullopt;
}

std::optional<double> YieldCounts::first_pass_yield() const
{
    return cameras > 0 ? std::optional<double>(double(first_pass) / cameras) : std::nullopt;
}

std::optional<double> YieldCounts::final_yield() const
{
    return cameras > 0 ? std::optional<double>(double(final_pass) / cameras) : std::nullopt;
}

std::optional<double> YieldCounts::cameras_per_hour() const
{
    const qint64 span_ms = first_started.isValid() ? first_started.msecsTo(last_ended) : 0;
    if (span_ms <= 0) return std::nullopt;
    return cameras * 3600000.0 / double(span_ms);
}

YieldFigures compute_yield(const QList<YieldJob>& jobs, Grouping grouping)
{
    Evaluated e{jobs, attempt_numbers(jobs), {}, {}};
    e.verdicts.reserve(jobs.size());
    for (const YieldJob& job : jobs) e.verdicts.append(verdict_of(job));
    e.cameras = cameras_of(jobs, time_order(jobs), e.attempts, e.verdicts);

    YieldFigures figures;
    figures.grouping = grouping;
    const QList<YieldGroup> all = grouped(e, Grouping::None);
    if (!all.isEmpty()) figures.total = all.first().counts;
    if (grouping != Grouping::None) figures.groups = grouped(e, grouping);
    figures.ports = grouped(e, Grouping::Port);
    figures.hours = hours_of(e);
    figures.reasons = reasons_of(e);
    figures.addresses = addresses_of(e);
    return figures;
}

QString percent_text(std::optional<double> fraction)
{
    return fraction ? QStringLiteral("%1 %").arg(*fraction * 100.0, 0, 'f', 1) : QStringLiteral("-");
}

QString rate_text(std::optional<double> per_hour)
{
    return per_hour ? QString::number(*per_hour, 'f', 1) : QStringLiteral("-");
}

QString yield_text(const YieldFigures& figures)
{
    QString text = totals_text(figures.total);
    if (figures.grouping != Grouping::None) text += QLatin1Char('\n') + groups_text(figures);
    text += QLatin1Char('\n') + ranking_text(QStringLiteral("Failures by reason"), figures.reasons, true);
    text += QLatin1Char('\n') + ranking_text(QStringLiteral("Failures by address"), figures.addresses, false);
    return text;
}

QString yield_csv(const YieldFigures& figures)
{
    QString text = csv_line({QStringLiteral("group"), QStringLiteral("key"), QStringLiteral("jobs"),
                             QStringLiteral("cameras"), QStringLiteral("first_pass"), QStringLiteral("final_pass"),
                             QStringLiteral("first_pass_yield"), QStringLiteral("final_yield"),
                             QStringLiteral("retests"), QStringLiteral("station_faults"),
                             QStringLiteral("unverified"), QStringLiteral("cameras_per_hour")});
    text += csv_line(QStringList{QStringLiteral("all"), QString()} + counts_fields(figures.total));
    for (const YieldGroup& g : figures.groups) text += csv_line(QStringList{g.label, g.key} + counts_fields(g.counts));
    return text;
}

QString failures_csv(const YieldFigures& figures)
{
    QString text = csv_line({QStringLiteral("ranking"), QStringLiteral("key"), QStringLiteral("fault"),
                             QStringLiteral("count"), QStringLiteral("share"), QStringLiteral("cumulative_share")});
    const auto rows = [&](const QString& ranking, const QList<ParetoEntry>& entries, bool with_fault) {
        for (const ParetoEntry& e : entries)
            text += csv_line({ranking, e.key, with_fault ? fault_word(e.fault) : QString(), count_text(e.count),
                              QString::number(e.share, 'f', 4), QString::number(e.cumulative, 'f', 4)});
    };
    rows(QStringLiteral("reason"), figures.reasons, true);
    rows(QStringLiteral("address"), figures.addresses, false);
    return text;
}

QJsonObject yield_json(const YieldFigures& figures)
{
    QJsonObject object = counts_json(figures.total);
    object.insert(QStringLiteral("by"), figures.grouping == Grouping::None ? QJsonValue()
                                                                           : QJsonValue(grouping_word(figures.grouping)));
    object.insert(QStringLiteral("groups"), groups_json(figures.groups));
    object.insert(QStringLiteral("ports"), groups_json(figures.ports));
    QJsonArray hours;
    for (const HourCount& h : figures.hours)
        hours.append(QJsonObject{{QStringLiteral("hour"), h.hour.toString(QStringLiteral("yyyy-MM-ddTHH:mm"))},
                                 {QStringLiteral("passed"), h.passed},
                                 {QStringLiteral("failed"), h.failed},
                                 {QStringLiteral("station_faults"), h.station_faults}});
    object.insert(QStringLiteral("hours"), hours);
    object.insert(QStringLiteral("failures_by_reason"), ranking_json(figures.reasons, QStringLiteral("reason"), true));
    object.insert(QStringLiteral("failures_by_address"),
                  ranking_json(figures.addresses, QStringLiteral("address"), false));
    return object;
}

} // namespace yield
