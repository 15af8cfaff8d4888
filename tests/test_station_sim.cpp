// The simulator as a production line sees it: a camera that boots after a reset or when plugged
// in, cameras unplugged and replaced by others, and a memory word that does not take writes. Talks
// to the simulator over its pseudo-terminal with plain reads and writes.

#include "link/frames.h"
#include "sim_camera.h"
#include "support/pty_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using sim::Bytes;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kDeadline = PtyClient::kDeadline;
// How long a camera that should stay silent is given to answer after all.
constexpr auto kSilenceWindow = 300ms;

Bytes command(std::initializer_list<std::uint8_t> body)
{
    frames::Frame frame{};
    std::copy(body.begin(), body.end(), frame.begin() + 1);
    frames::complete_command_frame(frame, static_cast<int>(body.size()), 1);
    return Bytes(frame.begin(), frame.end());
}

Bytes eeprom_read(int address)
{
    return command({0x33, 0x0C, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)});
}

Bytes eeprom_write(int address, std::uint16_t word)
{
    return command({0x23, 0x0C, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
                    static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)});
}

// Every word of the block = `word`.
Bytes parameter_block(std::uint16_t word)
{
    frames::ParamImage image{};
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = i % 2 == 0 ? word & 0xFF : word >> 8;
    frames::SohBlock block{};
    frames::build_soh_block(image, block);
    return Bytes(block.begin(), block.end());
}

const Bytes kProbe = command({0x33, 0x0A, 0x01});
const Bytes kReset = command({0xF3});

class StationSimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(camera.start());
        ASSERT_TRUE(line.open(camera.slave_path())) << camera.slave_path();
    }

    void send(const Bytes& bytes) const { line.write_all(bytes); }

    // `count` bytes, or what arrived within `timeout`.
    Bytes receive(std::size_t count, Clock::duration timeout = kDeadline) const { return line.read_exact(count, timeout); }

    Bytes exchange(const Bytes& unit, std::size_t answer_size = frames::kFrameSize)
    {
        send(unit);
        return receive(answer_size);
    }

    bool stays_silent_to(const Bytes& unit)
    {
        send(unit);
        return receive(1, kSilenceWindow).empty();
    }

    std::uint16_t word_read_back(int address)
    {
        const Bytes reply = exchange(eeprom_read(address));
        EXPECT_EQ(reply.size(), frames::kFrameSize) << "no answer to the read of word " << address;
        if (reply.size() != frames::kFrameSize) return 0;
        EXPECT_EQ(reply[1], frames::kReplyAccepted);
        EXPECT_EQ((reply[3] << 8 | reply[4]), address) << "the reply names another address";
        return static_cast<std::uint16_t>(reply[5] << 8 | reply[6]);
    }

    // Title block 0: the first five characters as on-screen codes.
    Bytes title_start()
    {
        const Bytes reply = exchange(command({0x33, 0x10, 0x01, 0x00}));
        return reply.size() == frames::kFrameSize ? Bytes(reply.begin() + 5, reply.begin() + 15) : reply;
    }

    sim::SimCamera camera;
    PtyClient line;
};

