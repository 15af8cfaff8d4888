#pragma once
// The tool's end of a simulator's pseudo-terminal, opened directly: raw writes and reads with a
// deadline, for tests of the simulator itself and for checking that a simulator still answers.

#include "link/frames.h"
#include "sim_camera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

class PtyClient {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Clock = std::chrono::steady_clock;

    // Generous: the suite must pass on a loaded two-core machine under the sanitizers.
    static constexpr std::chrono::seconds kDeadline{10};

    PtyClient() = default;
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;
    ~PtyClient() { close(); }

    bool open(const std::string& path)
    {
        close();
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return fd_ >= 0;
    }
    void close()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }

    // Fails the test when not every byte could be written before the deadline.
    void write_all(const Bytes& bytes) const
    {
        std::size_t done = 0;
        const auto deadline = Clock::now() + kDeadline;
        while (done < bytes.size() && Clock::now() < deadline) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<std::size_t>(n);
            else if (n < 0 && errno == EAGAIN) wait_for(POLLOUT, deadline);
            else if (n < 0 && errno != EINTR) break;
        }
        ASSERT_EQ(done, bytes.size()) << "the simulator's terminal took no more bytes";
    }

    // Exactly `count` bytes, or what arrived before the deadline.
    Bytes read_exact(std::size_t count, Clock::duration timeout = kDeadline) const
    {
        Bytes bytes;
        const auto deadline = Clock::now() + timeout;
        while (bytes.size() < count && wait_for(POLLIN, deadline)) {
            std::uint8_t buffer[256];
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

    // Waits up to `deadline` for the descriptor to become ready.
    bool wait_for(short events, Clock::time_point deadline) const
    {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd pfd{fd_, events, 0};
        return ::poll(&pfd, 1, static_cast<int>(left.count())) > 0;
    }

private:
    int fd_ = -1;
};

// A simulator that leaves a plain read unanswered with no fault injected is broken for every test
// of the program: those fail at once instead of each waiting out its deadlines. It is looked for
// once, on a simulator of its own, before the first test, and again after each failed test.
class SilentSimulatorCheck {
public:
    // At the start of a fixture's SetUp.
    static void fail_if_found_before()
    {
        static const bool silent_at_start = !fresh_simulator_answers();
        if (silent_at_start) found() = true;
        if (found()) FAIL() << "not run: a simulator without faults leaves a plain read unanswered";
    }

    // In a fixture's TearDown after a failed test, with the simulator's faults cleared and its
    // terminal closed by the test's own client.
    static void check(const std::string& slave_path)
    {
        if (found() || slave_path.empty() || answers_a_read(slave_path)) return;
        found() = true;
        ADD_FAILURE() << "the simulator leaves a plain read unanswered: the tests after this one fail at once";
    }

private:
    static bool& found()
    {
        static bool silent = false;
        return silent;
    }

    static bool fresh_simulator_answers()
    {
        sim::SimCamera camera;
        return !camera.start() || answers_a_read(camera.slave_path());
    }

    static bool answers_a_read(const std::string& slave_path)
    {
        frames::Frame read{};
        read[1] = 0x33;
        read[2] = 0x0A;
        read[3] = 0x01;
        frames::complete_command_frame(read, 3, 1);
        PtyClient client;
        if (!client.open(slave_path)) return true; // not a silent simulator: a missing one
        client.write_all(PtyClient::Bytes(read.begin(), read.end()));
        return !client.read_exact(1, std::chrono::seconds(3)).empty();
    }
};
