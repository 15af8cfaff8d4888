#pragma once
// Child processes of the benchmark (the station, the simulators) and waiting for what they print,
// without sleeping or polling: the event loop runs until a condition holds.

#include "process_probe.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <vector>

namespace bench_child {

using Clock = std::chrono::steady_clock;
constexpr int kStartDeadlineMs = 10000;

// Runs the event loop until done() holds or timeout_ms passed. done() is looked at whenever a
// child process has new output or ends (they call nudge()), so nothing sleeps or polls.
class Waiting {
public:
    static bool until(const std::function<bool()>& done, int timeout_ms)
    {
        if (done()) return true;
        QEventLoop loop;
        QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
        loop_ = &loop;
        done_ = done;
        loop.exec();
        loop_ = nullptr;
        done_ = nullptr;
        return done();
    }
    static void nudge()
    {
        if (loop_ && done_ && done_()) loop_->quit();
    }

private:
    static inline QEventLoop* loop_ = nullptr;
    static inline std::function<bool()> done_;
};

// A child process whose standard output lines are kept with the moment they were read.
class Child {
public:
    struct Line {
        Clock::time_point at;
        QByteArray text;
    };

    Child(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
          bool sample_cpu = false)
        : sample_cpu_(sample_cpu)
    {
        process_.setProcessEnvironment(environment);
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { take_output(); });
        QObject::connect(&process_, &QProcess::readyReadStandardError,
                         [this] { errors += process_.readAllStandardError(); });
        QObject::connect(&process_, &QProcess::finished, [] { Waiting::nudge(); });
        started = Clock::now();
        process_.start(program, arguments);
        if (!process_.waitForStarted(kStartDeadlineMs))
            throw std::runtime_error("cannot start " + program.toStdString());
    }
    ~Child()
    {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(kStartDeadlineMs)) process_.kill();
        process_.waitForFinished(kStartDeadlineMs);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool ended() const { return process_.state() == QProcess::NotRunning; }
    // Asks it to end (SIGTERM), as Ctrl-C or a shutdown would.
    void terminate() { process_.terminate(); }
    int exit_code() const
    {
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    pid_t pid() const { return static_cast<pid_t>(process_.processId()); }
    bool printed(const QByteArray& start) const
    {
        for (const Line& line : lines)
            if (line.text.startsWith(start)) return true;
        return false;
    }
    // CPU time of all its threads so far, in ms; 0 once it has ended.
    double cpu_ms() const
    {
        double ms = 0;
        for (const ThreadSample& t : sample_threads(pid())) ms += static_cast<double>(t.cpu_ns) / 1e6;
        return ms;
    }

    Clock::time_point started;
    std::vector<Line> lines;
    QByteArray errors;
    double last_cpu_ms = 0; // sampled at its last output, while it still ran

private:
    void take_output()
    {
        const Clock::time_point now = Clock::now();
        while (process_.canReadLine()) lines.push_back({now, process_.readLine().trimmed()});
        if (sample_cpu_) last_cpu_ms = std::max(last_cpu_ms, cpu_ms());
        Waiting::nudge();
    }

    QProcess process_;
    bool sample_cpu_;
};

// The folders a station or a simulator finds its port links, runtime files and records in, made
// under `base`, and an environment that points it there.
struct XdgFolders {
    QString config, data, runtime;
    explicit XdgFolders(const QString& base)
        : config(base + QStringLiteral("/config")), data(base + QStringLiteral("/data")),
          runtime(base + QStringLiteral("/runtime"))
    {
        for (const QString& dir : {config, data, runtime}) QDir().mkpath(dir);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.insert(QStringLiteral("XDG_DATA_HOME"), data);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        return env;
    }
};

} // namespace bench_child
