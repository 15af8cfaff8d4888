// camera-station: the clone station of a production line.

#include "station/command_line.h"
#include "station/fingerprint.h"
#include "station/plant_commands.h"
#include "station/station_application.h"
#include "station/survey.h"
#include "station/yield_commands.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>

namespace {

using namespace station;

constexpr int kUsageError = 2;

void print_error(const QString& line) { std::fprintf(stderr, "camera-station: %s\n", line.toLocal8Bit().constData()); }

// SIGINT, SIGTERM and SIGHUP (the terminal closed) are blocked before any thread starts and read
// from a signalfd on the main thread, so nothing runs inside a signal handler. SIGPIPE is
// ignored: a reader of the output that goes away must not end the program in the middle of a
// job; the output sees the broken pipe as a failed write and stops the station as Ctrl-C does.
int open_stop_signals()
{
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
    return ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

// The cause a stop by `signal` gives the jobs it cuts short.
QString stop_cause(std::uint32_t signal)
{
    switch (signal) {
    case SIGHUP: return QStringLiteral("the terminal hung up");
    case SIGTERM: return QStringLiteral("terminated");
    default: return QStringLiteral("interrupted");
    }
}

std::unique_ptr<QSocketNotifier> on_stop_signal(int fd, std::function<void(const QString& cause)> stop)
{
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [fd, stop = std::move(stop)] {
        signalfd_siginfo info{};
        std::uint32_t signal = 0;
        while (::read(fd, &info, sizeof info) > 0) signal = info.ssi_signo;
        stop(stop_cause(signal));
    });
    return notifier;
}

// Reads one side of a diff or one input of a survey: a data file, or the memory of the camera on
// port:N, which it waits for as a job without --loop does.
bool read_side(const QString& name, const Options& options, int signal_fd, WordMap& words)
{
    const std::optional<int> port = diff_port(name);
    if (!port) {
        MasterFile file;
        QString error;
        if (!load_master_file(name, file, &error)) {
            print_error(error);
            return false;
        }
        words = file.words;
        return true;
    }
    StationLink link(*port, options.station.camera_id);
    QString error;
    if (!link.open(&error)) {
        print_error(error);
        return false;
    }
    const auto notifier = on_stop_signal(signal_fd, [&link](const QString&) { link.stop(); });
    const int timeout_ms = options.station.job.boot_timeout_ms;
    JobOutcome read;
    if (!wait_until_answering(link, kLastAddress, timeout_ms))
        read = {JobResult::FailLink, link.stopped() ? QStringLiteral("stopped while waiting for a camera")
                                                    : no_camera_reason(link.device(), timeout_ms), {}, {}};
    else
        read = read_memory(link, words, {});
    if (read.result != JobResult::Pass) print_error(QStringLiteral("port %1: %2").arg(*port).arg(read.reason));
    return read.result == JobResult::Pass;
}

// Addresses whose words differ. A camera holds every address; against one, only the addresses
// the file names count, while between two files an address only one of them names differs.
QList<int> diff_addresses(const WordMap& a, const WordMap& b, bool camera_side)
{
    QList<int> differing;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const bool one_unnamed = a[i] == kNotNamed || b[i] == kNotNamed;
        if (a[i] != b[i] && !(one_unnamed && camera_side)) differing.append(static_cast<int>(i));
    }
    return differing;
}

int diff(const Options& options, int signal_fd)
{
    const QString a = options.arguments[0];
    const QString b = options.arguments[1];
    WordMap words_a;
    WordMap words_b;
    if (!read_side(a, options, signal_fd, words_a) || !read_side(b, options, signal_fd, words_b)) return kUsageError;
    const QList<int> differing = diff_addresses(words_a, words_b, diff_port(a) || diff_port(b));
    for (int address : differing)
        std::printf("%s\n", difference_entry(address, words_a, words_b, a, b).toLocal8Bit().constData());
    std::printf("%lld address(es) differ\n", static_cast<long long>(differing.size()));
    return differing.isEmpty() ? 0 : 1;
}

// Why a file cannot be written at `path` (a folder, a FIFO, a folder that takes no file); empty
// when it can be tried.
QString unwritable_reason(const QFileInfo& target)
{
    if (target.isDir()) return QStringLiteral("a folder, not a file");
    if (target.exists() && !target.isFile()) return QStringLiteral("not a regular file (a FIFO, a socket or a device)");
    if (!QFileInfo(target.absolutePath()).isWritable()) return QStringLiteral("cannot write to the folder");
    return {};
}

bool check_output_file(const QString& path)
{
    const QFileInfo target(path);
    const QString why = unwritable_reason(target);
    if (why.isEmpty()) return true;
    print_error(QStringLiteral("%1: %2").arg(target.absoluteFilePath(), why));
    return false;
}

// Adds the keep files to the keep map of the --keep lists.
bool load_keep_files(Options& options)
{
    for (const QString& path : std::as_const(options.keep_files)) {
        QString error;
        if (!load_keep_file(path, options.station.job.keep, &error)) {
            print_error(error);
            return false;
        }
    }
    return true;
}

