#pragma once
// The yield figures computed by the records database itself: a plant's year of jobs is counted
// where it is kept and only the sums travel, so `camera-station stats` answers in a moment over a
// million rows. The jobs stored as their cameras' only ones are summed by hour and port alone;
// only the others go through window functions that number each camera's attempts. The figures
// are those of compute_yield() on the same rows, by the same rules (yield_figures.h).

#include "records/records.h"
#include "records/server_records.h"
#include "yield/yield_figures.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace yield {

// Which jobs count; an empty or invalid field does not filter.
struct YieldFilter {
    QDateTime since;       // started at or after
    QDateTime until;       // started before
    QString station;
    QString master_sha256; // lower-case hex
};

// From a station's SQLite file (open for writing or reading), or from the plant's server.
// Nothing, with a one-line reason in `error`, when the database cannot be read.
std::optional<YieldFigures> yield_in_file(const station::Records& records, const YieldFilter& filter,
                                          Grouping grouping, QString* error = nullptr);
std::optional<YieldFigures> yield_on_server(const station::ServerRecords& server, const YieldFilter& filter,
                                            Grouping grouping, QString* error = nullptr);

// A record as the yield reads it: its fault as recorded (none in older records: classified from
// its result and reason) and its attempt (0 in older records: counted from the rows).
YieldJob yield_job(const station::JobRow& row);

} // namespace yield
