// camera-sim: a simulated camera on a pseudo-terminal, published as port COM<N> for the tool.
// Prints every unit received and every answer in hex trace form; removes its link on exit.

#include "comm/port_naming.h"
#include "link/hex_text.h"
#include "sim_camera.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

struct Options {
    int port = 1;
    bool pal = false;
    bool pacing = false;
    bool external_sync = true;
    std::uint32_t seed = 0;
};

void print_usage(std::FILE* out)
{
    std::fprintf(out,
                 "Usage: camera-sim [--port N] [--seed N] [--pal] [--pace] [--no-ext-sync] [--help]\n"
                 "Simulates the camera on a pseudo-terminal and links it as port COM<N> in\n"
                 "$XDG_CONFIG_HOME/camera-adjust/ports (default port 1), where the tool looks.\n"
                 "  --port N  publish as COM<N> (1..99)\n"
                 "  --seed N  another camera: parameter memory filled from seed N (0..4294967295;\n"
                 "            default 0, the built-in image)\n"
                 "  --pal     start with the PAL TV system instead of NTSC\n"
                 "  --pace    send answers at the pace of 19200 baud\n"
                 "  --no-ext-sync  a camera without an external sync input (refuses EXT)\n"
                 "  --help    show this text\n"
                 "Lines: '<- ' received from the tool, '-> ' answered. Ctrl+C ends.\n");
}

// Returns false when the program should end with `exit_code`.
bool parse_options(int argc, char** argv, Options& options, int& exit_code)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            print_usage(stdout);
            exit_code = EXIT_SUCCESS;
            return false;
        }
        if (arg == "--pal") {
            options.pal = true;
        } else if (arg == "--pace") {
            options.pacing = true;
        } else if (arg == "--no-ext-sync") {
            options.external_sync = false;
        } else if (arg == "--port" && i + 1 < argc) {
            char* end = nullptr;
            const long port = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || port < 1 || port > 99) {
                std::fprintf(stderr, "camera-sim: bad port '%s'\n", argv[i]);
                exit_code = 2;
                return false;
            }
            options.port = static_cast<int>(port);
        } else if (arg == "--seed" && i + 1 < argc) {
            char* end = nullptr;
            errno = 0;
            const unsigned long long seed = std::strtoull(argv[++i], &end, 10);
            if (*argv[i] == '\0' || *argv[i] == '-' || *end != '\0' || errno == ERANGE || seed > 0xFFFFFFFFull) {
                std::fprintf(stderr, "camera-sim: bad seed '%s'\n", argv[i]);
                exit_code = 2;
                return false;
            }
            options.seed = static_cast<std::uint32_t>(seed);
        } else {
            std::fprintf(stderr, "camera-sim: unknown argument '%s'\n", arg.c_str());
            print_usage(stderr);
            exit_code = 2;
            return false;
        }
    }
    return true;
}

std::string trace_text(const sim::Bytes& bytes)
{
    return hex_trace(bytes.data(), bytes.size()).toStdString();
}

void print_event(const sim::TraceEvent& event)
{
    using Kind = sim::TraceEvent::Kind;
    const char* fault = event.fault == sim::Fault::None ? "" : sim::fault_name(event.fault);
    switch (event.kind) {
    case Kind::Received:
        std::printf("<- %s\n", trace_text(event.bytes).c_str());
        break;
    case Kind::Sent:
        std::printf("-> %s%s%s\n", trace_text(event.bytes).c_str(), *fault ? "  fault: " : "", fault);
        break;
    case Kind::Withheld:
        std::printf("-- no answer (fault: %s)\n", fault);
        break;
    case Kind::Dropped:
        std::printf("!! %zu byte(s) dropped: no frame\n", event.dropped);
        break;
    case Kind::Ignored:
        std::printf("x- %s  (not listening)\n", trace_text(event.bytes).c_str());
        break;
    }
    std::fflush(stdout);
}

// Signals are taken from a signalfd, so nothing runs inside a signal handler.
int open_exit_signals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
    return ::signalfd(-1, &set, SFD_CLOEXEC);
}

int wait_for_exit_signal(int fd)
{
    signalfd_siginfo info{};
    while (::read(fd, &info, sizeof info) < 0 && errno == EINTR) {
    }
    return static_cast<int>(info.ssi_signo);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    int exit_code = EXIT_SUCCESS;
    if (!parse_options(argc, argv, options, exit_code)) return exit_code;

    // Blocked before any thread starts, so every thread leaves them to the signalfd.
    const int signal_fd = open_exit_signals();
    if (signal_fd < 0) {
        std::perror("camera-sim: signalfd");
        return EXIT_FAILURE;
    }
    QCoreApplication app(argc, argv);

    sim::SimCamera camera;
    camera.with_model([&](sim::CameraModel& model) {
        model.set_seed(options.seed);
        model.set_pal(options.pal);
        model.setup().set_external_sync_input(options.external_sync);
    });
    camera.set_baud_pacing(options.pacing);
    camera.set_trace(print_event);
    if (!camera.start()) {
        std::perror("camera-sim: cannot open a pseudo-terminal");
        return EXIT_FAILURE;
    }
    const std::string link = port_link_path(options.port).toStdString();
    if (!camera.publish_as_port(options.port)) {
        std::fprintf(stderr, "camera-sim: cannot create the link %s\n", link.c_str());
        return EXIT_FAILURE;
    }
    std::printf("camera-sim: COM%d is %s -> %s (%s)\n", options.port, link.c_str(),
                camera.slave_path().c_str(), options.pal ? "PAL" : "NTSC");
    std::fflush(stdout);

    const int signo = wait_for_exit_signal(signal_fd);
    camera.stop(); // removes the link
    ::close(signal_fd);
    std::printf("camera-sim: stopped (%s), link removed\n", strsignal(signo));
    return EXIT_SUCCESS;
}