TEST_F(StationSimTest, BootingCameraDropsWhatItHearsThenAnswersAgain)
{
    constexpr auto kBoot = 400ms;
    camera.set_boot_ms(static_cast<int>(std::chrono::milliseconds(kBoot).count()));
    send(eeprom_write(0x200, 0xBEEF));
    ASSERT_EQ(receive(frames::kFrameSize).size(), frames::kFrameSize);

    struct Case {
        const char* name;
        std::function<void()> restart;
        bool keeps_memory;
    };
    const Case cases[] = {
        {"reset command", [&] { send(kReset); }, true},
        {"plugged in", [&] { camera.plug_in(0); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        camera.clear_received();
        const auto restarted = Clock::now();
        c.restart();
        // Probe until the camera answers; the probes it drops while booting leave no trace.
        Bytes answer;
        const auto deadline = restarted + kDeadline;
        while (answer.empty() && Clock::now() < deadline) {
            send(kProbe);
            answer = receive(frames::kFrameSize, 50ms);
        }
        ASSERT_EQ(answer.size(), frames::kFrameSize) << "the camera never answered again";
        EXPECT_GE(Clock::now() - restarted, kBoot);
        const std::vector<Bytes> received = camera.received();
        EXPECT_EQ(std::count(received.begin(), received.end(), kProbe), 1) << "probes taken while booting";
        EXPECT_EQ(word_read_back(0x200) == 0xBEEF, c.keeps_memory);
    }
}

TEST_F(StationSimTest, ResetActedOnLateIgnoredOrWithAnotherCameraComingBack)
{
    camera.set_boot_ms(400);
    const auto answers_probe = [&] {
        send(kProbe);
        return receive(frames::kFrameSize, 100ms).size() == frames::kFrameSize;
    };
    struct Case {
        const char* name;
        std::function<void()> set_up;
        bool answers_at_once;
        bool goes_silent;
        bool another_camera;
    };
    const Case cases[] = {
        {"late", [&] { camera.set_reset_delay_ms(250); }, true, true, false},
        {"ignored", [&] { camera.set_reset_ignored(true); }, true, false, false},
        {"swapped", [&] { camera.set_swap_on_reset(true); }, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.set_up();
        const std::uint16_t own = word_read_back(0x3FF);
        const std::uint16_t shared = word_read_back(0x200);
        const Bytes title = title_start();
        send(kReset);
        EXPECT_EQ(answers_probe(), c.answers_at_once);
        // Probes until it answers after a silence, or for longer than the delay and the boot.
        bool silent = false;
        const auto give_up = Clock::now() + 1500ms;
        while (Clock::now() < give_up) {
            const bool answered = answers_probe();
            if (answered && silent) break;
            silent = silent || !answered;
        }
        EXPECT_EQ(silent, c.goes_silent);
        EXPECT_EQ(word_read_back(0x3FF) != own, c.another_camera);
        EXPECT_EQ(title_start() != title, c.another_camera);
        EXPECT_EQ(word_read_back(0x200), shared) << "the camera that comes back holds the same memory";
        camera.set_reset_delay_ms(0);
        camera.set_reset_ignored(false);
        camera.set_swap_on_reset(false);
    }
}

TEST_F(StationSimTest, LostReadsFollowTheirSeedAndSpareWrites)
{
    const auto pattern = [&](std::uint32_t seed) {
        camera.set_lost_reads(0.5, seed);
        std::string answered;
        for (int i = 0; i < 12; ++i) {
            send(kProbe);
            answered += receive(frames::kFrameSize, 150ms).empty() ? 'x' : '.';
        }
        return answered;
    };
    // std::minstd_rand from seed 23: the station's loop test counts on this run.
    EXPECT_EQ(pattern(23), "x...xx.xxxx.");
    EXPECT_EQ(pattern(23), "x...xx.xxxx.");
    camera.set_lost_reads(1, 1);
    EXPECT_EQ(exchange(eeprom_write(0x200, 0x1234)).size(), frames::kFrameSize) << "a write was lost";
    EXPECT_TRUE(stays_silent_to(kProbe));
}

TEST_F(StationSimTest, UnpluggedCameraIsSilentAndTheNextOneHasItsOwnMemoryAndTitle)
{
    const std::uint16_t first_word = word_read_back(0x80);
    const Bytes first_title = title_start();
    ASSERT_TRUE(camera.plugged_in());

    camera.unplug();
    EXPECT_FALSE(camera.plugged_in());
    camera.clear_received();
    EXPECT_TRUE(stays_silent_to(kProbe));
    EXPECT_EQ(camera.received_count(), 0u);

    camera.plug_in(7);
    EXPECT_TRUE(camera.plugged_in());
    EXPECT_EQ(exchange(kProbe).size(), frames::kFrameSize);
    EXPECT_NE(word_read_back(0x80), first_word);
    // "CAM7" instead of "CAM 1".
    EXPECT_NE(title_start(), first_title);
    EXPECT_EQ(title_start(), (Bytes{0x00, 0x0C, 0x00, 0x0A, 0x00, 0x16, 0x00, 0x07, 0x00, 0xFD}));
}

TEST_F(StationSimTest, UnwrittenWordKeepsItsValueWhileItsNeighboursAreWritten)
{
    constexpr int kStuck = 0x123;
    camera.set_unwritten_word(kStuck);
    const Bytes accepted_block{frames::SOH, frames::kReplyAccepted, 0x00, frames::ETX, 0x5C};

    const auto block = [&](std::uint16_t word) { EXPECT_EQ(exchange(parameter_block(word), 5), accepted_block); };
    const auto single_writes = [&](std::uint16_t word) {
        for (int address : {kStuck - 1, kStuck, kStuck + 1})
            EXPECT_EQ(exchange(eeprom_write(address, word))[1], frames::kReplyAccepted);
    };
    struct Case {
        const char* name;
        bool next_camera; // the fault stays with the simulator, for every camera plugged in
        std::function<void(std::uint16_t)> write;
    };
    const Case cases[] = {
        {"block", false, block},
        {"single writes", false, single_writes},
        {"block into the next camera", true, block},
    };
    std::uint16_t word = 0x0A00;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.next_camera) camera.plug_in(9);
        const std::uint16_t before = word_read_back(kStuck);
        c.write(++word);
        EXPECT_EQ(word_read_back(kStuck - 1), word);
        EXPECT_EQ(word_read_back(kStuck), before);
        EXPECT_EQ(word_read_back(kStuck + 1), word);
    }
}

} // namespace
