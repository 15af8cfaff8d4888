#include "link/frames.h"

namespace frames {

std::uint8_t byte_sum(const std::uint8_t* bytes, std::size_t count)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum & 0xFFu);
}

std::uint8_t checksum_of(const std::uint8_t* bytes, std::size_t count)
{
    return static_cast<std::uint8_t>((256u - byte_sum(bytes, count)) & 0xFFu);
}

void complete_command_frame(Frame& frame, int length, std::uint8_t camera_id)
{
    frame[0] = STX;
    for (int i = 1; i <= 14; ++i) {
        if (i > length) frame[static_cast<std::size_t>(i)] = 0;
    }
    frame[kIdOffset] = camera_id;
    frame[kEtxOffset] = ETX;
    frame[kChecksumOffset] = checksum_of(frame.data(), kChecksumOffset);
}

bool frame_checksum_ok(const Frame& frame) { return byte_sum(frame.data(), frame.size()) == 0; }

void build_soh_block(const ParamImage& image, SohBlock& block)
{
    block[0] = SOH;
    block[1] = kSohBlockCode;
    for (std::size_t k = 0; k < kParamEntries; ++k)
        block[kSohDataOffset + k] = static_cast<std::uint8_t>(image[k] & 0xFF);
    block[kSohDataOffset + kParamEntries] = ETX;
    block[kSohDataOffset + kParamEntries + 1] = checksum_of(block.data() + kSohDataOffset, kParamEntries);
    block[kSohDataOffset + kParamEntries + 2] = 0;
}

} // namespace frames
