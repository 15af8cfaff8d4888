// The Camera Adjust Tool benchmark. Runs the real window and serial component against the camera
// simulator on a pseudo-terminal, or the clone station against simulator processes, and writes
// its figures as Markdown (see docs/performance.md).
//
//   camera-bench [--report FILE] [--quick] [--station | --plant --plant-server DIR | --yield [--server URI]]
//
// --quick runs every measurement with fewer repetitions, to try the harness out. --station
// measures the clone station instead of the window; --plant stations forwarding their records to
// the PostgreSQL server listening in DIR (scripts/bench.sh plant starts it); --yield the yield over
// a plant's year of records, in SQLite and (with --server) on a PostgreSQL server.

#include "bench_rig.h"
#include "decoder_bench.h"
#include "floor_probe.h"
#include "plant_bench.h"
#include "process_probe.h"
#include "report.h"
#include "startup_probe.h"
#include "station_bench.h"
#include "stats.h"
#include "yield_bench.h"

#include "main_window/application.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>

namespace {

using namespace std::chrono;
using Kind = sim::TraceEvent::Kind;

// One byte on the wire at 19200 baud, 8N1.
constexpr double kLineByteMs = 10.0 / 19200 * 1000;
// What the simulator waits between the bytes of a paced answer (the first goes at once).
constexpr double kSimByteMs = duration<double, std::milli>(sim::kByteTime).count();

struct Settings {
    int setup_series = 100;
    int starts = 10;
    double idle_seconds = 10;
    int copies_for_memory = 20;
    int soak_reloads = 1000;
    int soak_copies = 20;
    int soak_fault_every = 10; // reloads
    int repeats = 3;           // of each unpaced copy
};

void progress(const std::string& text) { std::cerr << "[bench] " << text << std::endl; }

double ms_since(BenchClock::time_point start) { return duration<double, std::milli>(BenchClock::now() - start).count(); }

// A copy operation run to its end, with what the simulator saw of it.
struct CopyRun {
    bool completed = false;
    double took_ms = 0;
    RunTrace trace;
    double sim_paced_ms = 0; // time the simulator spent laying answers out byte by byte
    double line_ms = 0;      // both directions at 19200 baud
    double tool_ms = 0;      // click to the first command, plus every turnaround: the tool's share
    TurnaroundParts parts;
    double gui_cpu_ms = 0, watcher_cpu_ms = 0, simulator_cpu_ms = 0; // CPU time over the run
};

// CPU time per thread of this process over a run: the GUI thread (the process's first), the
// serial watcher and the rest (the simulator's thread).
struct CpuScope {
    std::vector<ThreadSample> before = sample_threads();
    void finish(CopyRun& run) const
    {
        const std::vector<ThreadSample> after = sample_threads();
        for (const ThreadSample& a : after)
            for (const ThreadSample& b : before) {
                if (a.tid != b.tid) continue;
                const double ms = static_cast<double>(a.cpu_ns - b.cpu_ns) / 1e6;
                if (a.tid == ::getpid()) run.gui_cpu_ms += ms;
                else if (a.name == "TCommWatch") run.watcher_cpu_ms += ms;
                else run.simulator_cpu_ms += ms;
            }
    }
};

template <class T>
void extend(std::vector<T>& into, const std::vector<T>& more)
{
    into.insert(into.end(), more.begin(), more.end());
}

void append(TurnaroundParts& into, const TurnaroundParts& more)
{
    extend(into.to_handler_ms, more.to_handler_ms);
    extend(into.handler_to_command_ms, more.handler_to_command_ms);
    extend(into.handler_us, more.handler_us);
    extend(into.reply_handler_us, more.reply_handler_us);
    extend(into.reply_handler_cpu_us, more.reply_handler_cpu_us);
    extend(into.handler_to_write_ms, more.handler_to_write_ms);
    extend(into.write_to_command_ms, more.write_to_command_ms);
}

// Rows that split the turnarounds of `parts`; `replies` is the number of replies they cover.
void parts_rows(Report& report, const std::string& what, const TurnaroundParts& parts, std::size_t replies)
{
    report.row("| " + what + ": reply out to the receive handler entered | " +
               ms_summary(summarize(parts.to_handler_ms)) + " ms | - |");
    report.row("| " + what + ": handler entered to the next command at the simulator | " +
               ms_summary(summarize(parts.handler_to_command_ms)) + " ms | - |");
    report.row("| " + what + ": of which handler entered to the command written | " +
               ms_summary(summarize(parts.handler_to_write_ms)) + " ms | - |");
    report.row("| " + what + ": and written to received at the simulator | " +
               ms_summary(summarize(parts.write_to_command_ms)) + " ms | - |");
    report.row("| " + what + ": receive notifications per reply; time in the handler per notification | " +
               fixed(static_cast<double>(parts.handler_us.size()) / static_cast<double>(replies), 2) + "; " +
               ms_summary(summarize(parts.handler_us), 1) + " µs | - |");
    report.row("| " + what + ": time in the handler that took a reply's last byte (and sent the next command) | " +
               ms_summary(summarize(parts.reply_handler_us), 1) + " µs; CPU time " +
               ms_summary(summarize(parts.reply_handler_cpu_us), 1) + " µs | - |");
}

CopyRun finish_run(BenchRig& rig, const CpuScope& cpu, BenchClock::time_point start, bool completed, bool paced)
{
    CopyRun run;
    run.took_ms = ms_since(start);
    run.completed = completed;
    cpu.finish(run);
    // The last unit (a reset without an answer) may still be on its way to the simulator.
    rig.wait_until([] { return false; }, 50);
    const std::vector<Stamp> stamps = rig.trace.take();
    run.trace = analyse(stamps);
    run.parts = split_turnarounds(stamps, rig.take_handler_spans(), rig.take_writes());
    for (const Stamp& s : stamps)
        if (paced && s.kind == Kind::Sent && s.size > 0) run.sim_paced_ms += (s.size - 1) * kSimByteMs;
    run.line_ms = static_cast<double>(run.trace.bytes_in + run.trace.bytes_out) * kLineByteMs;
    for (const Stamp& s : stamps)
        if (s.kind == Kind::Received) {
            run.tool_ms = duration<double, std::milli>(s.at - start).count();
            break;
        }
    for (double t : run.trace.turnarounds_ms) run.tool_ms += t;
    rig.camera.clear_received();
    return run;
}

// Clicks `button` with the trace and the handler records cleared, waits until `done` holds and
// measures the run; `completed` says whether it ended as a finished copy.
template <class Done, class Completed>
CopyRun timed_copy(BenchRig& rig, QPushButton* button, bool paced, Done done, Completed completed, int poll_ms = 0)
{
    rig.trace.take();
    rig.take_handler_spans();
    rig.take_writes();
    const CpuScope cpu;
    const auto start = BenchClock::now();
    button->click();
    const bool ended = rig.wait_until(done, 120000, poll_ms);
    return finish_run(rig, cpu, start, ended && completed(), paced);
}

CopyRun camera_to_pc(BenchRig& rig, const QString& path, bool paced, int poll_ms = 0)
{
    TFKR58* w = rig.window.get();
    rig.fake_dialogs.save_answer = path;
    rig.fake_dialogs.confirm_answer = true;
    return timed_copy(
        rig, w->CtopOK2, paced, [w] { return !w->copy_running && !w->comm_busy; },
        [w] { return !w->complete2->isHidden(); }, poll_ms);
}

CopyRun pc_to_camera_single(BenchRig& rig, const QString& path, bool paced)
{
    TFKR58* w = rig.window.get();
    w->Same->setChecked(false);
    rig.fake_dialogs.open_answer = path;
    return timed_copy(
        rig, w->ptocOk, paced, [w] { return !w->copy_running && !w->comm_busy; },
        [w] { return !w->complete2->isHidden(); });
}

CopyRun pc_to_camera_batch(BenchRig& rig, const QString& path, bool paced)
{
    TFKR58* w = rig.window.get();
    w->Same->setChecked(false);
    rig.fake_dialogs.open_answer = path;
    return timed_copy(
        rig, w->ptocOk2, paced, [w] { return !w->complete2->isHidden() && !w->comm_busy; }, [] { return true; });
}

std::string kib(long k) { return k < 0 ? "?" : fixed(static_cast<double>(k) / 1024.0, 1) + " MiB"; }

// ---- the measurements ----

void decoder_section(Report& report)
{
    progress("receive decoder");
    report.heading("Receive decoder throughput");
    report.table("| stream | MiB/s | ns per byte | complete frames per byte |");
    for (const DecoderFigures& f : {decoder_throughput_valid(), decoder_throughput_random()})
        report.row("| " + f.stream + " | " + fixed(f.mib_per_s, 0) + " | " + fixed(f.ns_per_byte, 2) + " | " +
                   fixed(f.frames_per_byte, 4) + " |");
    report.paragraph("4 MiB per stream, median of 7 passes. The line brings at most 1920 bytes/s, so the decoder "
                     "uses well under a millionth of a core at line rate.");
}

void floor_section(Report& report)
{
    progress("the machine's floor under a turnaround");
    const Summary hot = summarize(pty_round_trips(2000, 0));
    const Summary rested = summarize(pty_round_trips(500, 9));
    report.heading("The machine's floor under a turnaround");
    report.paragraph("The hops of an exchange with none of the tool's work: 18 bytes through a pseudo-terminal, "
                     "a watcher thread woken in poll() that wakes a second thread through an eventfd, which reads "
                     "them and writes 18 bytes back to the first thread, woken in poll(). Round trip in ms, median "
                     "/ p99 (mean, min..max, n):");
    report.table("| threads | round trip |");
    report.row("| back to back | " + ms_summary(hot) + " |");
    report.row("| resting 9 ms between round trips, as while a paced answer is on the line | " + ms_summary(rested) + " |");
}

void startup_section(Report& report, BenchRig& rig, const Settings& settings)
{
    progress("start-up of the shipped program, idle CPU");
    const StartupFigures f = probe_startup(rig, settings.starts, settings.idle_seconds);
    report.heading("Start-up and an idle, connected tool (camera-adjust as its own process)");
    report.table("| figure | value | target |");
    report.row("| exec to the first command at the simulator, median / p99 (mean, min..max, n) | " +
               ms_summary(summarize(f.to_first_command_ms), 1) + " ms | - |");
    report.row("| units sent by the start-up Setup load | " + std::to_string(f.load_units) + " | - |");
    report.row("| VmRSS after the start-up Setup load | " + kib(f.rss_after_load_kib) + " | - |");
    double cpu = 0;
    std::uint64_t wakeups = 0;
    for (const ThreadDelta& t : f.idle_threads) {
        cpu += t.cpu_ms;
        wakeups += t.wakeups;
    }
    report.row("| CPU over " + fixed(f.idle_seconds, 0) + " s idle, all threads | " + fixed(cpu, 2) + " ms (" +
               fixed(cpu / (f.idle_seconds * 10), 4) + " % of a core) | effectively 0 |");
    report.row("| wake-ups over the idle window, all threads | " + std::to_string(wakeups) + " | - |");
    report.table("| thread (idle window) | CPU ms | wake-ups |");
    for (const ThreadDelta& t : f.idle_threads)
        report.row("| " + t.name + " | " + fixed(t.cpu_ms, 3) + " | " + std::to_string(t.wakeups) + " |");
}

// Counts the timer events the GUI thread delivers, by receiver.
class TimerCensus : public QObject {
public:
    std::map<std::string, int> counts;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (event->type() == QEvent::Timer) {
            const std::string name = receiver->objectName().toStdString();
            ++counts[std::string(receiver->metaObject()->className()) + (name.empty() ? "" : " " + name)];
        }
        return false;
    }
};

