#pragma once
// The receive decoder fed the camera's side of the line one byte at a time.
//
// Properties: a decoded frame is exactly the last 5 (SOH) or 18 (STX) bytes fed, with ETX in its
// place and a zero byte sum; a well-formed reply that begins while the decoder is idle is always
// decoded; ACK/NAK and frame starts are only reported from idle; an ETX error is only reported where
// the ETX belonged; the frame length never leaves the reply buffer (held at its exact size on the
// heap, so ASan sees any overrun). After any stream the decoder recovers: once reset, as the tool
// does before every command, or after 17 bytes that start no frame, it decodes a good reply.

#include "fuzz_check.h"
#include "link/receive_decoder.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace fuzz {
namespace decoder_check {

inline bool sums_to_zero(const std::uint8_t* bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return (sum & 0xFFu) == 0;
}

// Size of the well-formed reply frame that begins at `at`, or 0 when none does.
inline std::size_t good_frame_at(const std::uint8_t* bytes, std::size_t size, std::size_t at)
{
    const std::size_t n = bytes[at] == frames::SOH ? 5 : bytes[at] == frames::STX ? 18 : 0;
    if (n == 0 || size - at < n) return 0;
    if (bytes[at + n - 2] != frames::ETX || !sums_to_zero(bytes + at, n)) return 0;
    return n;
}

// A good frame of `size` bytes (5 or 18) whose body comes from `fill`.
inline std::vector<std::uint8_t> good_frame(std::size_t size, const std::uint8_t* fill, std::size_t fill_size)
{
    std::vector<std::uint8_t> frame(size, 0);
    frame[0] = size == 5 ? frames::SOH : frames::STX;
    for (std::size_t i = 1; i + 2 < size; ++i) frame[i] = fill_size == 0 ? std::uint8_t(i) : fill[i % fill_size];
    frame[size - 2] = frames::ETX;
    frame[size - 1] = frames::checksum_of(frame.data(), size - 1);
    return frame;
}

// Feeds a good frame; it must come out whole at its last byte.
inline Violation decodes(ReceiveDecoder& decoder, const std::vector<std::uint8_t>& frame, const char* when)
{
    auto reply = std::make_unique<frames::Frame>();
    for (std::size_t i = 0; i < frame.size(); ++i) {
        const int result = decoder.feed(frame[i], *reply).result;
        const bool last = i + 1 == frame.size();
        FUZZ_EXPECT(last == (result == ReceiveDecoder::kFrameComplete),
                    std::string("good ") + std::to_string(frame.size()) + "-byte frame not decoded " + when);
    }
    FUZZ_EXPECT(std::equal(frame.begin(), frame.end(), reply->begin()),
                std::string("decoded frame differs from the one sent ") + when);
    return {};
}

} // namespace decoder_check

inline Violation check_receive_decoder(const std::uint8_t* data, std::size_t size)
{
    using namespace decoder_check;
    const Input in = split_control(data, size);
    const std::uint8_t* bytes = in.bytes;
    ReceiveDecoder decoder;
    auto reply = std::make_unique<frames::Frame>();
    std::size_t frame_start = 0;
    std::size_t due = std::numeric_limits<std::size_t>::max(); // last byte of a good frame begun at idle

    for (std::size_t i = 0; i < in.size; ++i) {
        const std::uint8_t byte = bytes[i];
        const ReceiveDecoder::State before = decoder.state();
        if (before == ReceiveDecoder::Idle) {
            frame_start = i;
            const std::size_t n = good_frame_at(bytes, in.size, i);
            due = n == 0 ? std::numeric_limits<std::size_t>::max() : i + n - 1;
        }
        const ReceiveDecoder::Outcome out = decoder.feed(byte, *reply);
        const ReceiveDecoder::State after = decoder.state();

        switch (out.result) {
        case ReceiveDecoder::kNothing: break;
        case frames::SOH:
        case frames::STX:
            FUZZ_EXPECT(byte == out.result && before == ReceiveDecoder::Idle && after == ReceiveDecoder::Body &&
                            decoder.length() == 1,
                        "frame start reported off an idle SOH/STX" + at(i));
            break;
        case frames::ACK:
        case frames::NAK:
            FUZZ_EXPECT(byte == out.result && before == ReceiveDecoder::Idle && after == ReceiveDecoder::Idle,
                        "ACK/NAK reported off an idle ACK/NAK" + at(i));
            break;
        case ReceiveDecoder::kFrameComplete: {
            const std::size_t n = i - frame_start + 1;
            FUZZ_EXPECT(before == ReceiveDecoder::ExpectChecksum && after == ReceiveDecoder::Idle,
                        "frame completed outside its checksum byte" + at(i));
            FUZZ_EXPECT((n == 5 && (*reply)[0] == frames::SOH) || (n == 18 && (*reply)[0] == frames::STX),
                        "completed frame of " + std::to_string(n) + " bytes" + at(i));
            FUZZ_EXPECT(std::memcmp(reply->data(), bytes + frame_start, n) == 0,
                        "completed frame is not the bytes received" + at(i));
            FUZZ_EXPECT((*reply)[n - 2] == frames::ETX, "completed frame without its ETX" + at(i));
            FUZZ_EXPECT(sums_to_zero(reply->data(), n), "completed frame with a bad checksum" + at(i));
            break;
        }
        default: return "unknown result " + std::to_string(out.result) + at(i);
        }
        FUZZ_EXPECT((out.result == ReceiveDecoder::kFrameComplete) == (i == due),
                    i == due ? "good frame begun at idle byte " + std::to_string(frame_start) + " not decoded"
                             : "frame decoded that did not begin at an idle point" + at(i));
        if (out.etx_error)
            FUZZ_EXPECT(before == ReceiveDecoder::ExpectEtx && byte != frames::ETX &&
                            out.result == ReceiveDecoder::kNothing && after == ReceiveDecoder::Idle,
                        "ETX error off the ETX position" + at(i));
        if (after != ReceiveDecoder::Idle)
            FUZZ_EXPECT(decoder.length() >= 1 && decoder.length() < 18 &&
                            static_cast<std::size_t>(decoder.length()) == i - frame_start + 1,
                        "frame length " + std::to_string(decoder.length()) + at(i));
    }

    const std::uint8_t* fill = in.size > 0 ? bytes : nullptr;
    const std::size_t fill_size = std::min<std::size_t>(in.size, 16);
    for (const std::size_t n : {std::size_t{18}, std::size_t{5}}) {
        const std::vector<std::uint8_t> frame = good_frame(n, fill, fill_size);
        ReceiveDecoder after_reset = decoder;
        after_reset.reset();
        if (Violation v = decodes(after_reset, frame, "after a reset"); !v.empty()) return v;

        ReceiveDecoder after_quiet = decoder;
        for (int k = 0; k < 17; ++k) after_quiet.feed(0x00, *reply);
        FUZZ_EXPECT(after_quiet.state() == ReceiveDecoder::Idle, "17 bytes that start no frame left it busy");
        if (Violation v = decodes(after_quiet, frame, "after 17 bytes that start no frame"); !v.empty()) return v;
    }
    return {};
}

} // namespace fuzz
