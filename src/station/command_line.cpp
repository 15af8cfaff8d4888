#include "station/command_line.h"

#include "yield/yield_figures.h"

#include <QCommandLineParser>
#include <QMap>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace station {
namespace {

constexpr int kHighestPort = 9;
constexpr std::pair<int, int> kBootTimeoutRange{1, 3600}; // seconds

const QString kDescription = QStringLiteral(
    "Writes a master parameter data file into camera after camera on one or more serial ports,\n"
    "proves each by reading it back, and keeps a record of every camera.\n"
    "\n"
    "Commands:\n"
    "  save FILE      the camera's parameter memory into FILE (as the Copy page's Camera->PC)\n"
    "  write FILE     FILE into the camera (the block and a reset), then read back and compare\n"
    "  verify FILE    read back and compare only\n"
    "  diff A B       two data files, or a file and port:N; exit status 1 when they differ\n"
    "  survey A B ... the addresses whose words differ between several cameras of one product\n"
    "                 (data files or port:N): the candidates for --keep (--keep-out FILE)\n"
    "  records        list the records (--station, --serial SN, --result, --since, --until;\n"
    "                 --csv or --json)\n"
    "  approve FILE   approve FILE's SHA-256 for writing (--note TEXT)\n"
    "  approved       list the approved masters (--csv)\n"
    "  stats          the yield: cameras, first-pass and final yield, retests, station faults,\n"
    "                 cameras per hour, the failures ranked (--since, --until, --station,\n"
    "                 --master FILE|SHA, --by port|station|master|day|hour; --csv or --json)\n"
    "  history SERIAL every job of that camera on every station, oldest first (--csv or --json)\n"
    "  report FILE    the shift report as PDF (--since, --until, --station, --master)\n"
    "\n"
    "Ports are numbered 1 to 9. Times are local time with the UTC offset\n"
    "(2026-12-09T14:51:38+01:00), in the listings and in --json; --since and --until take a\n"
    "local date or date and time, or one with an offset.\n"
    "\n"
    "The settings file $XDG_CONFIG_HOME/camera-adjust/station.conf ([station] database, name,\n"
    "require_operator, require_approved) holds what a plant sets on every station; --db and\n"
    "--station override it. With a PostgreSQL URI as database the records go to the server\n"
    "through the station's journal, the default SQLite file.\n"
    "\n"
    "Exit status: 0 every camera passed, 1 a camera failed, was stopped or was not recorded\n"
    "(or diff found differences; or a camera that passed already was not written again: write\n"
    "asks for --retest), 2 a usage or set-up error.");

// Every option the command line knows, shared by the parsing steps below. `records` filters by
// --serial SN, which for write and verify asks for serial numbers and takes no value.
struct OptionSet {
    explicit OptionSet(bool serial_filter)
    {
        if (serial_filter)
            serial = QCommandLineOption(QStringLiteral("serial"), QStringLiteral("records: only the jobs of camera SN."),
                                        QStringLiteral("SN"));
    }