// The open window, connected and loaded, left alone: which timers fire and what the threads use.
void idle_rows(Report& report, BenchRig& rig, double seconds)
{
    TimerCensus census;
    qApp->installEventFilter(&census);
    const std::vector<ThreadSample> before = sample_threads();
    rig.wait_until([] { return false; }, static_cast<int>(seconds * 1000));
    const std::vector<ThreadSample> after = sample_threads();
    qApp->removeEventFilter(&census);
    double gui_ms = 0, watcher_ms = 0;
    std::uint64_t gui_wakeups = 0, watcher_wakeups = 0;
    for (const ThreadDelta& d : thread_deltas(before, after)) {
        if (d.name == "TCommWatch") {
            watcher_ms += d.cpu_ms;
            watcher_wakeups += d.wakeups;
        }
    }
    for (const ThreadSample& a : after)
        for (const ThreadSample& b : before)
            if (a.tid == b.tid && a.tid == ::getpid()) {
                gui_ms = static_cast<double>(a.cpu_ns - b.cpu_ns) / 1e6;
                gui_wakeups = a.voluntary_switches - b.voluntary_switches;
            }
    std::string timers;
    for (const auto& [receiver, count] : census.counts)
        timers += (timers.empty() ? "" : ", ") + receiver + ": " + std::to_string(count);
    report.row("| idle " + fixed(seconds, 0) + " s: GUI thread CPU / wake-ups; watcher CPU / wake-ups | " +
               fixed(gui_ms, 2) + " ms / " + std::to_string(gui_wakeups) + "; " + fixed(watcher_ms, 2) + " ms / " +
               std::to_string(watcher_wakeups) + " | effectively 0 |");
    report.row("| idle " + fixed(seconds, 0) + " s: timer events delivered, by receiver (the benchmark's own "
               "end-of-wait timer included) | " + (timers.empty() ? std::string("none") : timers) + " | none |");
}

