// camera-sim: a simulated camera on a pseudo-terminal, published as port COM<N> for the tool.
// Prints every unit received and every answer in hex trace form; removes its link on exit. The
// camera can be unplugged and another one plugged in, on command (standard input, SIGUSR1) or on a
// schedule, to try a production line without cameras. With --product the cameras are units of one
// product, alike but for a few words each unit has of its own.

#include "comm/port_naming.h"
#include "link/hex_text.h"
#include "sim_camera.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int port = 1;
    bool pal = false;
    bool pacing = false;
    bool external_sync = true;
    std::uint32_t seed = 0;
    int boot_ms = 1500; // a camera restarts for a moment, as a real one does
    int reset_late_ms = 0;
    bool reset_ignored = false;
    bool swap_on_reset = false;
    double lost_reads = 0;
    std::uint32_t loss_seed = 1;
    std::optional<Clock::duration> replug_every; // how long each camera stays plugged in
    int away_ms = 1000;
    std::optional<int> unwritten_word;
    std::optional<std::uint32_t> product;
    std::optional<std::pair<int, int>> own_words;
};

// The words each unit of a product has of its own when --own-words is not given.
constexpr std::pair<int, int> kDefaultOwnWords{0x100, 0x11F};

void print_usage(std::FILE* out)
{
    std::fprintf(out,
                 "Usage: camera-sim [--port N] [--seed N] [--pal] [--pace] [--no-ext-sync]\n"
                 "                  [--boot-ms N] [--replug-every S [--away-ms N]]\n"
                 "                  [--unwritten-word ADDR] [--reset-late-ms N] [--ignore-reset]\n"
                 "                  [--swap-on-reset] [--lose-reads F [--loss-seed N]]\n"
                 "                  [--product P [--own-words RANGE]] [--help]\n"
                 "Simulates the camera on a pseudo-terminal and links it as port COM<N> in\n"
                 "$XDG_CONFIG_HOME/camera-adjust/ports (default port 1), where the tool looks.\n"
                 "Run one simulator per port to serve several ports.\n"
                 "  --port N  publish as COM<N> (1..99)\n"
                 "  --seed N  another camera: parameter memory filled from seed N and title\n"
                 "            CAM<N> (0..4294967295; default 0, the built-in image, \"CAM 1\")\n"
                 "  --pal     start with the PAL TV system instead of NTSC\n"
                 "  --pace    send answers at the pace of 19200 baud\n"
                 "  --no-ext-sync  a camera without an external sync input (refuses EXT)\n"
                 "  --boot-ms N    after a reset (and when plugged in) answer nothing for N ms,\n"
                 "                 dropping what arrives, as a camera restarting (default 1500)\n"
                 "  --replug-every S  each camera stays plugged in S seconds (decimals allowed),\n"
                 "                 then is away for --away-ms, then the next seed is plugged in\n"
                 "  --away-ms N    how long the camera stays unplugged (default 1000)\n"
                 "  --unwritten-word ADDR  fault: the parameter block and the EEPROM word writes\n"
                 "                 are acknowledged but leave word ADDR (0..1023 or 0x0..0x3FF)\n"
                 "                 as it was, in every camera plugged in\n"
                 "  --reset-late-ms N  fault: go on answering for N ms after the reset command,\n"
                 "                 then restart\n"
                 "  --ignore-reset fault: never restart on the reset command, answer on\n"
                 "  --swap-on-reset  another camera comes in at each reset while it restarts: the\n"
                 "                 next seed, holding the same parameter memory but its own last\n"
                 "                 word (address 1023) and title\n"
                 "  --lose-reads F fault: withhold the answers to the fraction F (0..1, e.g. 0.33)\n"
                 "                 of the read commands, chosen from --loss-seed N (default 1)\n"
                 "  --product P  units of one product: every camera holds the memory of product\n"
                 "                 P (what --seed P gives) except its own words, which come\n"
                 "                 from its own seed (--seed, 'plug SEED'): the seed is the unit\n"
                 "  --own-words RANGE  the words each unit has of its own, FIRST-LAST or one\n"
                 "                 address (0..1023 or 0x0..0x3FF; default 0x100-0x11F)\n"
                 "  --help    show this text\n"
                 "Lines on standard input: 'unplug', 'plug' (the next seed) or 'plug SEED'.\n"
                 "SIGUSR1 unplugs the camera, or plugs in the next seed when it is unplugged.\n"
                 "While unplugged the simulator reads and drops everything and answers nothing.\n"
                 "Lines: '<- ' received from the tool, '-> ' answered, 'x- ' ignored while\n"
                 "booting or unplugged. Ctrl+C ends.\n");
}