    QCommandLineOption port{QStringLiteral("port"), QStringLiteral("Serial port N (default 1)."), QStringLiteral("N")};
    QCommandLineOption ports{QStringLiteral("ports"), QStringLiteral("Several ports, side by side, e.g. 1,2,4."),
                             QStringLiteral("LIST")};
    QCommandLineOption id{QStringLiteral("id"), QStringLiteral("Transmit COMM ID, 0..255 (default 1)."),
                          QStringLiteral("N")};
    QCommandLineOption single{QStringLiteral("single"), QStringLiteral("write: the file's word records one by one, then the reset.")};
    QCommandLineOption no_verify{QStringLiteral("no-verify"),
                                 QStringLiteral("write: skip the read-back; the result is UNVERIFIED.")};
    QCommandLineOption boot{QStringLiteral("boot-timeout"),
                            QStringLiteral("Seconds a camera may stay silent after its reset, or before a job "
                                           "without --loop and before diff or survey reads port:N; 1 to 3600 (default 15)."),
                            QStringLiteral("S")};
    QCommandLineOption loop{QStringLiteral("loop"),
                            QStringLiteral("write/verify: camera after camera on each port until Ctrl-C.")};
    QCommandLineOption serial{QStringLiteral("serial"),
                              QStringLiteral("Before each camera's job read its serial number from standard input: "
                                             "one port asks at a time (\"port 2: scan the serial number\"); a scan "
                                             "while no port asks is refused.")};
    QCommandLineOption json{QStringLiteral("json"), QStringLiteral("One JSON object per event and line.")};
    QCommandLineOption db{QStringLiteral("db"),
                          QStringLiteral("The records: an SQLite file, or a PostgreSQL server as "
                                         "postgresql://user@host/database (default: the settings file's, else %1).")
                              .arg(Records::default_path()),
                          QStringLiteral("PATH|URI")};
    QCommandLineOption since{QStringLiteral("since"),
                             QStringLiteral("records: only jobs started on or after DATE (local time unless it "
                                            "has an offset)."),
                             QStringLiteral("DATE")};
    QCommandLineOption csv{QStringLiteral("csv"), QStringLiteral("records, approved: CSV instead of text.")};
    // The plant's records: who and where, approvals, look-ups across stations.
    QCommandLineOption station{QStringLiteral("station"),
                               QStringLiteral("The station's name in its records (default: the settings file's, else "
                                              "the host name); records: only this station's jobs."),
                               QStringLiteral("NAME")};
    QCommandLineOption operator_name{QStringLiteral("operator"),
                                     QStringLiteral("Who runs the station (or approves), named in each record."),
                                     QStringLiteral("NAME")};
    QCommandLineOption note{QStringLiteral("note"), QStringLiteral("approve: a note kept with the approval."),
                            QStringLiteral("TEXT")};
    QCommandLineOption result{QStringLiteral("result"),
                              QStringLiteral("records: only jobs with this result (pass, fail-verify, fail-link, "
                                             "fail-refused, unverified, aborted)."),
                              QStringLiteral("WORD")};
    QCommandLineOption until{QStringLiteral("until"), QStringLiteral("records: only jobs started before DATE."),
                             QStringLiteral("DATE")};
    // The yield and a camera's history.
    QCommandLineOption retest{QStringLiteral("retest"),
                              QStringLiteral("write: also write cameras that passed with this master already.")};
    QCommandLineOption master{QStringLiteral("master"),
                              QStringLiteral("stats, report: only the jobs of this master (a data file or its SHA-256)."),
                              QStringLiteral("FILE|SHA")};
    QCommandLineOption by{QStringLiteral("by"), QStringLiteral("stats: figures per port, station, master, day or hour."),
                          QStringLiteral("WHAT")};
    QCommandLineOption keep{QStringLiteral("keep"),
                            QStringLiteral("write/verify: words each camera keeps of its own, addresses and ranges "
                                           "in hexadecimal (0x0100-0x011F,0x03F0): read from the camera before the "
                                           "write and written back, checked unchanged after the restart; verify "
                                           "does not compare them."),
                            QStringLiteral("LIST")};
    QCommandLineOption keep_file{QStringLiteral("keep-file"),
                                 QStringLiteral("write/verify: the same from a file, one address or range per line, "
                                                "# comments; adds to --keep."),
                                 QStringLiteral("FILE")};
    QCommandLineOption keep_out{QStringLiteral("keep-out"),
                                QStringLiteral("survey: write the differing addresses as a keep file."), QStringLiteral("FILE")};
};

const QMap<QString, Action> kActions{{QStringLiteral("save"), Action::Save},
                                     {QStringLiteral("write"), Action::Write},
                                     {QStringLiteral("verify"), Action::Verify},
                                     {QStringLiteral("diff"), Action::Diff},
                                     {QStringLiteral("survey"), Action::Survey},
                                     {QStringLiteral("records"), Action::Records},
                                     {QStringLiteral("approve"), Action::Approve},
                                     {QStringLiteral("approved"), Action::Approved},
                                     {QStringLiteral("stats"), Action::Stats},
                                     {QStringLiteral("history"), Action::History},
                                     {QStringLiteral("report"), Action::Report}};

constexpr int kSurveyInputs = 2; // at least

int arguments_wanted(Action action)
{
    switch (action) {
    case Action::Diff: return 2;
    case Action::Survey: return kSurveyInputs;
    case Action::Records:
    case Action::Approved:
    case Action::Stats: return 0;
    default: return 1;
    }
}

bool arguments_fit(Action action, qsizetype count)
{
    return action == Action::Survey ? count >= kSurveyInputs : count == arguments_wanted(action);
}

std::optional<int> port_number(const QString& text)
{
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    if (!ok || port < 1 || port > kHighestPort) return std::nullopt;
    return port;
}

const QString kPortPrefix = QStringLiteral("port:");

QString bad_port(const QString& text)
{
    return QStringLiteral("bad port \"%1\": a port is a number 1..%2, each named once").arg(text).arg(kHighestPort);
}

bool is_port_side(const QString& side) { return side.startsWith(kPortPrefix); }

bool check_port_sides(const QStringList& sides, QString& message)
{
    for (const QString& side : sides) {
        if (is_port_side(side) && !diff_port(side)) {
            message = bad_port(side);
            return false;
        }
    }
    return true;
}

bool parse_ports(const QCommandLineParser& parser, const OptionSet& known, QList<int>& ports, QString& message)
{
    if (parser.isSet(known.port) && parser.isSet(known.ports)) {
        message = QStringLiteral("--port and --ports exclude each other");
        return false;
    }
    QStringList texts{QStringLiteral("1")};
    if (parser.isSet(known.port)) texts = QStringList{parser.value(known.port)};
    if (parser.isSet(known.ports)) texts = parser.value(known.ports).split(QLatin1Char(','));
    ports.clear();
    for (const QString& text : texts) {
        const std::optional<int> port = port_number(text);
        if (!port || ports.contains(*port)) {
            message = bad_port(text);
            return false;
        }
        ports.append(*port);
    }
    return true;
}

bool parse_numbers(const QCommandLineParser& parser, const OptionSet& known, Options& options, QString& message)
{
    bool ok = true;
    if (parser.isSet(known.id)) {
        const int id = parser.value(known.id).toInt(&ok);
        if (!ok || id < 0 || id > 255) {
            message = QStringLiteral("bad --id \"%1\": 0..255").arg(parser.value(known.id));
            return false;
        }
        options.station.camera_id = static_cast<std::uint8_t>(id);
    }
    if (parser.isSet(known.boot)) {
        const double seconds = parser.value(known.boot).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < kBootTimeoutRange.first || seconds > kBootTimeoutRange.second) {
            message = QStringLiteral("bad --boot-timeout \"%1\": seconds, %2 to %3")
                          .arg(parser.value(known.boot))
                          .arg(kBootTimeoutRange.first)
                          .arg(kBootTimeoutRange.second);
            return false;
        }
        options.station.job.boot_timeout_ms = static_cast<int>(seconds * 1000);
    }
    return true;
}

