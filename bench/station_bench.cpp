#include "station_bench.h"

#include "child_process.h"
#include "fault_plan.h"
#include "floor_probe.h"
#include "process_probe.h"
#include "stats.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>

namespace {

using bench_child::Child;
using bench_child::Clock;
using bench_child::kStartDeadlineMs;
using bench_child::Waiting;

// One byte on a real line at 19200 baud, 8N1 (10 bits).
constexpr double kWireByteMs = 10.0 / 19200 * 1000;
// What the simulator waits between the bytes of a paced answer (the first goes at once).
const double kPacedByteMs = std::chrono::duration<double, std::milli>(sim::kByteTime).count();
constexpr std::uint8_t kReadCode = 0x33;
constexpr std::uint8_t kResetCode = 0xF3;
// The station's share of a cycle, at most this part of wire time + boot on every port.
constexpr double kShareTarget = 0.01;
constexpr int kJobDeadlineMs = 180000;

double ms_between(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// A unit that passed the simulator's side of the line, as its trace printed it.
struct Unit {
    bool from_station = false;
    bool ignored = false; // came while the camera was restarting: no answer
    int size = 0;
    std::uint8_t code = 0; // byte 1: the command, or the reply code
    Clock::time_point at;  // received: when read; sent: once its last byte was written
};

std::vector<Unit> traced_units(const Child& sim)
{
    std::vector<Unit> units;
    for (const Child::Line& line : sim.lines) {
        const bool received = line.text.startsWith("<- ");
        const bool ignored = line.text.startsWith("x- ");
        if (!received && !ignored && !line.text.startsWith("-> ")) continue;
        const QByteArray hex = line.text.mid(3).split(' ').front();
        units.push_back({received || ignored, ignored, static_cast<int>(hex.size() / 2),
                         static_cast<std::uint8_t>(hex.mid(2, 2).toUInt(nullptr, 16)), line.at});
    }
    return units;
}

struct PortResult {
    Clock::time_point at;
    QString result;
};

// The last JSON event per port that carries a result.
std::map<int, PortResult> port_results(const Child& station)
{
    std::map<int, PortResult> results;
    for (const Child::Line& line : station.lines) {
        const QJsonObject event = QJsonDocument::fromJson(line.text).object();
        if (event.contains(QStringLiteral("port")) && event.value(QStringLiteral("result")).isString())
            results[event.value(QStringLiteral("port")).toInt()] = {line.at,
                                                                   event.value(QStringLiteral("result")).toString()};
    }
    return results;
}

struct PortCycle {
    QString result;
    double measured_ms = 0; // first command at the simulator to the result line of the station
    double wire_ms = 0;     // every exchange, both directions, at 19200 baud
    double paced_ms = 0;    // the simulator laying its answers out byte by byte
    double camera_ms = 0;   // the simulator from a command in to the last byte of its answer out
    double station_ms = 0;  // measured - camera - boot: the station's share
    double back_ms = 0;     // boot over to the start of the answer that found the camera back
    double start_ms = 0;    // station started to its first command on this port
    int reads = 0;
    int unanswered_probes = 0;

    int exchanges() const { return reads + 1; } // the reads and the block
    double late_ms() const { return camera_ms - paced_ms; } // the simulator's byte timer waking late
    double ideal_ms(int boot_ms) const { return wire_ms + boot_ms; }
    double real_line_ms(int boot_ms) const { return ideal_ms(boot_ms) + station_ms; }
    double station_over_ideal(int boot_ms) const { return station_ms / ideal_ms(boot_ms); }
    double overhead_over_ideal(int boot_ms) const { return (station_ms + late_ms()) / ideal_ms(boot_ms); }
};

bool answered(const std::vector<Unit>& units, std::size_t i)
{
    return i + 1 < units.size() && !units[i + 1].from_station;
}

// Counts the wire time of every exchange. A probe the camera ignored while it restarted lies
// inside the boot time, so it is not counted again; the reset has no answer by design and is.
void add_line_times(const std::vector<Unit>& units, PortCycle& cycle)
{
    long bytes = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const Unit& u = units[i];
        if (u.ignored) {
            ++cycle.unanswered_probes;
            continue;
        }
        bytes += u.size;
        if (!u.from_station) {
            cycle.paced_ms += (u.size - 1) * kPacedByteMs;
            if (i > 0) cycle.camera_ms += ms_between(units[i - 1].at, u.at);
        } else if (answered(units, i)) {
            cycle.reads += u.code == kReadCode;
        }
    }
    cycle.wire_ms = static_cast<double>(bytes) * kWireByteMs;
}

double boot_over_to_back_ms(const std::vector<Unit>& units, int boot_ms)
{
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (!units[i].from_station || units[i].code != kResetCode) continue;
        for (std::size_t j = i + 1; j < units.size(); ++j)
            if (!units[j].from_station)
                return ms_between(units[i].at, units[j].at) - (units[j].size - 1) * kPacedByteMs - boot_ms;
    }
    return 0;
}

