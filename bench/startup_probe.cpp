#include "startup_probe.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>

#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono;

pid_t spawn_tool()
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char exe[] = CAMERA_ADJUST_EXE;
    char* argv[] = {exe, nullptr};
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, exe, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) throw std::runtime_error("cannot start " CAMERA_ADJUST_EXE);
    return pid;
}

void end_tool(pid_t pid)
{
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// Polls (this thread only; the simulator answers on its own) until the condition holds.
template <class Pred>
bool poll_until(Pred pred, milliseconds limit)
{
    const auto end = steady_clock::now() + limit;
    while (!pred()) {
        if (steady_clock::now() > end) return false;
        std::this_thread::sleep_for(microseconds(200));
    }
    return true;
}

// The load is over once nothing has come in for `quiet`.
void wait_quiet(BenchRig& rig, milliseconds quiet, milliseconds limit)
{
    const auto end = steady_clock::now() + limit;
    std::uint64_t seen = rig.trace.received_total();
    auto last_change = steady_clock::now();
    while (steady_clock::now() < end && steady_clock::now() - last_change < quiet) {
        std::this_thread::sleep_for(milliseconds(20));
        const std::uint64_t now_seen = rig.trace.received_total();
        if (now_seen != seen) {
            seen = now_seen;
            last_change = steady_clock::now();
        }
    }
}

} // namespace

StartupFigures probe_startup(BenchRig& rig, int starts, double idle_seconds)
{
    StartupFigures figures;
    // Each start gets a runtime folder of its own: a killed instance leaves its lock behind.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    for (int i = 0; i < starts; ++i) {
        const QByteArray own = runtime + "/start-" + QByteArray::number(i);
        QDir().mkpath(QString::fromUtf8(own));
        qputenv("XDG_RUNTIME_DIR", own);
        rig.trace.take();
        const std::uint64_t before = rig.trace.received_total();
        const auto started = steady_clock::now();
        const pid_t pid = spawn_tool();
        qputenv("XDG_RUNTIME_DIR", runtime);
        const bool sent = poll_until([&] { return rig.trace.received_total() > before; }, seconds(20));
        if (sent) {
            const std::vector<Stamp> stamps = rig.trace.take();
            for (const Stamp& s : stamps)
                if (s.kind == sim::TraceEvent::Kind::Received) {
                    figures.to_first_command_ms.push_back(duration<double, std::milli>(s.at - started).count());
                    break;
                }
        }
        if (i + 1 == starts && sent) {
            wait_quiet(rig, milliseconds(500), seconds(20));
            figures.load_units = static_cast<int>(rig.trace.received_total() - before);
            figures.rss_after_load_kib = resident_kib(pid);
            const auto t0 = sample_threads(pid);
            std::this_thread::sleep_for(duration<double>(idle_seconds));
            figures.idle_threads = thread_deltas(t0, sample_threads(pid));
            figures.idle_seconds = idle_seconds;
        }
        end_tool(pid);
        rig.camera.clear_received();
    }
    return figures;
}