// The addresses whose words differ between the inputs, and with --keep-out the keep file of them.
// The keep file's place is checked before any camera is read.
int survey(const Options& options, int signal_fd)
{
    if (!options.keep_out.isEmpty() && !check_output_file(options.keep_out)) return kUsageError;
    QList<WordMap> memories;
    for (const QString& input : options.arguments) {
        WordMap words;
        if (!read_side(input, options, signal_fd, words)) return kUsageError;
        memories.append(words);
    }
    const Survey found = survey_words(memories);
    for (const QString& line : survey_report(found)) std::printf("%s\n", line.toLocal8Bit().constData());
    if (options.keep_out.isEmpty()) return 0;
    QString error;
    if (!save_survey_keep_file(options.keep_out, found, options.arguments, &error)) {
        print_error(error);
        return kUsageError;
    }
    std::printf("keep file written: %s\n", QFileInfo(options.keep_out).absoluteFilePath().toLocal8Bit().constData());
    return 0;
}

// Loads the data file (and the keep files) of write and verify, or checks that save can write its
// file.
bool prepare_files(Options& options, MasterFile& file)
{
    if (options.action == Action::Save) {
        if (!check_output_file(options.arguments[0])) return false;
        options.station.job.save_path = QFileInfo(options.arguments[0]).absoluteFilePath();
        return true;
    }
    QString error;
    if (!load_master_file(options.arguments[0], file, &error)) {
        print_error(error);
        return false;
    }
    options.station.job.file = &file;
    return load_keep_files(options);
}

// Who runs the station and where its records go, named in every record.
bool name_the_run(Options& options, const RecordsPlan& plan)
{
    if (plan.require_operator && options.operator_name.trimmed().isEmpty()) {
        print_error(QStringLiteral("no operator named: the station's settings (%1) require one: --operator NAME")
                        .arg(station_config_path()));
        return false;
    }
    StationSettings& s = options.station;
    s.db_path = plan.journal;
    s.forward = plan.server.has_value();
    s.station_name = plan.station_name;
    s.operator_name = options.operator_name.trimmed();
    if (options.retest) s.confirm_retest = [](int, const QString&) { return true; };
    return true;
}

// The database is opened (and the server asked, and the master's approval checked) before any
// camera is touched: without them no record could be kept, or a master not approved written.
int run_station(Options& options, const RecordsPlan& plan, int signal_fd)
{
    MasterFile file;
    if (!name_the_run(options, plan) || !prepare_files(options, file)) return kUsageError;
    const StartCheck check = check_before_run(plan, options.action == Action::Write ? &file : nullptr);
    if (!check.ok) {
        print_error(check.error);
        return kUsageError;
    }
    Output output(options.output, stdout);
    for (const QString& note : check.notes) output.note(0, note);
    Station station(options.station, output);
    RunForwarding forwarding(plan, output);
    output.on_closed([&station](const QString& cause) { station.stop(cause); });
    const auto notifier = on_stop_signal(signal_fd, [&station](const QString& cause) { station.stop(cause); });
    const int status = station.run();
    forwarding.finish();
    if (options.station.loop || options.station.ports.size() > 1)
        output.summary(station.summary());
    else
        output.clear_ports();
    return status;
}

// Commands whose --station picks the jobs to read rather than naming this station.
bool filters_by_station(Action action)
{
    return action == Action::Records || action == Action::Stats || action == Action::Report;
}

// The settings file and the options that override it.
bool plan_from(const Options& options, RecordsPlan& plan)
{
    StationConfig config;
    QString error;
    if (read_station_config(station_config_path(), config, &error)
        && plan_records(config, options.db, filters_by_station(options.action) ? QString() : options.station_name, plan, &error))
        return true;
    print_error(error);
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    const int signal_fd = open_stop_signals();
    // The shift report is painted: it needs a GUI application, and no screen (it shows nothing).
    QStringList words;
    for (int i = 0; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
    const bool paints = command_word(words) == QLatin1String("report");
    if (paints && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (paints)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<StationApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("camera-station"));

    Options options;
    QString message;
    switch (parse_command_line(QCoreApplication::arguments(), options, message)) {
    case ParseResult::Help: std::printf("%s", message.toLocal8Bit().constData()); return 0;
    case ParseResult::UsageError:
        print_error(message + QStringLiteral(" (see --help)"));
        return kUsageError;
    case ParseResult::Run: break;
    }
    if (signal_fd < 0) {
        print_error(QStringLiteral("cannot watch for Ctrl-C (signalfd)"));
        return kUsageError;
    }
    if (options.action == Action::Diff) return diff(options, signal_fd);
    if (options.action == Action::Survey) return survey(options, signal_fd);
    RecordsPlan plan;
    if (!plan_from(options, plan)) return kUsageError;
    switch (options.action) {
    case Action::Records: return list_records(options, plan);
    case Action::Approve: return approve_master(options, plan);
    case Action::Approved: return list_approvals(options, plan);
    case Action::Stats: return show_stats(options, plan);
    case Action::History: return show_history(options, plan);
    case Action::Report: return write_report(options, plan);
    default: return run_station(options, plan, signal_fd);
    }
}