void setup_section(Report& report, BenchRig& rig, const Settings& settings)
{
    progress("in-process start-up and Setup series");
    std::vector<double> construct_to_first;
    long rss_first_load = -1;
    int fd_first_load = -1;
    for (int i = 0; i < 5; ++i) {
        rig.close_window();
        rig.trace.take();
        const auto start = BenchClock::now();
        rig.open_window(TFKR58::Release);
        if (!rig.wait_idle()) throw std::runtime_error("the Setup page did not load");
        for (const Stamp& s : rig.trace.take())
            if (s.kind == Kind::Received) {
                construct_to_first.push_back(duration<double, std::milli>(s.at - start).count());
                break;
            }
        if (i == 0) {
            rss_first_load = resident_kib();
            fd_first_load = open_fd_count();
        }
        rig.camera.clear_received();
    }

    TFKR58* w = rig.window.get();
    rig.take_handler_spans();
    rig.take_writes();
    TurnaroundParts parts;
    std::vector<double> turnarounds, series_ms;
    std::uint64_t units = 0;
    for (int i = 0; i < settings.setup_series; ++i) {
        rig.trace.take();
        const auto start = BenchClock::now();
        w->ReLoadClick();
        if (!rig.wait_idle()) throw std::runtime_error("a Setup reload did not end");
        series_ms.push_back(ms_since(start));
        const std::vector<Stamp> stamps = rig.trace.take();
        const RunTrace run = analyse(stamps);
        append(parts, split_turnarounds(stamps, rig.take_handler_spans(), rig.take_writes()));
        extend(turnarounds, run.turnarounds_ms);
        units = run.units_in;
        rig.camera.clear_received();
    }
    const Summary t = summarize(turnarounds);

    report.heading("Setup page (Release configuration, in the benchmark's process)");
    report.table("| figure | value | target |");
    report.row("| window construction to the first command at the simulator: first, then median of 4 more | " +
               fixed(construct_to_first.front(), 1) + " ms, " +
               fixed(summarize({construct_to_first.begin() + 1, construct_to_first.end()}).median, 1) + " ms | - |");
    report.row("| turnaround per exchange over " + std::to_string(settings.setup_series) + " series of " +
               std::to_string(units) + " reads, median / p99 (mean, min..max, n) | " + ms_summary(t) +
               " ms | median < 0.5 ms: " + verdict(t.median < 0.5) + " |");
    parts_rows(report, "Setup", parts, static_cast<std::size_t>(settings.setup_series) * units);
    report.row("| one whole Setup series (click to idle), median / p99 | " + fixed(summarize(series_ms).median, 2) +
               " / " + fixed(summarize(series_ms).p99, 2) + " ms | - |");
    report.row("| VmRSS / open descriptors after the first full Setup load | " + kib(rss_first_load) + " / " +
               std::to_string(fd_first_load) + " | - |");
    report.row("| VmRSS / open descriptors after " + std::to_string(settings.setup_series + 5) + " Setup loads | " +
               kib(resident_kib()) + " / " + std::to_string(open_fd_count()) + " | - |");
    idle_rows(report, rig, settings.idle_seconds);

    rig.wait_until([] { return false; }, 200); // the cursor's 10 ms restore has run
    std::string timers;
    for (QTimer* timer : w->findChildren<QTimer*>())
        if (timer->isActive())
            timers += (timers.empty() ? "" : ", ") + timer->objectName().toStdString() + " (" +
                      std::to_string(timer->interval()) + " ms)";
    const QWidget* focus = QApplication::focusWidget();
    report.paragraph("Timers of the window still running once the load is over: " +
                     (timers.empty() ? std::string("none") : timers) + ". Keyboard focus: " +
                     (focus ? focus->metaObject()->className() + std::string(" ") + focus->objectName().toStdString()
                            : std::string("none")) +
                     " (a focused text edit blinks its cursor, a Qt timer of its own).");
}

