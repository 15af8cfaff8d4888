// The camera simulator: the model's answers byte for byte, the frame reader, and the pseudo-terminal
// endpoint with its fault modes, as a client of the slave side sees them.

#include "comm/port_naming.h"
#include "link/frames.h"
#include "sim_camera.h"
#include "support/private_folder.h"
#include "support/pty_client.h"

#include <QByteArray>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <numeric>
#include <optional>
#include <sys/ioctl.h>

using namespace std::chrono_literals;
using sim::Bytes;
using sim::Fault;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kDeadline = PtyClient::kDeadline;

// An 18-byte command frame: body = bytes 1..N, then zeros, the camera ID, ETX and checksum.
Bytes command(std::initializer_list<std::uint8_t> body, std::uint8_t id = 1)
{
    frames::Frame frame{};
    std::copy(body.begin(), body.end(), frame.begin() + 1);
    frames::complete_command_frame(frame, static_cast<int>(body.size()), id);
    return Bytes(frame.begin(), frame.end());
}

Bytes parameter_block(const std::function<std::uint8_t(std::size_t)>& data_byte)
{
    frames::ParamImage image{};
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = data_byte(i);
    frames::SohBlock block{};
    frames::build_soh_block(image, block);
    return Bytes(block.begin(), block.end());
}

// Byte `i` of an answer, or -1 when the answer is shorter (a missing answer fails, not crashes).
int byte_at(const Bytes& bytes, std::size_t i)
{
    return i < bytes.size() ? bytes[i] : -1;
}

