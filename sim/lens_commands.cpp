// The simulated camera's answers to the Lens Adjust page's own commands: the start of the
// automatic adjustment (0x33 0x12), the lens level (0x33 0x46), the DC-lens offset (0x33/0x23
// 0x43) and the timing delays (0x33/0x23 0x42).

#include "camera_model.h"
#include "reply_fields.h"

#include <algorithm>

namespace sim {
namespace {

constexpr std::uint8_t kAutoStart = 0x12;
constexpr std::uint8_t kDelays = 0x42;
constexpr std::uint8_t kOffset = 0x43;
constexpr std::uint8_t kLevel = 0x46;
// Where the Setup page's ALC/AES setting lives: group 0, entry 3 (0 ALC, 1 AES).
constexpr std::uint8_t kLensModeGroup = 0;
constexpr std::size_t kLensModeIndex = 3;

} // namespace

std::int8_t LensState::read_level()
{
    if (rng_seed_ != noise_seed) {
        noise_rng_.seed(noise_seed);
        rng_seed_ = noise_seed;
    }
    const int spread = std::max(noise, 0);
    const int jitter = spread == 0 ? 0 : std::uniform_int_distribution<int>(-spread, spread)(noise_rng_);
    const int level = gain * (target - seen_offset_) + bias + jitter;
    seen_offset_ = offset_;
    ++level_reads;
    return static_cast<std::int8_t>(std::clamp(level, -128, 127));
}

std::optional<CameraModel::Handler> CameraModel::find_lens_handler(std::uint8_t command_class, std::uint8_t sub)
{
    if (command_class == kClassRead) {
        switch (sub) {
        case kAutoStart: return &CameraModel::lens_auto_start;
        case kLevel: return &CameraModel::lens_read_level;
        case kOffset: return &CameraModel::lens_read_offset;
        case kDelays: return &CameraModel::lens_read_delays;
        default: return std::nullopt;
        }
    }
    if (command_class == kClassWrite) {
        switch (sub) {
        case kOffset: return &CameraModel::lens_write_offset;
        case kDelays: return &CameraModel::lens_write_delays;
        default: return std::nullopt;
        }
    }
    return std::nullopt;
}

// Reply byte 4: the lens mode; the camera adjusts only an ALC lens (0).
CameraModel::Outcome CameraModel::lens_auto_start(const frames::Frame&, frames::Frame& reply)
{
    reply[4] = setup_.group(kLensModeGroup)[kLensModeIndex];
    if (reply[4] == 0) ++lens_.auto_starts;
    return Outcome::Answer;
}

CameraModel::Outcome CameraModel::lens_read_level(const frames::Frame&, frames::Frame& reply)
{
    reply[3] = static_cast<std::uint8_t>(lens_.read_level());
    return Outcome::Answer;
}

CameraModel::Outcome CameraModel::lens_read_offset(const frames::Frame&, frames::Frame& reply)
{
    reply[3] = lens_.offset();
    return Outcome::Answer;
}

// 0x23 0x43 v 0x01.
CameraModel::Outcome CameraModel::lens_write_offset(const frames::Frame& command, frames::Frame& reply)
{
    lens_.set_offset(command[3]);
    ++lens_.offset_writes;
    echo_command_data(command, reply);
    return Outcome::Answer;
}

// Reply bytes 3 and 4: the delay word, most significant byte first.
CameraModel::Outcome CameraModel::lens_read_delays(const frames::Frame&, frames::Frame& reply)
{
    put_word(reply, 3, lens_.delays);
    return Outcome::Answer;
}

// 0x23 0x42 a b 0x01.
CameraModel::Outcome CameraModel::lens_write_delays(const frames::Frame& command, frames::Frame& reply)
{
    lens_.delays = word_at(command, 3);
    echo_command_data(command, reply);
    return Outcome::Answer;
}

} // namespace sim