std::string copy_row(const std::string& what, const std::vector<CopyRun>& runs, double target_ms)
{
    std::vector<double> took;
    bool all_completed = true;
    for (const CopyRun& r : runs) {
        took.push_back(r.took_ms);
        all_completed = all_completed && r.completed;
    }
    const Summary s = summarize(took);
    const CopyRun& r = runs.front();
    double gui = 0, watcher = 0, simulator = 0;
    for (const CopyRun& run : runs) {
        gui += run.gui_cpu_ms;
        watcher += run.watcher_cpu_ms;
        simulator += run.simulator_cpu_ms;
    }
    const double per = 1000.0 / static_cast<double>(runs.size() * std::max<std::uint64_t>(r.trace.units_out, 1));
    return "| " + what + " | " + std::to_string(r.trace.units_in) + " / " + std::to_string(r.trace.units_out) + " | " +
           fixed(s.median, 1) + " ms (" + fixed(s.min, 1) + ".." + fixed(s.max, 1) + ", n=" +
           std::to_string(runs.size()) + ")" + (all_completed ? "" : " **not completed**") + " | " +
           fixed(gui * per, 0) + " / " + fixed(watcher * per, 0) + " / " + fixed(simulator * per, 0) + " | < " +
           fixed(target_ms, 0) + " ms: " + verdict(all_completed && s.median < target_ms) + " |";
}