std::uint8_t sum_of(const Bytes& bytes)
{
    return frames::byte_sum(bytes.data(), bytes.size());
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// ---------------------------------------------------------------------------------------------
// The model

class ModelTest : public ::testing::Test {
protected:
    Bytes ask(const Bytes& unit) { return model.answer(unit); }
    sim::CameraModel model;
};

TEST_F(ModelTest, RegisterReadsEchoItemAndIdAndCarryTheValueBigEndian)
{
    // Register 0x01 (bit 14: Hi-Resolution) read with camera ID 1.
    EXPECT_EQ(ask(command({0x33, 0x0A, 0x01})),
              (Bytes{0x02, 0xA0, 0x0A, 0x01, 0x4C, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x03, 0xE3}));
    // Register 0x40 (bit 0 clear: NTSC), asked with another ID: the ID comes back.
    EXPECT_EQ(ask(command({0x33, 0x0A, 0x40}, 0x7F)),
              (Bytes{0x02, 0xA0, 0x0A, 0x40, 0x0A, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0x03, 0x78}));
    EXPECT_TRUE(model.is_hi_resolution());
    EXPECT_FALSE(model.is_pal());
}

TEST_F(ModelTest, PalSwitchShowsInTheTvSystemReadAndSurvivesAReset)
{
    model.set_pal(true);
    EXPECT_EQ(byte_at(ask(command({0x33, 0x0A, 0x40})), 5), 0x11);
    EXPECT_TRUE(ask(command({0xF3})).empty());
    EXPECT_TRUE(model.is_pal());
    model.set_pal(false);
    EXPECT_EQ(byte_at(ask(command({0x33, 0x0A, 0x40})), 5), 0x10);
}

TEST_F(ModelTest, RegisterWritesWithAndWithoutTheStoredCopy)
{
    // 0x0A: register and its stored word; the reply echoes the command body.
    EXPECT_EQ(ask(command({0x23, 0x0A, 0x23, 0x12, 0x34})),
              (Bytes{0x02, 0xA0, 0x0A, 0x23, 0x12, 0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x03, 0xE7}));
    EXPECT_EQ(model.register_value(0x23), 0x1234);
    EXPECT_EQ(model.eeprom_word(0x23), 0x1234);
    EXPECT_EQ(ask(command({0x33, 0x0A, 0x23})),
              (Bytes{0x02, 0xA0, 0x0A, 0x23, 0x12, 0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x03, 0xE7}));

    // 0x0B: the register only, so a reset brings the stored value back.
    const Bytes reply = ask(command({0x23, 0x0B, 0x24, 0xAB, 0xCD}));
    EXPECT_EQ(byte_at(reply, 1), 0xA0);
    EXPECT_EQ(byte_at(reply, 2), 0x0B);
    EXPECT_EQ(sum_of(reply), 0);
    EXPECT_EQ(model.register_value(0x24), 0xABCD);
    EXPECT_NE(model.eeprom_word(0x24), 0xABCD);
    ask(command({0xF3}));
    EXPECT_EQ(model.register_value(0x24), model.eeprom_word(0x24));
}

TEST_F(ModelTest, EepromWordWriteThenReadBack)
{
    EXPECT_EQ(ask(command({0x23, 0x0C, 0x01, 0x02, 0xBE, 0xEF})),
              (Bytes{0x02, 0xA0, 0x0C, 0x01, 0x02, 0xBE, 0xEF, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x03, 0x9E}));
    EXPECT_EQ(model.eeprom_word(0x102), 0xBEEF);
    // Reply bytes 3, 4: address; 5, 6: the word.
    EXPECT_EQ(ask(command({0x33, 0x0C, 0x01, 0x02})),
              (Bytes{0x02, 0xA0, 0x0C, 0x01, 0x02, 0xBE, 0xEF, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x03, 0x9E}));
}

TEST_F(ModelTest, EepromWriteReachesTheRegisterOnlyWithTheRamVariant)
{
    const std::uint16_t before = model.register_value(0x30);
    ask(command({0x23, 0x0C, 0x00, 0x30, 0x11, 0x22}));
    EXPECT_EQ(model.register_value(0x30), before);
    ask(command({0x23, 0x0F, 0x00, 0x31, 0x33, 0x44}));
    EXPECT_EQ(model.register_value(0x31), 0x3344);
    EXPECT_EQ(model.eeprom_word(0x31), 0x3344);
    // A word above the registers is stored all the same.
    EXPECT_EQ(byte_at(ask(command({0x23, 0x0F, 0x03, 0xFE, 0x55, 0x66})), 1), 0xA0);
    EXPECT_EQ(model.eeprom_word(0x3FE), 0x5566);
}

TEST_F(ModelTest, EepromAddressesBeyondTheLastWordAreRefused)
{
    EXPECT_EQ(byte_at(ask(command({0x33, 0x0C, 0x04, 0x00})), 1), sim::kReplyRefused);
    EXPECT_EQ(byte_at(ask(command({0x23, 0x0C, 0x04, 0x00, 0x12, 0x34})), 1), sim::kReplyRefused);
    EXPECT_EQ(byte_at(ask(command({0x33, 0x0C, 0x03, 0xFF})), 1), 0xA0);
}

TEST_F(ModelTest, ParameterBlockIsStoredAsLittleEndianWordsAndAnsweredWithAShortFrame)
{
    const auto pattern = [](std::size_t i) { return static_cast<std::uint8_t>(i * 7 + (i >> 8)); };
    EXPECT_EQ(ask(parameter_block(pattern)), (Bytes{0x01, 0xA0, 0x00, 0x03, 0x5C}));
    for (std::size_t k : {0u, 1u, 0x40u, 0x1FFu, 0x3FFu})
        EXPECT_EQ(model.param_word(k), pattern(2 * k) | pattern(2 * k + 1) << 8) << "word " << k;
    EXPECT_EQ(model.eeprom_word(5), model.param_word(5));
}

TEST_F(ModelTest, ResetIsSilentReloadsRegistersAndKeepsParameterMemory)
{
    const std::uint16_t stored = model.eeprom_word(0x10);
    model.set_register(0x10, static_cast<std::uint16_t>(stored ^ 0xFFFF));
    model.set_eeprom_word(0x200, 0x4242);
    EXPECT_TRUE(ask(command({0xF3})).empty());
    EXPECT_EQ(model.register_value(0x10), stored);
    EXPECT_EQ(model.eeprom_word(0x200), 0x4242);
    EXPECT_EQ(model.reset_count(), 1);

    // A block takes effect in the registers at the next reset.
    ask(parameter_block([](std::size_t i) { return i == 2 * 0x10 ? 0x99 : 0x00; }));
    ask(command({0xF3}));
    EXPECT_EQ(model.register_value(0x10), 0x0099);
}

TEST_F(ModelTest, UnknownCommandsAreRefusedWithTheirItemEchoed)
{
    EXPECT_EQ(ask(command({0x33, 0x99, 0x05})),
              (Bytes{0x02, 0x21, 0x99, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x03, 0x3B}));
    EXPECT_EQ(byte_at(ask(command({0x44, 0x0A, 0x01})), 1), sim::kReplyRefused);
}

TEST_F(ModelTest, FrontPanelKeysAreAcceptedAndRecorded)
{
    EXPECT_EQ(ask(command({0x23, 0x32, 0x02})),
              (Bytes{0x02, 0xA0, 0x32, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x03, 0x26}));
    ask(command({0x23, 0x32, 0x06}));
    EXPECT_EQ(model.key_presses(), (std::vector<std::uint8_t>{0x02, 0x06}));
}

TEST_F(ModelTest, InitialImageIsVariedAndTheSameEveryTime)
{
    sim::CameraModel other;
    std::size_t zeros = 0;
    for (std::size_t k = 0; k < sim::kParamWords; ++k) {
        EXPECT_EQ(model.param_word(k), other.param_word(k));
        zeros += model.param_word(k) == 0;
    }
    EXPECT_LT(zeros, 8u);
    EXPECT_EQ(model.camera_id(), 1);
}

TEST_F(ModelTest, UnitsOfOneProductHoldItsMemoryAndOnlyTheirOwnWordsFromTheirSeed)
{
    constexpr std::size_t kFirst = 0x100;
    constexpr std::size_t kLast = 0x10F;
    model.set_product(sim::CameraModel::Product{42, kFirst, kLast});
    const sim::CameraModel unit = model.another_camera(7); // as plugging in unit 7
    sim::CameraModel product;
    product.set_seed(42);
    sim::CameraModel own;
    own.set_seed(7);
    std::vector<std::size_t> wrong;
    std::vector<std::size_t> differing;
    for (std::size_t k = 0; k < sim::kParamWords; ++k) {
        // Word 1023, which no data file names, is every camera's own as well.
        const bool own_word = (kFirst <= k && k <= kLast) || k == sim::kParamWords - 1;
        if (unit.param_word(k) != (own_word ? own : product).param_word(k)) wrong.push_back(k);
        if (unit.param_word(k) != model.param_word(k)) differing.push_back(k);
    }
    EXPECT_EQ(wrong, std::vector<std::size_t>{});
    std::vector<std::size_t> own_range(kLast - kFirst + 1);
    std::iota(own_range.begin(), own_range.end(), kFirst);
    own_range.push_back(sim::kParamWords - 1);
    EXPECT_EQ(differing, own_range) << "two units differ in their own words and nowhere else";
    // A unit swapped in after a write was written keeping its own words.
    const sim::CameraModel swapped = unit.written_alike(8);
    sim::CameraModel eighth;
    eighth.set_seed(8);
    std::vector<std::size_t> not_as_written;
    for (std::size_t k = 0; k < sim::kParamWords; ++k) {
        const bool own_word = std::find(own_range.begin(), own_range.end(), k) != own_range.end();
        if (swapped.param_word(k) != (own_word ? eighth : unit).param_word(k)) not_as_written.push_back(k);
    }
    EXPECT_EQ(not_as_written, std::vector<std::size_t>{});
}

// ---------------------------------------------------------------------------------------------
// The frame reader

std::vector<Bytes> feed_bytewise(sim::FrameReader& reader, const Bytes& bytes)
{
    std::vector<Bytes> units;
    for (std::uint8_t b : bytes)
        for (Bytes& unit : reader.feed({&b, 1})) units.push_back(std::move(unit));
    return units;
}

TEST(FrameReader, AssemblesAFrameSplitIntoSingleBytes)
{
    sim::FrameReader reader;
    const Bytes frame = command({0x33, 0x0A, 0x01});
    const Bytes head(frame.begin(), frame.end() - 1);
    EXPECT_TRUE(feed_bytewise(reader, head).empty());
    EXPECT_EQ(reader.feed({&frame.back(), 1}), std::vector<Bytes>{frame});
    EXPECT_FALSE(reader.has_partial());
}

TEST(FrameReader, SkipsGarbageIncludingStrayStartBytesBeforeAFrame)
{
    sim::FrameReader reader;
    const Bytes garbage{0x00, 0xFF, 0x03, 0x02, 0x41, 0x01, 0x02};
    const Bytes frame = command({0x23, 0x0C, 0x00, 0x10, 0x12, 0x34});
    EXPECT_EQ(reader.feed(concat({garbage, frame})), std::vector<Bytes>{frame});
    EXPECT_EQ(reader.take_dropped_count(), garbage.size());
}

TEST(FrameReader, DropsFramesWithBadChecksumOrMissingEtxAndKeepsTheNextGoodOne)
{
    Bytes bad_sum = command({0x33, 0x0A, 0x01});
    bad_sum[17] ^= 0x01;
    Bytes no_etx = command({0x33, 0x0A, 0x02});
    no_etx[16] = 0x00;
    no_etx[17] = frames::checksum_of(no_etx.data(), 17);
    const Bytes good = command({0x33, 0x0A, 0x03});

    sim::FrameReader whole;
    EXPECT_EQ(whole.feed(concat({bad_sum, no_etx, good})), std::vector<Bytes>{good});
    sim::FrameReader bytewise;
    EXPECT_EQ(feed_bytewise(bytewise, concat({bad_sum, no_etx, good})), std::vector<Bytes>{good});
}

TEST(FrameReader, AcceptsTheBlockInItsFourPiecesAndRejectsAnAlteredOne)
{
    const Bytes block = parameter_block([](std::size_t i) { return static_cast<std::uint8_t>(i); });
    sim::FrameReader reader;
    std::vector<Bytes> units;
    std::size_t offset = 0;
    for (std::size_t size : frames::kSohPieceSizes) {
        for (Bytes& u : reader.feed({block.data() + offset, size})) units.push_back(std::move(u));
        offset += size;
    }
    EXPECT_EQ(units, std::vector<Bytes>{block});

    Bytes altered = block;
    altered[100] ^= 0x40; // checksum no longer matches
    Bytes trailing = block;
    trailing.back() = 0x01; // the byte after the checksum must be 0
    const Bytes frame = command({0x33, 0x0A, 0x01});
    sim::FrameReader second;
    EXPECT_EQ(second.feed(concat({altered, trailing, frame})), std::vector<Bytes>{frame});
}

TEST(FrameReader, AMegabyteOfGarbageInOneChunkTakesLinearTime)
{
    // Stray start bytes every few bytes make every position a candidate that must be checked.
    Bytes garbage(1 << 20);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = i % 7 == 0 ? frames::STX : static_cast<std::uint8_t>(i);
    const Bytes frame = command({0x33, 0x0A, 0x01});
    sim::FrameReader reader;
    const auto started = std::chrono::steady_clock::now();
    const std::vector<Bytes> units = reader.feed(concat({garbage, frame}));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(units, std::vector<Bytes>{frame});
    EXPECT_EQ(reader.take_dropped_count(), garbage.size());
    // Erasing one byte at a time from the front took seconds here; a linear scan takes milliseconds.
    EXPECT_LT(took, std::chrono::milliseconds(1500));
}

TEST(FrameReader, GivesUpAnIncompleteBlockStartAndFindsTheFrameBehindIt)
{
    sim::FrameReader reader;
    const Bytes frame = command({0x33, 0x0A, 0x40});
    EXPECT_TRUE(reader.feed(concat({{0x01, 0x74, 0x10}, frame})).empty()); // looks like a block
    EXPECT_TRUE(reader.has_partial());
    EXPECT_EQ(reader.give_up_partial(), std::vector<Bytes>{frame});
    EXPECT_FALSE(reader.has_partial());
}

// ---------------------------------------------------------------------------------------------
// The pseudo-terminal endpoint, seen from the client (tool) side

struct Stamped {
    sim::TraceEvent event;
    Clock::time_point at;
};

class SimCameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        camera.set_trace([this](const sim::TraceEvent& e) {
            std::lock_guard lock(trace_mutex);
            trace.push_back({e, Clock::now()});
        });
        SilentSimulatorCheck::fail_if_found_before();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(camera.start());
        ASSERT_TRUE(client.open(camera.slave_path())) << camera.slave_path();
    }

    void TearDown() override
    {
        client.close();
        if (HasFailure()) {
            camera.clear_faults();
            SilentSimulatorCheck::check(camera.slave_path());
        }
    }

    Bytes exchange(const Bytes& unit, std::size_t answer_size = frames::kFrameSize)
    {
        client.write_all(unit);
        return client.read_exact(answer_size);
    }

    Bytes expected(const Bytes& unit)
    {
        return camera.with_model([&](sim::CameraModel& m) {
            sim::CameraModel copy = m;
            return copy.answer(unit);
        });
    }

    static bool wait_until(const std::function<bool()>& condition)
    {
        return QTest::qWaitFor(condition, static_cast<int>(std::chrono::milliseconds(kDeadline).count()));
    }

    std::optional<Clock::time_point> trace_time(sim::TraceEvent::Kind kind, const Bytes& bytes)
    {
        std::lock_guard lock(trace_mutex);
        for (const Stamped& s : trace)
            if (s.event.kind == kind && s.event.bytes == bytes) return s.at;
        return std::nullopt;
    }

    // Declared before the camera: its thread reports into them until the camera is destroyed.
    std::mutex trace_mutex;
    std::vector<Stamped> trace;
    sim::SimCamera camera;
    PtyClient client;
    const Bytes read_01 = command({0x33, 0x0A, 0x01});
    const Bytes read_40 = command({0x33, 0x0A, 0x40});
    const Bytes read_eep = command({0x33, 0x0C, 0x00, 0x05});
};