// A whole unsigned number no greater than `max`: decimal, or hexadecimal after 0x when allowed.
std::optional<unsigned long long> parse_unsigned(const char* text, unsigned long long max,
                                                 bool hex_allowed = false)
{
    const bool hex = hex_allowed && (std::strncmp(text, "0x", 2) == 0 || std::strncmp(text, "0X", 2) == 0);
    const char* digits = hex ? text + 2 : text;
    if (!std::isxdigit(static_cast<unsigned char>(*digits))) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(digits, &end, hex ? 16 : 10);
    if (*end != '\0' || errno == ERANGE || value > max) return std::nullopt;
    return value;
}

// "FIRST-LAST" or one address, each 0..1023 or 0x0..0x3FF, FIRST not above LAST.
std::optional<std::pair<int, int>> parse_word_range(const char* text)
{
    const std::string range = text;
    const std::size_t dash = range.find('-');
    const std::string first_text = range.substr(0, dash);
    const std::string last_text = dash == std::string::npos ? first_text : range.substr(dash + 1);
    const auto first = parse_unsigned(first_text.c_str(), sim::kParamWords - 1, true);
    const auto last = parse_unsigned(last_text.c_str(), sim::kParamWords - 1, true);
    if (!first || !last || *first > *last) return std::nullopt;
    return std::pair<int, int>(static_cast<int>(*first), static_cast<int>(*last));
}

// Seconds with an optional fraction, more than zero.
std::optional<Clock::duration> parse_seconds(const char* text)
{
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno == ERANGE || !(seconds > 0) || seconds > 1e6) return std::nullopt;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// A fraction 0..1.
std::optional<double> parse_fraction(const char* text)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno == ERANGE || !(value >= 0) || value > 1) return std::nullopt;
    return value;
}

// Reads the value of the option at argv[i] into `target`; false (exit status 2) when it is bad.
template <class T, class Parse>
bool take_value(int argc, char** argv, int& i, T& target, Parse parse)
{
    const char* option = argv[i];
    if (i + 1 >= argc) {
        std::fprintf(stderr, "camera-sim: %s needs a value\n", option);
        return false;
    }
    const auto value = parse(argv[++i]);
    if (!value) {
        std::fprintf(stderr, "camera-sim: bad value '%s' for %s\n", argv[i], option);
        return false;
    }
    target = static_cast<T>(*value);
    return true;
}

// Returns false when the program should end with `exit_code`.
bool parse_options(int argc, char** argv, Options& options, int& exit_code)
{
    const auto number = [](unsigned long long min, unsigned long long max, bool hex = false) {
        return [=](const char* text) {
            const auto value = parse_unsigned(text, max, hex);
            return value && *value >= min ? value : std::nullopt;
        };
    };
    exit_code = 2;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            print_usage(stdout);
            exit_code = EXIT_SUCCESS;
            return false;
        }
        if (arg == "--pal") options.pal = true;
        else if (arg == "--pace") options.pacing = true;
        else if (arg == "--no-ext-sync") options.external_sync = false;
        else if (arg == "--port") ok = take_value(argc, argv, i, options.port, number(1, 99));
        else if (arg == "--seed") ok = take_value(argc, argv, i, options.seed, number(0, 0xFFFFFFFFull));
        else if (arg == "--boot-ms") ok = take_value(argc, argv, i, options.boot_ms, number(0, 3'600'000));
        else if (arg == "--away-ms") ok = take_value(argc, argv, i, options.away_ms, number(0, 3'600'000));
        else if (arg == "--replug-every") ok = take_value(argc, argv, i, options.replug_every, parse_seconds);
        else if (arg == "--reset-late-ms") ok = take_value(argc, argv, i, options.reset_late_ms, number(0, 3'600'000));
        else if (arg == "--ignore-reset") options.reset_ignored = true;
        else if (arg == "--swap-on-reset") options.swap_on_reset = true;
        else if (arg == "--lose-reads") ok = take_value(argc, argv, i, options.lost_reads, parse_fraction);
        else if (arg == "--loss-seed") ok = take_value(argc, argv, i, options.loss_seed, number(0, 0xFFFFFFFFull));
        else if (arg == "--unwritten-word")
            ok = take_value(argc, argv, i, options.unwritten_word, number(0, sim::kParamWords - 1, true));
        else if (arg == "--product") ok = take_value(argc, argv, i, options.product, number(0, 0xFFFFFFFFull));
        else if (arg == "--own-words") ok = take_value(argc, argv, i, options.own_words, parse_word_range);
        else {
            std::fprintf(stderr, "camera-sim: unknown argument '%s'\n", arg.c_str());
            print_usage(stderr);
            return false;
        }
        if (!ok) return false;
    }
    if (options.own_words && !options.product) {
        std::fprintf(stderr, "camera-sim: --own-words goes with --product\n");
        return false;
    }
    exit_code = EXIT_SUCCESS;
    return true;
}

