#include "floor_probe.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kUnit = 18;

void wait_readable(int fd)
{
    pollfd entry{fd, POLLIN, 0};
    while (::poll(&entry, 1, -1) < 0) {
    }
}

void read_all(int fd, std::uint8_t* bytes, std::size_t count)
{
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd, bytes + done, count - done);
        if (n > 0) done += static_cast<std::size_t>(n);
        else wait_readable(fd);
    }
}

} // namespace

std::vector<double> pty_round_trips(int count, double rest_ms)
{
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    ::fcntl(slave, F_SETFL, O_NONBLOCK);
    const int hop = ::eventfd(0, 0);
    const int ack = ::eventfd(0, 0);
    std::atomic<bool> stop{false};

    // The watcher: waits for bytes, hands over, waits until the GUI side has handled them.
    std::thread watcher([&] {
        while (!stop) {
            pollfd entry{slave, POLLIN, 0};
            if (::poll(&entry, 1, 50) <= 0) continue;
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto n = ::write(hop, &one, sizeof one);
            std::uint64_t value = 0;
            [[maybe_unused]] const auto m = ::read(ack, &value, sizeof value);
        }
    });
    // The GUI side: woken by the watcher, reads the unit and answers it.
    std::thread gui([&] {
        std::array<std::uint8_t, kUnit> unit{};
        while (true) {
            std::uint64_t value = 0;
            if (::read(hop, &value, sizeof value) != sizeof value || stop) break;
            read_all(slave, unit.data(), unit.size());
            [[maybe_unused]] const auto n = ::write(slave, unit.data(), unit.size());
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto m = ::write(ack, &one, sizeof one);
        }
    });

    std::vector<double> trips;
    std::array<std::uint8_t, kUnit> unit{};
    for (int i = 0; i < count; ++i) {
        if (rest_ms > 0) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(rest_ms));
        const auto start = Clock::now();
        [[maybe_unused]] const auto n = ::write(master, unit.data(), unit.size());
        read_all(master, unit.data(), unit.size());
        trips.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    stop = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(hop, &one, sizeof one);
    gui.join();
    [[maybe_unused]] const auto m = ::write(ack, &one, sizeof one);
    watcher.join();
    ::close(ack);
    ::close(hop);
    ::close(slave);
    ::close(master);
    return trips;
}