TEST_F(SimCameraTest, AnswersAndLogsEveryUnitReceived)
{
    const Bytes block = parameter_block([](std::size_t i) { return static_cast<std::uint8_t>(i % 13); });
    const Bytes answer = exchange(read_01);
    ASSERT_EQ(answer, expected(read_01));
    EXPECT_EQ(answer[4], 0x4C);

    std::size_t offset = 0;
    for (std::size_t size : frames::kSohPieceSizes) {
        client.write_all(Bytes(block.begin() + offset, block.begin() + offset + size));
        offset += size;
    }
    EXPECT_EQ(client.read_exact(5), (Bytes{0x01, 0xA0, 0x00, 0x03, 0x5C}));
    EXPECT_EQ(camera.received(), (std::vector<Bytes>{read_01, block}));
    EXPECT_EQ(camera.with_model([](sim::CameraModel& m) { return m.param_word(3); }), 0x0706);

    camera.clear_received();
    EXPECT_EQ(camera.received_count(), 0u);
}

TEST_F(SimCameraTest, GarbageIsSkippedAndResetGetsNoAnswer)
{
    // Nothing may arrive for the garbage or the reset: the first bytes must be the read's answer.
    client.write_all(concat({{0x55, 0x02, 0x00}, command({0xF3}), read_40}));
    EXPECT_EQ(client.read_exact(18), expected(read_40));
    EXPECT_EQ(camera.received(), (std::vector<Bytes>{command({0xF3}), read_40}));
    EXPECT_EQ(camera.with_model([](sim::CameraModel& m) { return m.reset_count(); }), 1);
}