// A local date (its start) or date and time, or one with an offset.
bool parse_time(const QCommandLineParser& parser, const QCommandLineOption& option, QDateTime& time, QString& message)
{
    if (!parser.isSet(option)) return true;
    const QString text = parser.value(option);
    time = QDateTime::fromString(text, Qt::ISODate);
    if (!time.isValid()) time = QDate::fromString(text, Qt::ISODate).startOfDay();
    if (time.isValid()) return true;
    message = QStringLiteral("bad --%1 \"%2\": a date (2024-05-31) or a date and time").arg(option.names().first(), text);
    return false;
}

// The look-up of `records`: its times and its result word.
bool parse_filter(const QCommandLineParser& parser, const OptionSet& known, Options& options, QString& message)
{
    JobFilter& filter = options.filter;
    if (!parse_time(parser, known.since, filter.since, message) || !parse_time(parser, known.until, filter.until, message))
        return false;
    if (parser.isSet(known.result)) {
        filter.result = result_from_word(parser.value(known.result));
        if (!filter.result) {
            message = QStringLiteral("bad --result \"%1\": pass, fail-verify, fail-link, fail-refused, unverified or aborted")
                          .arg(parser.value(known.result));
            return false;
        }
    }
    return true;
}

// The --keep lists into the job's keep map (the keep files are read later, before any camera).
bool parse_keep(const QCommandLineParser& parser, const OptionSet& known, Options& options, QString& message)
{
    for (const QString& list : parser.values(known.keep))
        if (!parse_keep_list(list, options.station.job.keep, &message)) return false;
    options.keep_files = parser.values(known.keep_file);
    options.keep_out = parser.value(known.keep_out);
    return true;
}