PortCycle port_cycle(const Child& sim, const Child& station, const std::optional<PortResult>& result, int boot_ms)
{
    const std::vector<Unit> units = traced_units(sim);
    if (units.empty() || !units.front().from_station) throw std::runtime_error("a simulator saw no command");
    PortCycle cycle;
    const Clock::time_point end = result ? result->at : units.back().at;
    cycle.result = result ? result->result : QStringLiteral("(no result event)");
    cycle.measured_ms = ms_between(units.front().at, end);
    cycle.start_ms = ms_between(station.started, units.front().at);
    add_line_times(units, cycle);
    cycle.station_ms = cycle.measured_ms - cycle.camera_ms - boot_ms;
    cycle.back_ms = boot_over_to_back_ms(units, boot_ms);
    return cycle;
}

struct Run {
    int ports = 0;
    std::vector<PortCycle> cycles;
    double wall_ms = 0;
    int exit_code = -1;
    double station_cpu_ms = 0, sims_cpu_ms = 0;
};

// Private folders for the port links, the runtime and the records.
struct Folders {
    QTemporaryDir root;
    bench_child::XdgFolders xdg{root.path()};
    QString db = root.path() + QStringLiteral("/station.sqlite");
    QString master = root.path() + QStringLiteral("/master.dat");
    QProcessEnvironment environment() const { return xdg.environment(); }
};

std::vector<std::unique_ptr<Child>> start_simulators(const Folders& folders, int ports, const QStringList& options)
{
    std::vector<std::unique_ptr<Child>> sims;
    for (int port = 1; port <= ports; ++port) {
        QStringList arguments{QStringLiteral("--port"), QString::number(port), QStringLiteral("--seed"),
                              QString::number(100 + port)};
        sims.push_back(std::make_unique<Child>(QStringLiteral(CAMERA_SIM_EXE), arguments + options,
                                               folders.environment()));
    }
    const bool published = Waiting::until(
        [&] {
            for (const auto& sim : sims)
                if (!sim->printed("camera-sim: COM")) return false;
            return true;
        },
        kStartDeadlineMs);
    if (!published) throw std::runtime_error("the simulators did not publish their ports");
    return sims;
}

std::string station_failure(const char* what, const Child& station)
{
    return std::string("camera-station ") + what + " (exit " + std::to_string(station.exit_code()) +
           "): " + station.errors.left(400).toStdString();
}

// The master file, as Camera->PC writes it, saved by the station from a simulator answering at once.
void save_master(const Folders& folders)
{
    const auto sims = start_simulators(folders, 1, {QStringLiteral("--seed"), QStringLiteral("0")});
    Child station(QStringLiteral(CAMERA_STATION_EXE),
                  {QStringLiteral("save"), folders.master, QStringLiteral("--port"), QStringLiteral("1")},
                  folders.environment());
    if (!Waiting::until([&] { return station.ended(); }, kJobDeadlineMs) || station.exit_code() != 0 ||
        QFileInfo(folders.master).size() != 32768)
        throw std::runtime_error(station_failure("save did not give a data file", station));
}