TEST_F(SimCameraTest, StrayBlockStartIsGivenUpAndTheFrameBehindItAnswered)
{
    client.write_all(concat({{0x01, 0x74, 0x00}, read_01}));
    EXPECT_EQ(client.read_exact(18), expected(read_01));
}

TEST_F(SimCameraTest, NoAnswerWithholdsExactlyTheNextAnswer)
{
    camera.inject(Fault::NoAnswer);
    client.write_all(read_01);
    EXPECT_EQ(exchange(read_40), expected(read_40));
    EXPECT_EQ(camera.received_count(), 2u);
}

TEST_F(SimCameraTest, ContentFaultsAlterOnlyTheirByte)
{
    struct Case {
        Fault fault;
        std::size_t offset;
        std::uint8_t value;
        bool sum_ok;
    };
    const Bytes good = expected(read_01);
    const Case cases[] = {
        {Fault::BadChecksum, 17, static_cast<std::uint8_t>(good[17] + 1), false},
        {Fault::NoEtx, 16, 0x00, true},
        {Fault::Refuse, 1, 0x21, true},
        {Fault::SecondAnswer, 1, 0xA8, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::fault_name(c.fault));
        camera.inject(c.fault);
        const Bytes answer = exchange(read_01);
        ASSERT_EQ(answer.size(), 18u);
        EXPECT_EQ(answer[c.offset], c.value);
        EXPECT_EQ(sum_of(answer) == 0, c.sum_ok);
        for (std::size_t i = 1; i < 17; ++i) {
            if (i != c.offset) {
                EXPECT_EQ(answer[i], good[i]) << "byte " << i;
            }
        }
        EXPECT_EQ(exchange(read_01), good); // one answer only
    }
}

