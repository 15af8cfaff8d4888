#pragma once
// Byte layouts of the units on the camera line: the 18-byte frame, the 5-byte short frame and the
// 2053-byte parameter block, with their zero-sum checksum.

#include <array>
#include <cstddef>
#include <cstdint>

namespace frames {

constexpr std::uint8_t SOH = 1;
constexpr std::uint8_t STX = 2;
constexpr std::uint8_t ETX = 3;
constexpr std::uint8_t ACK = 6;
constexpr std::uint8_t NAK = 21;

constexpr std::size_t kFrameSize = 18;
constexpr std::size_t kShortFrameSize = 5;
constexpr std::size_t kIdOffset = 15;
constexpr std::size_t kEtxOffset = 16;
constexpr std::size_t kChecksumOffset = 17;
constexpr int kMaxCommandLength = 15;

constexpr std::uint8_t kReplyAccepted = 0xA0;
constexpr std::uint8_t kReplySecondAnswer = 0xA8;
constexpr std::uint8_t kCommandReset = 0xF3;

constexpr std::size_t kParamEntries = 2048;
constexpr std::size_t kSohBlockSize = 2053;
constexpr std::uint8_t kSohBlockCode = 0x74;
constexpr std::size_t kSohDataOffset = 2;
// The block goes out as four writes of these sizes, back to back.
constexpr std::array<std::size_t, 4> kSohPieceSizes{512, 512, 512, 517};

using Frame = std::array<std::uint8_t, kFrameSize>;
using SohBlock = std::array<std::uint8_t, kSohBlockSize>;
using ParamImage = std::array<std::int32_t, kParamEntries>;

// 8-bit wrapping sum of count bytes.
std::uint8_t byte_sum(const std::uint8_t* bytes, std::size_t count);
// The byte that makes the covered bytes sum to 0 modulo 256.
std::uint8_t checksum_of(const std::uint8_t* bytes, std::size_t count);

// Completes a command of `length` meaningful bytes after the STX (1..15): STX in byte 0, zeros in
// bytes length+1..14, the camera ID in byte 15, ETX in byte 16 and the checksum in byte 17.
// Bytes 1..length are left as the caller wrote them.
void complete_command_frame(Frame& frame, int length, std::uint8_t camera_id);

// True when the 18 bytes sum to 0 (a good received frame).
bool frame_checksum_ok(const Frame& frame);

// Builds the parameter block from the low byte of each image entry; the checksum covers only the
// 2048 data bytes.
void build_soh_block(const ParamImage& image, SohBlock& block);

} // namespace frames