QString port_list(int ports)
{
    QStringList list;
    for (int port = 1; port <= ports; ++port) list << QString::number(port);
    return list.join(',');
}

Run run_ports(const Folders& folders, int ports, int boot_ms)
{
    const auto sims =
        start_simulators(folders, ports, {QStringLiteral("--pace"), QStringLiteral("--boot-ms"), QString::number(boot_ms)});
    Child station(QStringLiteral(CAMERA_STATION_EXE),
                  {QStringLiteral("write"), folders.master, QStringLiteral("--ports"), port_list(ports),
                   QStringLiteral("--json"), QStringLiteral("--db"), folders.db},
                  folders.environment(), true);
    if (!Waiting::until([&] { return station.ended(); }, kJobDeadlineMs))
        throw std::runtime_error(station_failure("write did not end in time", station));
    Run run;
    run.ports = ports;
    run.wall_ms = ms_between(station.started, Clock::now());
    run.exit_code = station.exit_code();
    run.station_cpu_ms = station.last_cpu_ms;
    const std::map<int, PortResult> results = port_results(station);
    for (int port = 1; port <= ports; ++port) {
        const auto found = results.find(port);
        const std::optional<PortResult> result =
            found == results.end() ? std::nullopt : std::optional<PortResult>(found->second);
        run.cycles.push_back(port_cycle(*sims[static_cast<std::size_t>(port - 1)], station, result, boot_ms));
        run.sims_cpu_ms += sims[static_cast<std::size_t>(port - 1)]->cpu_ms();
    }
    return run;
}

int records_in_database(const Folders& folders)
{
    Child records(QStringLiteral(CAMERA_STATION_EXE),
                  {QStringLiteral("records"), QStringLiteral("--csv"), QStringLiteral("--db"), folders.db},
                  folders.environment());
    if (!Waiting::until([&] { return records.ended(); }, kStartDeadlineMs) || records.exit_code() != 0) return -1;
    return std::max(0, static_cast<int>(records.lines.size()) - 1); // less the header
}

// ---- the report ----

std::string range(const std::vector<double>& values, int decimals)
{
    const Summary s = summarize(values);
    return fixed(s.median, decimals) + " (" + fixed(s.min, decimals) + ".." + fixed(s.max, decimals) + ")";
}

template <class F>
std::vector<double> each_cycle(const std::vector<Run>& runs, F figure)
{
    std::vector<double> values;
    for (const Run& run : runs)
        for (const PortCycle& cycle : run.cycles) values.push_back(figure(cycle));
    return values;
}

void append_item(std::string& list, const std::string& separator, const std::string& item)
{
    if (!list.empty()) list += separator;
    list += item;
}

std::string results_text(const std::vector<Run>& runs)
{
    std::map<QString, int> counts;
    for (const Run& run : runs)
        for (const PortCycle& cycle : run.cycles) ++counts[cycle.result];
    std::string text, exits;
    for (const auto& [result, count] : counts) append_item(text, ", ", std::to_string(count) + " " + result.toStdString());
    for (const Run& run : runs) append_item(exits, "/", std::to_string(run.exit_code));
    return text + "; exit " + exits;
}

bool all_passed(const std::vector<Run>& runs)
{
    for (const Run& run : runs) {
        if (run.exit_code != 0) return false;
        for (const PortCycle& cycle : run.cycles)
            if (cycle.result.compare(QStringLiteral("pass"), Qt::CaseInsensitive) != 0) return false;
    }
    return true;
}