TEST_F(SimCameraTest, AnswersToOtherReadsComeFirstAndNoiseAfter)
{
    const Bytes good = expected(read_eep);
    camera.inject(Fault::ForeignFirst);
    const Bytes foreign = exchange(read_eep, 4 * frames::kFrameSize);
    ASSERT_EQ(foreign.size(), 4 * frames::kFrameSize);
    EXPECT_EQ(Bytes(foreign.end() - frames::kFrameSize, foreign.end()), good);
    // Answer k differs from the true one in echo byte 2 + k and in its values.
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const Bytes other(foreign.begin() + static_cast<long>(k * frames::kFrameSize),
                          foreign.begin() + static_cast<long>((k + 1) * frames::kFrameSize));
        EXPECT_EQ(sum_of(other), 0);
        for (std::size_t i = 2; i <= 4; ++i) EXPECT_EQ(other[i] != good[i], i == 2 + k) << "byte " << i;
        EXPECT_NE(other[5], good[5]);
        EXPECT_NE(other[6], good[6]);
    }
    camera.inject(Fault::Trailing);
    const Bytes noisy = exchange(read_eep, frames::kFrameSize + 6);
    EXPECT_EQ(Bytes(noisy.begin(), noisy.begin() + frames::kFrameSize), good);
    EXPECT_EQ(Bytes(noisy.begin() + frames::kFrameSize, noisy.end()), (Bytes{frames::STX, 0xA0, 0x0C, 0x00, 0x00, 0x12}));
}