// Options that only some commands take: one given to another command is refused, never ignored.
bool check_combinations(const QCommandLineParser& parser, const OptionSet& known, const Options& options, QString& message)
{
    const Action a = options.action;
    const auto refuse = [&](const QCommandLineOption& option, bool allowed, const char* which) {
        if (allowed || !parser.isSet(option)) return false;
        message = QStringLiteral("--%1 goes with %2 only").arg(option.names().first(), QLatin1String(which));
        return true;
    };
    const bool camera_job = a == Action::Write || a == Action::Verify;
    const bool station_run = camera_job || a == Action::Save;
    const bool reads_a_side = a == Action::Diff || a == Action::Survey;
    const bool side_of_camera = reads_a_side && std::any_of(options.arguments.begin(), options.arguments.end(), is_port_side);
    const bool waits_for_camera = station_run || side_of_camera;
    return !(refuse(known.single, a == Action::Write, "write") || refuse(known.no_verify, a == Action::Write, "write")
             || refuse(known.boot, waits_for_camera, "save, write, verify, and diff and survey with port:N")
             || refuse(known.id, waits_for_camera, "save, write, verify, and diff and survey with port:N")
             || refuse(known.keep, camera_job, "write and verify") || refuse(known.keep_file, camera_job, "write and verify")
             || refuse(known.keep_out, a == Action::Survey, "survey")
             || refuse(known.loop, camera_job, "write and verify") || refuse(known.serial, camera_job || a == Action::Records, "write and verify (and records: --serial SN)")
             || refuse(known.port, station_run, "save, write and verify (diff and survey name port:N)")
             || refuse(known.ports, camera_job, "write and verify")
             || refuse(known.json, station_run || a == Action::Records || a == Action::Stats || a == Action::History,
                       "save, write, verify, records, stats and history")
             || refuse(known.since, a == Action::Records || a == Action::Stats || a == Action::Report,
                       "records, stats and report"));
}

// The plant's options: each goes with the commands it means something to.
bool check_plant_combinations(const QCommandLineParser& parser, const OptionSet& known, const Options& options, QString& message)
{
    const Action a = options.action;
    const auto refuse = [&](const QCommandLineOption& option, bool allowed, const char* which) {
        if (allowed || !parser.isSet(option)) return false;
        message = QStringLiteral("--%1 goes with %2 only").arg(option.names().first(), QLatin1String(which));
        return true;
    };
    const bool station_run = a == Action::Write || a == Action::Verify || a == Action::Save;
    const bool approvals = a == Action::Approve || a == Action::Approved;
    const bool yield = a == Action::Stats || a == Action::Report;
    const bool reads = a == Action::Records || yield || a == Action::History;
    if (refuse(known.db, station_run || reads || approvals,
               "save, write, verify, records, approve, approved, stats, history and report")
        || refuse(known.csv, a == Action::Records || a == Action::Approved || a == Action::Stats || a == Action::History,
                  "records, approved, stats and history")
        || refuse(known.station, station_run || a == Action::Records || yield, "save, write, verify, records, stats and report")
        || refuse(known.retest, a == Action::Write, "write") || refuse(known.master, yield, "stats and report")
        || refuse(known.by, a == Action::Stats, "stats")
        || refuse(known.operator_name, station_run || a == Action::Approve, "save, write, verify and approve")
        || refuse(known.note, a == Action::Approve, "approve") || refuse(known.result, a == Action::Records, "records")
        || refuse(known.until, a == Action::Records || yield, "records, stats and report"))
        return false;
    if (parser.isSet(known.by) && !yield::grouping_from_word(parser.value(known.by))) {
        message = QStringLiteral("bad --by \"%1\": port, station, master, day or hour").arg(parser.value(known.by));
        return false;
    }
    if (parser.isSet(known.csv) && parser.isSet(known.json)) {
        message = QStringLiteral("--csv and --json exclude each other");
        return false;
    }
    return true;
}