// Cameras per hour of all ports together, each port taking camera after camera: the mean over
// the runs of the sum over the ports of 3600 s / the port's cycle.
template <class F>
double cameras_per_hour(const std::vector<Run>& runs, F cycle_ms)
{
    double sum = 0;
    for (const Run& run : runs)
        for (const PortCycle& cycle : run.cycles) sum += 3600000.0 / cycle_ms(cycle);
    return sum / static_cast<double>(runs.size());
}

void cycle_table(Report& report, const std::map<int, std::vector<Run>>& by_ports, int boot_ms)
{
    report.table("| ports | results | measured cycle | wire time | answers paced | simulator answering late | "
                 "station's share | per exchange | of which boot over to camera back | on a real line: wire + boot + "
                 "station's share | station's share over wire + boot, worst port | all of the overhead, worst port | "
                 "within 1 % |");
    for (const auto& [ports, runs] : by_ports) {
        const double worst = summarize(each_cycle(runs, [&](const PortCycle& c) { return c.station_over_ideal(boot_ms); })).max;
        const double worst_all =
            summarize(each_cycle(runs, [&](const PortCycle& c) { return c.overhead_over_ideal(boot_ms); })).max;
        report.row("| " + std::to_string(ports) + " | " + results_text(runs) + " | " +
                   range(each_cycle(runs, [](const PortCycle& c) { return c.measured_ms; }), 0) + " | " +
                   range(each_cycle(runs, [](const PortCycle& c) { return c.wire_ms; }), 0) + " | " +
                   range(each_cycle(runs, [](const PortCycle& c) { return c.paced_ms; }), 0) + " | " +
                   range(each_cycle(runs, [](const PortCycle& c) { return c.late_ms(); }), 0) + " | " +
                   range(each_cycle(runs, [](const PortCycle& c) { return c.station_ms; }), 0) + " | " +
                   range(each_cycle(runs, [](const PortCycle& c) { return c.station_ms / c.exchanges(); }), 2) +
                   " | " + range(each_cycle(runs, [](const PortCycle& c) { return c.back_ms; }), 0) + " | " +
                   range(each_cycle(runs, [&](const PortCycle& c) { return c.real_line_ms(boot_ms); }), 0) + " | +" +
                   fixed(worst * 100, 2) + " % | +" + fixed(worst_all * 100, 2) + " % | " +
                   verdict(all_passed(runs) && worst <= kShareTarget) + " |");
    }
}

void rate_table(Report& report, const std::map<int, std::vector<Run>>& by_ports, int boot_ms)
{
    const auto real_line = [&](const PortCycle& c) { return c.real_line_ms(boot_ms); };
    const auto measured = [](const PortCycle& c) { return c.measured_ms; };
    const double one_real = cameras_per_hour(by_ports.begin()->second, real_line);
    const double one_measured = cameras_per_hour(by_ports.begin()->second, measured);
    report.table("| ports | cameras per hour on a real line | against ports × 1 port | at least 0.97 | cameras per "
                 "hour here (answers paced, commands at once) | against ports × 1 port | station CPU per camera | "
                 "simulators' CPU per camera | station start to its first command |");
    for (const auto& [ports, runs] : by_ports) {
        const double real = cameras_per_hour(runs, real_line);
        const double here = cameras_per_hour(runs, measured);
        double station_cpu = 0, sims_cpu = 0;
        for (const Run& run : runs) {
            station_cpu += run.station_cpu_ms / ports;
            sims_cpu += run.sims_cpu_ms / ports;
        }
        const double n = static_cast<double>(runs.size());
        const double scale = real / (ports * one_real);
        report.row("| " + std::to_string(ports) + " | " + fixed(real, 1) + " | " + fixed(scale, 3) + " | " +
                   verdict(all_passed(runs) && scale >= 0.97) + " | " + fixed(here, 1) + " | " +
                   fixed(here / (ports * one_measured), 3) + " | " + fixed(station_cpu / n, 0) + " ms | " +
                   fixed(sims_cpu / n, 0) + " ms | " +
                   range(each_cycle(runs, [](const PortCycle& c) { return c.start_ms; }), 0) + " ms |");
    }
}

} // namespace