TEST_F(SimCameraTest, ContentFaultsApplyToTheShortFrameToo)
{
    camera.inject(Fault::Refuse);
    client.write_all(parameter_block([](std::size_t) { return 0; }));
    const Bytes answer = client.read_exact(5);
    ASSERT_EQ(answer.size(), 5u);
    EXPECT_EQ(answer[1], 0x21);
    EXPECT_EQ(sum_of(answer), 0);
}

TEST_F(SimCameraTest, SplitBytesArriveOneAtATimeWithPauses)
{
    camera.set_split_pause_ms(25);
    camera.inject(Fault::SplitBytes);
    const auto sent = Clock::now();
    client.write_all(read_01);
    const Bytes first = client.read_exact(1);
    EXPECT_EQ(first, Bytes{0x02});
    const Bytes rest = client.read_exact(17);
    EXPECT_GE(Clock::now() - sent, 17 * 25ms);
    EXPECT_EQ(concat({first, rest}), expected(read_01));
}

TEST_F(SimCameraTest, LateAnswerKeepsReceivingAndAnswersInOrder)
{
    camera.set_late_delay_ms(400);
    camera.inject(Fault::Late);
    const auto sent = Clock::now();
    client.write_all(read_01);
    client.write_all(read_40);
    const Bytes answers = client.read_exact(36);
    EXPECT_GE(Clock::now() - sent, 400ms);
    EXPECT_EQ(answers, concat({expected(read_01), expected(read_40)}));
    // The second command was taken in while the first answer was still held back.
    const auto second_in = trace_time(sim::TraceEvent::Kind::Received, read_40);
    const auto first_out = trace_time(sim::TraceEvent::Kind::Sent, expected(read_01));
    ASSERT_TRUE(second_in && first_out);
    EXPECT_LT(*second_in, *first_out);
}

