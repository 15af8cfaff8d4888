#include "frame_reader.h"

#include "link/frames.h"

namespace sim {

bool is_good_frame(std::span<const std::uint8_t> bytes)
{
    return bytes.size() == frames::kFrameSize && bytes[0] == frames::STX &&
           bytes[frames::kEtxOffset] == frames::ETX &&
           frames::byte_sum(bytes.data(), bytes.size()) == 0;
}

bool is_good_block(std::span<const std::uint8_t> bytes)
{
    constexpr std::size_t kEtx = frames::kSohDataOffset + frames::kParamEntries;
    return bytes.size() == frames::kSohBlockSize && bytes[0] == frames::SOH &&
           bytes[1] == frames::kSohBlockCode && bytes[kEtx] == frames::ETX &&
           bytes[kEtx + 1] ==
               frames::checksum_of(bytes.data() + frames::kSohDataOffset, frames::kParamEntries) &&
           bytes[kEtx + 2] == 0;
}

std::vector<Unit> FrameReader::feed(std::span<const std::uint8_t> bytes)
{
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    return extract();
}

std::vector<Unit> FrameReader::give_up_partial()
{
    if (pending_.empty()) return {};
    ++dropped_;
    return extract(1);
}

std::size_t FrameReader::take_dropped_count()
{
    const std::size_t count = dropped_;
    dropped_ = 0;
    return count;
}

std::size_t FrameReader::candidate_size(std::span<const std::uint8_t> rest)
{
    if (rest[0] == frames::STX) return frames::kFrameSize;
    if (rest[0] != frames::SOH) return 0;
    if (rest.size() >= 2 && rest[1] != frames::kSohBlockCode) return 0;
    return frames::kSohBlockSize;
}

// Scans from `start` and removes what it consumed in one erase at the end, so a large chunk of
// garbage costs time in proportion to its length.
std::vector<Unit> FrameReader::extract(std::size_t start)
{
    std::vector<Unit> units;
    std::size_t at = start;
    while (at < pending_.size()) {
        const std::span<const std::uint8_t> rest(pending_.data() + at, pending_.size() - at);
        const std::size_t size = candidate_size(rest);
        if (size != 0 && rest.size() < size) break; // wait for the rest
        const std::span<const std::uint8_t> candidate = rest.first(size);
        if (size != 0 && (is_good_frame(candidate) || is_good_block(candidate))) {
            units.emplace_back(candidate.begin(), candidate.end());
            at += size;
            continue;
        }
        ++at; // resynchronise one byte further on
        ++dropped_;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    return units;
}

} // namespace sim