void station_section(Report& report, const StationSettings& settings)
{
    Folders folders;
    if (!folders.root.isValid()) throw std::runtime_error("no temporary folder");
    std::cerr << "[bench] clone station: the machine's floor, the master file" << std::endl;
    const Summary floor = summarize(pty_round_trips(300, 9));
    save_master(folders);
    std::map<int, std::vector<Run>> by_ports;
    int cameras = 0;
    for (int ports : settings.port_counts)
        for (int i = 0; i < settings.runs; ++i) {
            std::cerr << "[bench] clone station: " << ports << " port(s), run " << i + 1 << std::endl;
            by_ports[ports].push_back(run_ports(folders, ports, settings.boot_ms));
            cameras += ports;
        }
    const PortCycle& sample = by_ports.begin()->second.front().cycles.front();

    report.heading("The clone station: one camera's cycle per port (camera-station and camera-sim as their own "
                   "processes, simulators paced at 19200 baud)");
    report.paragraph(
        "`camera-station write master.dat --ports 1,..,N --json` against N `camera-sim --pace --boot-ms " +
        std::to_string(settings.boot_ms) + "` processes (seeds 101..), " + std::to_string(settings.runs) +
        " run(s) per port count; master.dat was saved by `camera-station save` from a simulator with seed 0 "
        "(1023 addresses). A cycle on one port: " +
        std::to_string(sample.reads) + " answered reads (the reads before the block, the probe that found the "
        "camera back, the camera's own word, title and COMM ID read again after its restart, and the read-back), "
        "the 2053-byte block and its answer, the reset, " +
        std::to_string(sample.unanswered_probes) +
        " unanswered probe(s) while the camera restarted. Times in ms, median (min..max) over every port of every "
        "run, taken when the benchmark read the simulators' traces and the station's JSON lines. *Measured*: the "
        "first command at the simulator to the station's result line for that port. *Wire time*: every byte of "
        "every exchange, both directions, at 10 bits per byte (the ignored probes lie inside the boot and are not "
        "counted again). The pseudo-terminal hands the station's commands over at once and the simulator paces "
        "only its answers, so the measured cycle is the simulator's time (from each command in to the last byte "
        "of its answer out: the paced answers and its byte timer waking late), the boot, and the *station's "
        "share*: every turnaround from an answer out to the next command in, the time from the end of the boot "
        "to the probe that found the camera back, and the last answer to the result line. On a real line a "
        "cycle takes the wire time, the boot and the station's share; the target is the station's share within "
        "1 % of wire time + boot on every port. After the reset the station probes until the camera has gone "
        "silent (a probe unanswered for 0.3 s), then repeats the probe every 50 ms until it answers.");
    cycle_table(report, by_ports, settings.boot_ms);
    report.paragraph("The machine's floor under one exchange just before these runs (a pseudo-terminal and "
                     "three threads woken in turn, resting 9 ms between round trips, no station in it; see "
                     "\"The machine's floor\" above): " + ms_summary(floor) + " ms. Times the " +
                     std::to_string(sample.exchanges()) + " exchanges of a cycle, its mean is " +
                     fixed(floor.mean * sample.exchanges(), 0) + " ms of the station's share.");
    report.paragraph("Cameras per hour, each port taking camera after camera with no time for plugging them in "
                     "(the sum over the ports of 3600 s / the port's cycle, mean over the runs); the target is N "
                     "ports at least 0.97 · N times one port. CPU time per camera from /proc, of the station's "
                     "process up to its last output line and of the simulators at the end of a run:");
    rate_table(report, by_ports, settings.boot_ms);
    const int recorded = records_in_database(folders);
    report.paragraph("Records in the database after the runs (`camera-station records --csv`): " +
                     (recorded < 0 ? std::string("could not be listed") : std::to_string(recorded)) + " for " +
                     std::to_string(cameras) + " cameras.");
}