TEST_F(SimCameraTest, StopEndsPromptlyWhileAnAnswerIsHeldBack)
{
    camera.set_late_delay_ms(60'000);
    camera.inject(Fault::Late);
    client.write_all(read_01);
    ASSERT_TRUE(wait_until([&] { return camera.received_count() == 1; }));
    const auto begin = Clock::now();
    camera.stop();
    EXPECT_LT(Clock::now() - begin, 5s);
    EXPECT_TRUE(camera.slave_path().empty());
}

TEST_F(SimCameraTest, FaultForTheNextNAnswersThenNormal)
{
    camera.inject(Fault::Refuse, 2);
    ASSERT_EQ(byte_at(exchange(read_01), 1), 0x21);
    ASSERT_EQ(byte_at(exchange(read_40), 1), 0x21);
    ASSERT_EQ(byte_at(exchange(read_01), 1), 0xA0);
}

TEST_F(SimCameraTest, FaultForOneCommandLastsUntilCleared)
{
    camera.inject_for_command(Fault::Refuse, 0x33, 0x0C);
    camera.inject_for_command(Fault::SecondAnswer, 0x23);
    ASSERT_EQ(byte_at(exchange(read_eep), 1), 0x21);
    ASSERT_EQ(byte_at(exchange(read_01), 1), 0xA0);
    ASSERT_EQ(byte_at(exchange(read_eep), 1), 0x21);
    ASSERT_EQ(byte_at(exchange(command({0x23, 0x32, 0x01})), 1), 0xA8);
    // The block's code byte 0x74 selects it.
    camera.inject_for_command(Fault::NoEtx, frames::kSohBlockCode);
    client.write_all(parameter_block([](std::size_t) { return 1; }));
    EXPECT_EQ(byte_at(client.read_exact(5), 3), 0x00);

    camera.clear_faults();
    EXPECT_EQ(exchange(read_eep), expected(read_eep));
}

TEST_F(SimCameraTest, RawBytesGoOutAheadOfLaterAnswers)
{
    const Bytes raw{0x06, 0x15, 0xEE};
    camera.send_raw(raw);
    EXPECT_EQ(client.read_exact(3), raw);
    camera.send_raw({0x00});
    EXPECT_EQ(exchange(read_01, 19), concat({{0x00}, expected(read_01)}));
}

TEST_F(SimCameraTest, BaudPacingTakesAByteTimePerByte)
{
    camera.set_baud_pacing(true);
    Bytes raw(200);
    std::iota(raw.begin(), raw.end(), 0);
    const auto begin = Clock::now();
    camera.send_raw(raw);
    EXPECT_EQ(client.read_exact(raw.size()), raw);
    EXPECT_GE(Clock::now() - begin, 199 * sim::kByteTime);
    EXPECT_EQ(exchange(read_01), expected(read_01));
}

TEST_F(SimCameraTest, SurvivesTheClientClosingAndReopening)
{
    EXPECT_EQ(exchange(read_01), expected(read_01));
    for (int round = 0; round < 3; ++round) {
        client.close();
        ASSERT_TRUE(client.open(camera.slave_path()));
        EXPECT_EQ(exchange(read_40), expected(read_40)) << "round " << round;
    }
}

TEST_F(SimCameraTest, ExclusiveUseEndsWhenTheClientCloses)
{
    ASSERT_EQ(::ioctl(client.fd(), TIOCEXCL), 0);
    client.close();
    // Opening may fail while the terminal is still exclusive (unless privileged); either way
    // the flag must clear once the simulator has seen the close.
    const bool released = wait_until([&] {
        PtyClient probe;
        if (!probe.open(camera.slave_path())) return false;
        int exclusive = 1;
        return ::ioctl(probe.fd(), TIOCGEXCL, &exclusive) == 0 && exclusive == 0;
    });
    EXPECT_TRUE(released);
    ASSERT_TRUE(client.open(camera.slave_path()));
    EXPECT_EQ(exchange(read_01), expected(read_01));
}

// ---------------------------------------------------------------------------------------------
// Publishing as a port

class PublishTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(config.isValid()); }

    static std::filesystem::path link_of(int port)
    {
        return port_link_path(port).toStdString();
    }

    PrivateFolder config{"XDG_CONFIG_HOME"};
};

TEST_F(PublishTest, LinkPointsAtTheSlaveAndGoesWithTheSimulator)
{
    namespace fs = std::filesystem;
    fs::create_directories(link_of(4).parent_path());
    fs::create_symlink("/nonexistent/old-device", link_of(4)); // left over from an earlier run
    {
        sim::SimCamera camera;
        ASSERT_TRUE(camera.start());
        ASSERT_TRUE(camera.publish_as_port(4));
        EXPECT_EQ(fs::read_symlink(link_of(4)), fs::path(camera.slave_path()));

        PtyClient client;
        ASSERT_TRUE(client.open(link_of(4)));
        client.write_all(command({0x33, 0x0A, 0x01}));
        EXPECT_EQ(client.read_exact(18).size(), 18u);
    }
    EXPECT_FALSE(fs::is_symlink(link_of(4)));
}

TEST_F(PublishTest, ALinkTakenOverByAnotherSimulatorStays)
{
    namespace fs = std::filesystem;
    sim::SimCamera second;
    ASSERT_TRUE(second.start());
    {
        sim::SimCamera first;
        ASSERT_TRUE(first.start());
        ASSERT_TRUE(first.publish_as_port(2));
        ASSERT_TRUE(second.publish_as_port(2));
    }
    EXPECT_EQ(fs::read_symlink(link_of(2)), fs::path(second.slave_path()));
    second.unpublish();
    EXPECT_FALSE(fs::is_symlink(link_of(2)));
}

} // namespace
