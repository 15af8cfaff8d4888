#pragma once
// The clone station's yield: how many cameras passed at their first attempt and at any attempt,
// the retests, the station's own faults beside the cameras', the throughput, and the failures
// ranked by reason and by differing address, over job rows that come from any records store.
//
// This is the reference computation, kept plain: a database query computing the same figures
// must agree with it on the same rows.
//
// The rules, in one place:
// - Every job has one verdict: pass (result "pass"), unverified (result "unverified": written,
//   not read back), a station fault (its fault class is the station's), or else a camera failure.
// - A camera is a (serial, master SHA-256) pair; a job without a serial is a camera of its own.
// - A camera is tried when it has a judged job (a pass or a camera failure). Station faults and
//   unverified jobs are never judged: a camera whose only jobs are such is not tried, and such a
//   job before a camera's first judged job does not spoil its first pass.
// - First pass: the camera's first judged job passed and no judged job of it came before, i.e.
//   that job's attempt number is 1 plus the unjudged jobs of the camera seen before it. An
//   attempt number stored by the station counts jobs outside the rows given, so a camera whose
//   first attempt lies before the period is not counted as passing first time.
// - Final pass: the camera passed at any of its jobs.
// - Retests: jobs whose attempt number is above 1, whatever their verdict.
// - Station faults, unverified: jobs.
// - Groups: a camera belongs to the group of its first judged job (so the groups' cameras add up
//   to the total); jobs (retests, station faults, failures, hours) to the group they ran in.
// - Day and hour: the station's clock as recorded with the job's start.

#include "records/records.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <map>
#include <optional>
#include <utility>

namespace yield {

// Whose fault a failed job is. None for a pass or an unverified job.
enum class FaultClass { None, Camera, Station };

// "none", "camera", "station".
QString fault_word(FaultClass fault);

// One job as the records hold it, independent of where they are kept.
struct YieldJob {
    QDateTime started;
    QDateTime ended;       // invalid when the job never ended
    QString station;
    int port = 0;
    QString operator_name;
    QString serial;        // may be empty
    QString master_sha256; // lower-case hex
    QString master_name;   // the master file's name, for labels
    station::JobResult result = station::JobResult::Aborted;
    QString reason;
    QList<int> differing;  // addresses whose read-back differed, each once
    std::optional<FaultClass> fault; // as recorded; empty for older records: classified
    int attempt = 0;       // as recorded, 1 for the first; 0 unknown: counted from the rows
    bool retest_confirmed = false;
};

// Whose fault a job with this result and reason is, for records that do not say: the reasons
// the station writes are matched first, then the result decides (fail-verify and fail-refused
// the camera's, fail-link and aborted the station's).
FaultClass classify_fault(station::JobResult result, const QString& reason);

// The reason without its particulars, for ranking: "1 word differs: 0x0012 (...)" and "3 words
// differ: ..." are both "words differ", "line lost at 0x0155 (cable pulled?)" is "line lost".
// An unknown reason keeps its text before the first colon; an empty one is the result word.
QString normalised_reason(station::JobResult result, const QString& reason);

// The attempt number of each job (in the order given): a recorded one as it is, an unknown one
// one more than the previous job of the same camera in time order (1 for its first). A job
// without a serial is always attempt 1.
QList<int> attempt_numbers(const QList<YieldJob>& jobs);

enum class Grouping { None, Port, Station, Master, Day, Hour };

// "port", "station", "master", "day", "hour" (and "" for None): the words of --by.
QString grouping_word(Grouping grouping);
std::optional<Grouping> grouping_from_word(const QString& word);

struct YieldCounts {
    int jobs = 0;
    int cameras = 0;    // cameras tried
    int first_pass = 0; // of them, passed at their first attempt
    int final_pass = 0; // of them, passed at any attempt
    int retests = 0;
    int station_faults = 0;
    int unverified = 0;
    QDateTime first_started; // the span of the jobs: the first start
    QDateTime last_ended;    // and the last end (the start of a job that never ended)

    std::optional<double> first_pass_yield() const; // 0..1; empty with no camera tried
    std::optional<double> final_yield() const;
    std::optional<double> cameras_per_hour() const;  // cameras tried over the span; empty for none
};

struct YieldGroup {
    QString key;   // port number, station name, master SHA-256, "2024-05-06", "2024-05-06 07:00"
    QString label; // "COM1", the station, "master.dat (1a2b3c4d)", the day, the hour
    YieldCounts counts;
};

// One hour of the station's clock: the jobs that started in it, by verdict.
struct HourCount {
    QDateTime hour; // the hour's start as the station's clock shows it (kept in UTC, so free of
                    // daylight-saving gaps: read date() and time(), do not convert)
    int passed = 0;
    int failed = 0; // camera failures
    int station_faults = 0;
};

// One rank of a Pareto: sorted by count, most first, ties by key.
struct ParetoEntry {
    QString key;    // a normalised reason, or an address as "0x0012"
    FaultClass fault = FaultClass::None; // whose failures a reason's are; None for addresses
    int count = 0;
    double share = 0;      // count / all counts of the ranking
    double cumulative = 0; // the shares of this rank and those above it
};

struct YieldFigures {
    YieldCounts total;
    Grouping grouping = Grouping::None;
    QList<YieldGroup> groups; // by `grouping`, in order (ports by number); empty for None
    QList<YieldGroup> ports;  // by port always, for the yield per port
    QList<HourCount> hours;   // every hour from the first job's to the last job's start
    QList<ParetoEntry> reasons;   // camera failures and station faults, by normalised reason
    QList<ParetoEntry> addresses; // the differing addresses of camera failures
};

YieldFigures compute_yield(const QList<YieldJob>& jobs, Grouping grouping = Grouping::None);

// The pieces compute_yield() assembles its figures with, for counts made elsewhere (a database):
// the group a job belongs to (its key and label, counts empty); the groups in their order; every
// hour from the first counted to the last, the empty ones too; a ranking of counts by key and
// fault; an address as the rankings name it ("0x0012").
YieldGroup group_of(const YieldJob& job, Grouping grouping);
void sort_groups(QList<YieldGroup>& groups, Grouping grouping);
QList<HourCount> every_hour(const std::map<QDateTime, HourCount>& by_hour);
using Tally = std::map<std::pair<QString, FaultClass>, int>;
QList<ParetoEntry> pareto(const Tally& tally);
QString address_key(int address);

// "44.4 %", or "-" when there is no figure.
QString percent_text(std::optional<double> fraction);
// "4.5", or "-".
QString rate_text(std::optional<double> per_hour);

// The figures for a line lead: aligned text, the groups and both rankings below the totals.
QString yield_text(const YieldFigures& figures);
// RFC 4180 with a header: one row for all jobs ("all"), then one per group.
QString yield_csv(const YieldFigures& figures);
// RFC 4180 with a header: the ranking by reason, then the ranking by address.
QString failures_csv(const YieldFigures& figures);
// Everything: the totals, the groups, the ports, the hours and both rankings.
QJsonObject yield_json(const YieldFigures& figures);

} // namespace yield