std::string paced_row(const std::string& what, const CopyRun& r)
{
    const double overhead = r.took_ms - r.sim_paced_ms;
    const double over_tool = r.tool_ms / r.line_ms * 100;
    const double over_all = overhead / r.line_ms * 100;
    return "| " + what + " | " + fixed(r.took_ms, 1) + (r.completed ? "" : " **not completed**") + " | " +
           fixed(r.sim_paced_ms, 1) + " | " + fixed(overhead, 1) + " = " + fixed(r.tool_ms, 1) + " + " +
           fixed(overhead - r.tool_ms, 1) + " | " + fixed(r.line_ms, 1) + " | " + fixed(r.line_ms + r.tool_ms, 1) +
           " (+" + fixed(over_tool, 2) + " %); with all of the overhead " + fixed(r.line_ms + overhead, 1) + " (+" +
           fixed(over_all, 2) + " %) | " + verdict(r.completed && over_tool < 3) + " | " +
           fixed(r.gui_cpu_ms * 1000 / static_cast<double>(std::max<std::uint64_t>(r.trace.units_out, 1)), 0) + " |";
}

void copy_section(Report& report, BenchRig& rig, const Settings& settings, const QString& folder)
{
    progress("Copy page, simulator answering at once");
    rig.open_copy_page();
    const QString file = folder + QStringLiteral("/camera.dat");
    std::vector<CopyRun> ctop, single, batch;
    rig.take_handler_spans();
    for (int i = 0; i < settings.repeats; ++i) ctop.push_back(camera_to_pc(rig, file, false));
    for (int i = 0; i < settings.repeats; ++i) single.push_back(pc_to_camera_single(rig, file, false));
    for (int i = 0; i < settings.repeats; ++i) batch.push_back(pc_to_camera_batch(rig, file, false));

    progress("Copy page, simulator paced at 19200 baud");
    rig.camera.set_baud_pacing(true);
    const CopyRun paced_ctop = camera_to_pc(rig, file, true);
    const CopyRun paced_single = pc_to_camera_single(rig, file, true);
    const CopyRun paced_batch = pc_to_camera_batch(rig, file, true);
    rig.camera.set_baud_pacing(false);

    progress("20 copies for the memory figure");
    for (int i = 0; i < settings.copies_for_memory; ++i)
        if (!camera_to_pc(rig, file, false).completed) throw std::runtime_error("a Camera->PC copy failed");
    const long rss_after_copies = resident_kib();
    const int fds_after_copies = open_fd_count();

    std::vector<double> copy_turnarounds;
    for (const CopyRun& r : ctop) extend(copy_turnarounds, r.trace.turnarounds_ms);
    const Summary t = summarize(copy_turnarounds);
    const Summary tp = summarize(paced_ctop.trace.turnarounds_ms);

    report.heading("Copy page (Debug configuration, service code typed, in the benchmark's process)");
    report.table("| figure | value | target |");
    report.row("| turnaround per exchange over " + std::to_string(ctop.size()) +
               " Camera->PC copies, median / p99 (mean, min..max, n) | " + ms_summary(t) + " ms | median < 0.5 ms: " +
               verdict(t.median < 0.5) + " |");
    report.row("| the same with the simulator paced at 19200 baud | " + ms_summary(tp) + " ms | median < 0.5 ms: " +
               verdict(tp.median < 0.5) + " |");
    TurnaroundParts parts;
    for (const CopyRun& r : ctop) append(parts, r.parts);
    parts_rows(report, "Camera->PC", parts, 1024 * ctop.size());
    parts_rows(report, "Camera->PC paced", paced_ctop.parts, 1024);
    report.row("| VmRSS / open descriptors after " + std::to_string(settings.copies_for_memory) +
               " more Camera->PC copies | " + kib(rss_after_copies) + " / " + std::to_string(fds_after_copies) +
               " | - |");

    report.paragraph("Whole operations against the simulator answering at once (click to the end of the "
                     "operation on the window):");
    report.table("| operation | units tool->camera / camera->tool | time | CPU µs per reply: GUI / watcher / "
                 "simulator | target |");
    report.row(copy_row("Camera->PC", ctop, 1000));
    report.row(copy_row("PC->Camera single, full file", single, 1000));
    report.row(copy_row("PC->Camera batch", batch, 1000));

    report.paragraph("The same with the simulator pacing its answers at 19200 baud. All times in ms. The "
                     "simulator paces only what it sends (the pseudo-terminal delivers the tool's commands at "
                     "once), so the measured time is the paced answers plus an overhead: the tool's share (click "
                     "to the first command, then every turnaround) plus the simulator's and the kernel's (the "
                     "simulator reading and answering, its byte timer waking late). The time on a real line is the "
                     "wire time of both directions plus the tool's share; the target is that share under 3 % of "
                     "the wire time:");
    report.table("| operation | measured | answers paced by the simulator | overhead = tool + simulator | both "
                 "directions at 19200 baud | on a real line (over the wire time) | within 3 % | GUI CPU µs per reply |");
    report.row(paced_row("Camera->PC", paced_ctop));
    report.row(paced_row("PC->Camera single, full file", paced_single));
    report.row(paced_row("PC->Camera batch", paced_batch));
}