std::string trace_text(const sim::Bytes& bytes)
{
    return hex_trace(bytes.data(), bytes.size()).toStdString();
}

// `camera` tells why bytes were ignored; the trace runs on the simulator's thread.
void print_event(const sim::SimCamera& camera, const sim::TraceEvent& event)
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
        std::printf("x- %s  (%s)\n", trace_text(event.bytes).c_str(),
                    camera.plugged_in() ? "booting" : "unplugged");
        break;
    }
    std::fflush(stdout);
}

// With --product, the camera and every one plugged in after it are units of that product.
void make_units_of_product(sim::CameraModel& model, const Options& options)
{
    if (!options.product) return;
    const auto [first, last] = options.own_words.value_or(kDefaultOwnWords);
    model.set_product(sim::CameraModel::Product{*options.product, static_cast<std::size_t>(first),
                                                static_cast<std::size_t>(last)});
    std::printf("camera-sim: units of product %u with own words 0x%03X-0x%03X; the seed chooses the unit\n", *options.product,
                static_cast<unsigned>(first), static_cast<unsigned>(last));
}

// Plugs cameras in and out: on command, and on the schedule of --replug-every.
class PlugControl {
public:
    PlugControl(sim::SimCamera& camera, const Options& options)
        : camera_(camera), seed_(options.seed), plugged_for_(options.replug_every),
          away_for_(std::chrono::milliseconds(options.away_ms)), changed_at_(Clock::now())
    {
    }

    void unplug()
    {
        camera_.unplug();
        changed_at_ = Clock::now();
        say("camera-sim: unplugged");
    }

    // No seed: the one after the last camera's.
    void plug(std::optional<std::uint32_t> seed = std::nullopt)
    {
        seed_ = seed.value_or(seed_ + 1);
        camera_.plug_in(seed_);
        changed_at_ = Clock::now();
        say("camera-sim: plugged in as seed " + std::to_string(seed_));
    }

    void toggle()
    {
        if (camera_.plugged_in()) unplug();
        else plug();
    }

    // When the schedule changes the camera next; nullopt without a schedule.
    std::optional<Clock::time_point> next_change() const
    {
        if (!plugged_for_) return std::nullopt;
        return changed_at_ + (camera_.plugged_in() ? *plugged_for_ : away_for_);
    }

    void on_schedule()
    {
        const auto due = next_change();
        if (due && Clock::now() >= *due) toggle();
    }

    // One line typed on standard input.
    void command(const std::string& line)
    {
        std::istringstream words(line);
        std::string verb;
        std::string seed_text;
        words >> verb >> seed_text;
        const auto seed = parse_unsigned(seed_text.c_str(), 0xFFFFFFFFull);
        if (verb == "unplug" && seed_text.empty()) unplug();
        else if (verb == "plug" && seed_text.empty()) plug();
        else if (verb == "plug" && seed) plug(static_cast<std::uint32_t>(*seed));
        else if (!verb.empty())
            std::fprintf(stderr, "camera-sim: unknown command '%s' (unplug, plug [SEED])\n", line.c_str());
    }

private:
    static void say(const std::string& text)
    {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }

    sim::SimCamera& camera_;
    std::uint32_t seed_;
    std::optional<Clock::duration> plugged_for_;
    Clock::duration away_for_;
    Clock::time_point changed_at_;
};

