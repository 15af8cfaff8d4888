#pragma once
// The command line of camera-station.

#include "station/station.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace station {

enum class Action { Save, Write, Verify, Diff, Survey, Records, Approve, Approved, Stats, History, Report };

struct Options {
    Action action = Action::Write;
    QStringList arguments;        // the files (or port:N) after the command
    StationSettings station;      // its job's keep map holds the --keep lists
    QStringList keep_files;       // --keep-file, read before any camera
    QString keep_out;             // survey: the keep file to write
    OutputMode output = OutputMode::Plain;
    bool csv = false;
    // Where the records go and who runs the station: as given (empty when not), to be merged
    // with the settings file.
    QString db;
    QString station_name;
    QString operator_name;
    QString note;     // approve
    JobFilter filter; // records (and the times and station of stats and report)
    bool retest = false; // write: cameras that passed with this master already are written again
    QString master;      // stats, report: only the jobs of this master (a file or its SHA-256)
    QString by;          // stats: "port", "station", "master", "day", "hour"; empty: none
};

enum class ParseResult { Run, Help, UsageError };

// Parses argv; on a usage error `message` holds one line for standard error, on --help the text.
ParseResult parse_command_line(const QStringList& argv, Options& options, QString& message);

// The command word of argv (the first argument that is neither an option nor an option's value).
QString command_word(const QStringList& argv);

// The port a side of diff or an input of survey names ("port:2"); nothing for a file (or a port
// out of range, which the command line refuses).
std::optional<int> diff_port(const QString& side);

} // namespace station
