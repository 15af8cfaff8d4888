#pragma once
// The commands of camera-station that read the yield and a camera's history from the records:
// `stats`, `history SERIAL` and `report FILE.pdf`. They read the configured database: the plant's
// server when one is set, else the station's SQLite file.

#include "station/command_line.h"
#include "station/plant.h"

namespace station {

// Each returns the exit status: 0 done, 1 the output was closed early, 2 a set-up error (the
// database cannot be read, a master file that cannot be read, a report that cannot be written).
int show_stats(const Options& options, const RecordsPlan& plan);
int show_history(const Options& options, const RecordsPlan& plan);
// Needs a QGuiApplication: the report is painted.
int write_report(const Options& options, const RecordsPlan& plan);

} // namespace station