// Signals are taken from a signalfd, so nothing runs inside a signal handler.
int open_signals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&set, signo);
    if (::pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
    return ::signalfd(-1, &set, SFD_CLOEXEC);
}

int take_signal(int fd)
{
    signalfd_siginfo info{};
    while (::read(fd, &info, sizeof info) < 0 && errno == EINTR) {
    }
    return static_cast<int>(info.ssi_signo);
}

// Complete lines read from standard input; false at its end.
bool read_command_lines(std::string& pending, std::vector<std::string>& lines)
{
    std::array<char, 512> buffer{};
    const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    pending.append(buffer.data(), static_cast<std::size_t>(n));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
        lines.push_back(pending.substr(0, end));
    return n > 0;
}

int poll_timeout_ms(std::optional<Clock::time_point> due)
{
    if (!due) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now());
    return static_cast<int>(std::max<long long>(left.count(), 0));
}

// Serves commands, the schedule and SIGUSR1 until an ending signal; returns that signal.
int serve(int signal_fd, PlugControl& plugs)
{
    bool stdin_open = true;
    std::string pending;
    for (;;) {
        std::array<pollfd, 2> fds{{{signal_fd, POLLIN, 0}, {stdin_open ? STDIN_FILENO : -1, POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), poll_timeout_ms(plugs.next_change())) < 0 && errno != EINTR)
            return SIGTERM;
        if (fds[0].revents & POLLIN) {
            const int signo = take_signal(signal_fd);
            if (signo != SIGUSR1) return signo;
            plugs.toggle();
        }
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            std::vector<std::string> lines;
            stdin_open = read_command_lines(pending, lines);
            for (const std::string& line : lines) plugs.command(line);
        }
        plugs.on_schedule();
    }
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    int exit_code = EXIT_SUCCESS;
    if (!parse_options(argc, argv, options, exit_code)) return exit_code;

    // Blocked before any thread starts, so every thread leaves them to the signalfd.
    const int signal_fd = open_signals();
    if (signal_fd < 0) {
        std::perror("camera-sim: signalfd");
        return EXIT_FAILURE;
    }
    // Started in the background of a terminal, reading standard input fails instead of stopping.
    std::signal(SIGTTIN, SIG_IGN);
    QCoreApplication app(argc, argv);

    sim::SimCamera camera;
    camera.with_model([&](sim::CameraModel& model) {
        model.set_seed(options.seed);
        make_units_of_product(model, options);
        model.set_pal(options.pal);
        model.setup().set_external_sync_input(options.external_sync);
    });
    camera.set_unwritten_word(options.unwritten_word);
    camera.set_boot_ms(options.boot_ms);
    camera.set_reset_delay_ms(options.reset_late_ms);
    camera.set_reset_ignored(options.reset_ignored);
    camera.set_swap_on_reset(options.swap_on_reset);
    camera.set_lost_reads(options.lost_reads, options.loss_seed);
    camera.set_baud_pacing(options.pacing);
    camera.set_trace([&camera](const sim::TraceEvent& event) { print_event(camera, event); });
    if (!camera.start()) {
        std::perror("camera-sim: cannot open a pseudo-terminal");
        return EXIT_FAILURE;
    }
    const std::string link = port_link_path(options.port).toStdString();
    if (!camera.publish_as_port(options.port)) {
        std::fprintf(stderr, "camera-sim: cannot create the link %s\n", link.c_str());
        return EXIT_FAILURE;
    }
    std::printf("camera-sim: COM%d is %s -> %s (%s, seed %u)\n", options.port, link.c_str(),
                camera.slave_path().c_str(), options.pal ? "PAL" : "NTSC", options.seed);
    if (options.unwritten_word)
        std::printf("camera-sim: fault: word %d (0x%03X) does not take writes\n", *options.unwritten_word,
                    static_cast<unsigned>(*options.unwritten_word));
    std::fflush(stdout);

    PlugControl plugs(camera, options);
    const int signo = serve(signal_fd, plugs);
    camera.stop(); // removes the link
    ::close(signal_fd);
    std::printf("camera-sim: stopped (%s), link removed\n", strsignal(signo));
    return EXIT_SUCCESS;
}
