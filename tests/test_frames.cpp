// Frame layouts, checksums, the parameter block, the hex helpers and the receive decoder.

#include "link/frames.h"
#include "link/hex_text.h"
#include "link/receive_decoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using frames::Frame;

namespace {

Frame command(std::initializer_list<std::uint8_t> body, int length, std::uint8_t id)
{
    Frame f{};
    f.fill(0xEE); // leftovers from an earlier command must not leak into the frame
    std::size_t i = 1;
    for (std::uint8_t b : body) f[i++] = b;
    frames::complete_command_frame(f, length, id);
    return f;
}

QString trace_1_17(const Frame& f) { return hex_trace(f.data() + 1, 17); }

TEST(CommandFrame, WorkedReadRequestMatchesByteForByte)
{
    const Frame f = command({0x33, 0x0A, 0x01}, 3, 1);
    const Frame expected{0x02, 0x33, 0x0A, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x03, 0xBC};
    EXPECT_EQ(f, expected);
    EXPECT_EQ(trace_1_17(f), "330A01" + QString(22, '0') + "0103BC");
    EXPECT_TRUE(frames::frame_checksum_ok(f));
}

TEST(CommandFrame, LengthDecidesWhichBytesAreCleared)
{
    // Length 1 (the reset) clears all 13 data bytes.
    const Frame reset = command({0xF3}, 1, 1);
    for (std::size_t i = 2; i <= 14; ++i) EXPECT_EQ(reset[i], 0) << i;
    EXPECT_EQ(reset[1], 0xF3);

    // Length 14 keeps bytes 1..14; length 15 also, but byte 15 is always the camera ID.
    const Frame f14 = command({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, 14, 0x7F);
    for (std::size_t i = 1; i <= 14; ++i) EXPECT_EQ(f14[i], i);
    Frame f15{};
    for (std::size_t i = 1; i <= 15; ++i) f15[i] = static_cast<std::uint8_t>(0x90 + i);
    frames::complete_command_frame(f15, 15, 0x42);
    for (std::size_t i = 1; i <= 14; ++i) EXPECT_EQ(f15[i], 0x90 + i);
    EXPECT_EQ(f15[15], 0x42);
    EXPECT_TRUE(frames::frame_checksum_ok(f14));
    EXPECT_TRUE(frames::frame_checksum_ok(f15));
}

TEST(CommandFrame, EveryByteValueInDataAndIdKeepsTheSumZero)
{
    for (int v = 0; v < 256; ++v) {
        const auto b = static_cast<std::uint8_t>(v);
        const Frame f = command({b, b, b, b, b, b, b, b, b, b, b, b, b, b}, 14, b);
        EXPECT_EQ(f[0], frames::STX);
        EXPECT_EQ(f[15], b);
        EXPECT_EQ(f[16], frames::ETX);
        ASSERT_TRUE(frames::frame_checksum_ok(f)) << v;
    }
}

TEST(CommandFrame, CameraIdChangesIdAndChecksumOnly)
{
    const Frame a = command({0x33, 0x0A, 0x01}, 3, 1);
    const Frame b = command({0x33, 0x0A, 0x01}, 3, 2);
    for (std::size_t i = 0; i < 15; ++i) EXPECT_EQ(a[i], b[i]);
    EXPECT_EQ(b[15], 2);
    EXPECT_EQ(b[17], static_cast<std::uint8_t>(a[17] - 1));
}

TEST(ParameterBlock, LayoutAndChecksumOverDataOnly)
{
    auto image = std::make_unique<frames::ParamImage>();
    image->fill(0);
    auto block = std::make_unique<frames::SohBlock>();
    frames::build_soh_block(*image, *block);
    EXPECT_EQ((*block)[0], frames::SOH);
    EXPECT_EQ((*block)[1], 0x74);
    EXPECT_EQ((*block)[2050], frames::ETX);
    EXPECT_EQ((*block)[2051], 0) << "an all-zero image has checksum 0";
    EXPECT_EQ((*block)[2052], 0);

    // Entries above 255 (and negative ones) send their low byte; the checksum follows what is sent.
    (*image)[0] = 0x1FF;
    (*image)[1] = -1;
    (*image)[2047] = 0x1234;
    frames::build_soh_block(*image, *block);
    EXPECT_EQ((*block)[2], 0xFF);
    EXPECT_EQ((*block)[3], 0xFF);
    EXPECT_EQ((*block)[2049], 0x34);
    EXPECT_EQ((*block)[2051], static_cast<std::uint8_t>(256 - ((0xFF + 0xFF + 0x34) & 0xFF)));
    EXPECT_EQ(static_cast<std::uint8_t>(frames::byte_sum(block->data() + 2, 2048) + (*block)[2051]), 0);

    std::size_t total = 0;
    for (std::size_t piece : frames::kSohPieceSizes) total += piece;
    EXPECT_EQ(total, frames::kSohBlockSize);
}

TEST(HexText, FormatsAndParses)
{
    EXPECT_EQ(hex_byte_text(0x1AB), "AB");
    EXPECT_EQ(hex_byte_text(-1), "FF");
    EXPECT_EQ(hex_byte_text(5), "05");
    EXPECT_EQ(hex_word_text(0x12345), "2345");
    EXPECT_EQ(hex_word_text(0xBEEF), "BEEF");

    EXPECT_EQ(hex_digit_value('0'), 0);
    EXPECT_EQ(hex_digit_value('f'), 15);
    EXPECT_EQ(hex_digit_value('F'), 15);
    EXPECT_EQ(hex_digit_value('g'), -1);
    EXPECT_EQ(hex_digit_value(' '), -1);
    EXPECT_EQ(hex_pair_value('a', '5'), 0xA5);
    EXPECT_EQ(hex_pair_value('a', 'x'), -1);
    EXPECT_EQ(hex_pair_value('-', '1'), -1);

    EXPECT_EQ(hex_text_value(""), 0);
    EXPECT_EQ(hex_text_value("3fF"), 0x3FF);
    EXPECT_EQ(hex_text_value("12 "), -1);
    EXPECT_EQ(hex_text_value("x1"), -1);
}

// The receive decoder, fed byte by byte.
class Decoder : public ::testing::Test {
protected:
    std::vector<int> feed(const std::vector<std::uint8_t>& bytes)
    {
        std::vector<int> results;
        for (std::uint8_t b : bytes) {
            const auto out = decoder.feed(b, reply);
            etx_errors += out.etx_error ? 1 : 0;
            results.push_back(out.result);
        }
        return results;
    }
    static std::vector<std::uint8_t> reply_bytes(std::uint8_t code, std::uint8_t item, std::uint8_t index)
    {
        Frame f{};
        f[1] = code;
        f[2] = item;
        f[3] = index;
        f[4] = 0x5A;
        frames::complete_command_frame(f, 4, 1);
        return {f.begin(), f.end()};
    }
    static std::vector<std::uint8_t> short_bytes(std::uint8_t a, std::uint8_t b)
    {
        std::vector<std::uint8_t> s{frames::SOH, a, b, frames::ETX, 0};
        s[4] = frames::checksum_of(s.data(), 4);
        return s;
    }

    ReceiveDecoder decoder;
    Frame reply{};
    int etx_errors = 0;
};

TEST_F(Decoder, CompleteFrameReportsStartThenEtxAtTheEnd)
{
    const auto bytes = reply_bytes(0xA0, 0x0A, 0x01);
    const auto results = feed(bytes);
    EXPECT_EQ(results.front(), frames::STX);
    for (std::size_t i = 1; i + 1 < results.size(); ++i) EXPECT_EQ(results[i], -1) << i;
    EXPECT_EQ(results.back(), ReceiveDecoder::kFrameComplete);
    EXPECT_EQ(std::vector<std::uint8_t>(reply.begin(), reply.end()), bytes);
    EXPECT_EQ(decoder.state(), ReceiveDecoder::Idle);
}

TEST_F(Decoder, ShortFrameKeepsTheRestOfTheLastReply)
{
    const auto full = reply_bytes(0xA0, 0x0A, 0x01);
    feed(full);
    const auto results = feed(short_bytes(0xA0, 0x00));
    EXPECT_EQ(results.front(), frames::SOH);
    EXPECT_EQ(results.back(), ReceiveDecoder::kFrameComplete);
    EXPECT_EQ(reply[1], 0xA0);
    EXPECT_EQ(reply[3], frames::ETX);
    for (std::size_t i = 5; i < 18; ++i) EXPECT_EQ(reply[i], full[i]) << i;
}

TEST_F(Decoder, GarbageAckNakAndBadFramesLeaveItIdle)
{
    EXPECT_EQ(feed({0x00, 0xFF, 0x03}), (std::vector<int>{-1, -1, -1}));
    EXPECT_EQ(feed({frames::ACK, frames::NAK}), (std::vector<int>{frames::ACK, frames::NAK}));
    EXPECT_EQ(decoder.state(), ReceiveDecoder::Idle);

    // Checksum off by one: dropped silently, then a good frame is still recognised.
    auto bad = reply_bytes(0xA0, 0x0A, 0x01);
    bad[17] = static_cast<std::uint8_t>(bad[17] + 1);
    EXPECT_EQ(feed(bad).back(), -1);
    EXPECT_EQ(etx_errors, 0);
    EXPECT_EQ(feed(reply_bytes(0xA0, 0x0A, 0x40)).back(), ReceiveDecoder::kFrameComplete);
}

TEST_F(Decoder, MissingEtxIsReportedAndTheNextByteStartsAfresh)
{
    auto bytes = reply_bytes(0xA0, 0x0A, 0x01);
    bytes[16] = 0x00;
    bytes[17] = frames::ACK; // taken as a byte in the idle state
    const auto results = feed(bytes);
    EXPECT_EQ(etx_errors, 1);
    EXPECT_EQ(results[16], -1);
    EXPECT_EQ(results[17], frames::ACK);
    EXPECT_EQ(decoder.state(), ReceiveDecoder::Idle);
}

TEST_F(Decoder, SplitFrameDecodesLikeAWholeOne)
{
    const auto bytes = reply_bytes(0xA0, 0x50, 0x03);
    int last = 0;
    for (std::size_t start = 0; start < bytes.size(); start += 5) {
        const std::vector<std::uint8_t> piece(bytes.begin() + start,
                                              bytes.begin() + std::min(bytes.size(), start + 5));
        last = feed(piece).back();
    }
    EXPECT_EQ(last, ReceiveDecoder::kFrameComplete);
    EXPECT_EQ(reply[3], 0x03);
}

TEST_F(Decoder, FrameLengthIsFixedAtItsFirstByteWhateverTheBufferHolds)
{
    // The buffer is the caller's: a frame under way keeps its length even if byte 0 is changed.
    const auto bytes = reply_bytes(0xA0, 0x0A, 0x01);
    feed({bytes.begin(), bytes.begin() + 5});
    reply[0] = frames::SOH;
    const auto results = feed({bytes.begin() + 5, bytes.end()});
    EXPECT_EQ(decoder.length(), 18);
    EXPECT_EQ(decoder.state(), ReceiveDecoder::Idle);
    EXPECT_EQ(etx_errors, 0);
    EXPECT_NE(results.back(), ReceiveDecoder::kFrameComplete) << "the sum now covers the changed byte";
}

} // namespace