struct Checkpoint {
    std::string when;
    long rss = 0;
    int fds = 0;
};

void soak_section(Report& report, BenchRig& rig, const Settings& settings, const QString& folder)
{
    progress("soak: Setup reloads with faults");
    TFKR58* w = rig.window.get();
    const sim::Fault kinds[] = {sim::Fault::NoAnswer, sim::Fault::BadChecksum,  sim::Fault::NoEtx,
                                sim::Fault::Refuse,   sim::Fault::SecondAnswer, sim::Fault::SplitBytes,
                                sim::Fault::Late};
    constexpr int kKinds = 7;
    rig.camera.set_late_delay_ms(20);
    rig.camera.set_split_pause_ms(1);
    // Time-outs in a few hundred ms rather than seconds; the time-out path is the same.
    w->SendTimer->setInterval(50);
    std::mt19937 random(7);
    std::vector<Checkpoint> checkpoints;
    const auto checkpoint = [&](const std::string& when) {
        rig.fake_dialogs.messages.clear();
        rig.camera.clear_received();
        checkpoints.push_back({when, resident_kib(), open_fd_count()});
    };

    w->PageControl1->setCurrentIndex(TFKR58::SetupPage);
    rig.wait_idle(30000, 20);
    rig.trace.take();
    w->ReLoadClick();
    rig.wait_idle(30000, 20);
    const int series = static_cast<int>(analyse(rig.trace.take()).units_in);
    checkpoint("start");
    int faults = 0, stalled = 0;
    for (int i = 1; i <= settings.soak_reloads; ++i) {
        if (i % settings.soak_fault_every == 0) {
            rig.trace.schedule_fault(rig.trace.received_total() + random() % static_cast<unsigned>(series),
                                     kinds[faults++ % kKinds]);
        }
        w->ReLoadClick();
        if (!rig.wait_idle(30000, 20)) ++stalled;
        rig.trace.take();
        rig.take_handler_spans();
        rig.take_writes();
        if (i % 100 == 0) checkpoint("after " + std::to_string(i) + " reloads");
        else rig.camera.clear_received();
    }

    progress("soak: Camera->PC copies with faults");
    w->PageControl1->setCurrentIndex(TFKR58::CopyPage);
    rig.wait_idle(30000, 20);
    int completed = 0;
    for (int c = 0; c < settings.soak_copies; ++c) {
        rig.trace.schedule_fault(rig.trace.received_total() + random() % 1024u, kinds[faults++ % kKinds]);
        completed += camera_to_pc(rig, folder + QStringLiteral("/soak.dat"), false, 20).completed;
        rig.wait_idle(30000, 20);
        if ((c + 1) % 5 == 0) checkpoint("after " + std::to_string(c + 1) + " copies");
    }
    rig.camera.clear_faults();
    w->SendTimer->setInterval(TFKR58::kSendTimerMs);

    report.heading("Soak (Debug configuration): " + std::to_string(settings.soak_reloads) + " Setup reloads, then " +
                   std::to_string(settings.soak_copies) + " Camera->PC copies, with faults");
    report.paragraph("A fault every " + std::to_string(settings.soak_fault_every) +
                     " reloads at a random read of the series, and one in every copy at a random word, in turn: "
                     "no answer, bad checksum, no ETX, refused, second answer, split bytes (1 ms apart), late "
                     "(20 ms). SendTimer ticks every 50 ms here so that the time-outs take 150-200 ms. Faults: " +
                     std::to_string(faults) + "; reloads that did not end within 30 s: " + std::to_string(stalled) +
                     "; copies that completed: " + std::to_string(completed) + " of " +
                     std::to_string(settings.soak_copies) +
                     " (a fault that loses or spoils an answer ends a copy, as it must). The simulator's log of "
                     "received units is cleared as it goes, so that it does not count as the tool's memory.");
    report.table("| checkpoint | VmRSS | open descriptors |");
    for (const Checkpoint& c : checkpoints)
        report.row("| " + c.when + " | " + kib(c.rss) + " (" + std::to_string(c.rss) + " KiB) | " +
                   std::to_string(c.fds) + " |");
    const Checkpoint& first = checkpoints.front();
    const Checkpoint& hundred = checkpoints.size() > 1 ? checkpoints[1] : first;
    const Checkpoint& last = checkpoints.back();
    report.paragraph("Growth from the start to the end: " + std::to_string(last.rss - first.rss) + " KiB, from the "
                     "first checkpoint after 100 reloads to the end: " + std::to_string(last.rss - hundred.rss) +
                     " KiB; descriptors: " + std::to_string(last.fds - first.fds) + ".");
}

