#include "decoder_bench.h"

#include "stats.h"

#include "link/frames.h"
#include "link/receive_decoder.h"

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr std::size_t kStreamBytes = 4 << 20;
constexpr int kRepetitions = 7;

// Replies as the camera sends them: mostly 18-byte frames, some 5-byte short frames and lone ACKs.
std::vector<std::uint8_t> valid_stream()
{
    std::mt19937 random(1);
    std::vector<std::uint8_t> stream;
    stream.reserve(kStreamBytes + 32);
    while (stream.size() < kStreamBytes) {
        const unsigned pick = random() % 16;
        if (pick == 0) {
            stream.push_back(frames::ACK);
            continue;
        }
        frames::Frame f{};
        f[0] = pick == 1 ? frames::SOH : frames::STX;
        const std::size_t size = pick == 1 ? frames::kShortFrameSize : frames::kFrameSize;
        for (std::size_t i = 1; i + 2 < size; ++i) f[i] = static_cast<std::uint8_t>(random());
        f[size - 2] = frames::ETX;
        f[size - 1] = frames::checksum_of(f.data(), size - 1);
        stream.insert(stream.end(), f.begin(), f.begin() + static_cast<std::ptrdiff_t>(size));
    }
    return stream;
}

std::vector<std::uint8_t> random_stream()
{
    std::mt19937 random(2);
    std::vector<std::uint8_t> stream(kStreamBytes);
    for (auto& b : stream) b = static_cast<std::uint8_t>(random());
    return stream;
}

DecoderFigures measure(const char* name, const std::vector<std::uint8_t>& stream)
{
    std::vector<double> ns_per_byte;
    std::uint64_t complete = 0;
    for (int r = 0; r < kRepetitions; ++r) {
        ReceiveDecoder decoder;
        frames::Frame reply{};
        complete = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const std::uint8_t b : stream)
            complete += decoder.feed(b, reply).result == ReceiveDecoder::kFrameComplete;
        const auto took = std::chrono::steady_clock::now() - start;
        ns_per_byte.push_back(std::chrono::duration<double, std::nano>(took).count() / static_cast<double>(stream.size()));
    }
    const double ns = summarize(ns_per_byte).median;
    return {name, 1e9 / ns / (1 << 20), ns, static_cast<double>(complete) / static_cast<double>(stream.size())};
}

} // namespace

DecoderFigures decoder_throughput_valid() { return measure("valid replies", valid_stream()); }
DecoderFigures decoder_throughput_random() { return measure("random bytes", random_stream()); }