void apply_flags(const QCommandLineParser& parser, const OptionSet& known, Options& options)
{
    StationSettings& s = options.station;
    s.job.command = options.action == Action::Save ? Command::Save
                    : options.action == Action::Verify ? Command::Verify
                                                       : Command::Write;
    s.job.single = parser.isSet(known.single);
    s.job.verify = !parser.isSet(known.no_verify);
    s.loop = parser.isSet(known.loop);
    s.ask_serial = parser.isSet(known.serial) && options.action != Action::Records;
    options.csv = parser.isSet(known.csv);
    options.db = parser.value(known.db);
    options.station_name = parser.value(known.station);
    options.operator_name = parser.value(known.operator_name);
    options.note = parser.value(known.note);
    options.retest = parser.isSet(known.retest);
    options.master = parser.value(known.master);
    options.by = parser.value(known.by);
    if (options.action == Action::Records || options.action == Action::Stats || options.action == Action::Report)
        options.filter.station = options.station_name;
    if (options.action == Action::Records) {
        options.filter.serial = parser.value(known.serial);
    }
    if (parser.isSet(known.json))
        options.output = OutputMode::Json; // records: one JSON object per row
    else
        options.output = ::isatty(STDOUT_FILENO) ? OutputMode::Terminal : OutputMode::Plain;
}

} // namespace

// Its options are known only once it is (records' --serial takes a value).
QString command_word(const QStringList& argv)
{
    const OptionSet known(false);
    QStringList with_values;
    for (const QCommandLineOption* option : {&known.port, &known.ports, &known.id, &known.boot, &known.db, &known.since,
                                             &known.station, &known.operator_name, &known.note, &known.result, &known.until,
                                             &known.master, &known.by})
        with_values << QStringLiteral("--") + option->names().first();
    for (qsizetype i = 1; i < argv.size(); ++i) {
        const QString& word = argv[i];
        if (word == QLatin1String("--")) return argv.value(i + 1);
        if (!word.startsWith(QLatin1Char('-'))) return word;
        if (with_values.contains(word)) ++i; // its value follows
    }
    return {};
}

ParseResult parse_command_line(const QStringList& argv, Options& options, QString& message)
{
    const OptionSet known(command_word(argv) == QLatin1String("records"));
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption help = parser.addHelpOption();
    parser.addOptions({known.port, known.ports, known.id, known.single, known.no_verify, known.boot, known.loop, known.serial,
                       known.keep, known.keep_file, known.json, known.db, known.since, known.csv, known.keep_out,
                       known.station, known.operator_name, known.note, known.result, known.until,
                       known.retest, known.master, known.by});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("save, write, verify, diff, survey, records, approve, approved, stats, history or report"));
    parser.addPositionalArgument(QStringLiteral("arguments"), QStringLiteral("FILE, or A B for diff, or A B ... for survey"),
                                 QStringLiteral("[FILE...]"));
    if (!parser.parse(argv)) {
        message = parser.errorText();
        return ParseResult::UsageError;
    }
    if (parser.isSet(help)) {
        message = parser.helpText();
        return ParseResult::Help;
    }
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty() || !kActions.contains(positional.first())) {
        message = positional.isEmpty() ? QStringLiteral("no command given (save, write, verify, diff, survey, records, approve, approved, stats, "
                                                                     "history or report)")
                                       : QStringLiteral("unknown command \"%1\"").arg(positional.first());
        return ParseResult::UsageError;
    }
    options.action = kActions.value(positional.takeFirst());
    if (!arguments_fit(options.action, positional.size())) {
        message = QStringLiteral("wrong number of arguments for this command (%1%2 wanted)")
                      .arg(options.action == Action::Survey ? QStringLiteral("at least ") : QString())
                      .arg(arguments_wanted(options.action));
        return ParseResult::UsageError;
    }
    options.arguments = positional;
    const bool reads_sides = options.action == Action::Diff || options.action == Action::Survey;
    if ((reads_sides && !check_port_sides(options.arguments, message))
        || !parse_ports(parser, known, options.station.ports, message) || !parse_numbers(parser, known, options, message)
        || !parse_filter(parser, known, options, message) || !check_combinations(parser, known, options, message)
        || !check_plant_combinations(parser, known, options, message) || !parse_keep(parser, known, options, message))
        return ParseResult::UsageError;
    apply_flags(parser, known, options);
    return ParseResult::Run;
}

std::optional<int> diff_port(const QString& side)
{
    if (!is_port_side(side)) return std::nullopt;
    return port_number(side.mid(kPortPrefix.size()));
}

} // namespace station