// The window, its serial component and the simulator in this process.
void window_sections(Report& report, const Settings& settings)
{
    QTemporaryDir folder;
    BenchRig rig;
    decoder_section(report);
    floor_section(report);
    startup_section(report, rig, settings);
    setup_section(report, rig, settings);
    copy_section(report, rig, settings, folder.path());
    soak_section(report, rig, settings, folder.path());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::string report_path;
    Settings settings;
    StationSettings station;
    PlantSettings plant;
    bool station_only = false;
    bool plant_only = false;
    YieldBenchSettings yield;
    bool yield_only = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--report" && i + 1 < argc) report_path = argv[++i];
        else if (arg == "--station") station_only = true;
        else if (arg == "--plant") plant_only = true;
        else if (arg == "--plant-server" && i + 1 < argc) plant.server_socket = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--yield") yield_only = true;
        else if (arg == "--server" && i + 1 < argc) yield.server_uri = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--quick") {
            settings = {10, 3, 2, 3, 50, 3, 10, 1};
            station = {{1, 2}, 1, station.boot_ms};
            plant.stations = 2;
            plant.ports = 4;
            plant.seconds = 20;
            plant.backlog = 2000;
            yield.rows = 100000;
            yield.runs = 1;
        }
    }
    CameraApplication app(argc, argv);

    Report report;
    report.paragraph(machine_section());
    try {
        if (plant_only) plant_section(report, plant);
        else if (station_only) station_section(report, station);
        else if (yield_only) yield_section(report, yield);
        else window_sections(report, settings);
    } catch (const std::exception& e) {
        std::cerr << "camera-bench: " << e.what() << std::endl;
        std::cout << report.text();
        return 1;
    }
    report.paragraph("Load average at the end: " + load_average() + ".");
    std::cout << report.text();
    if (!report_path.empty()) std::ofstream(report_path) << report.text();
    return 0;
}
