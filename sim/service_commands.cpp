// The simulated camera's answers to the service commands: presets and the WDR test.

#include "camera_model.h"
#include "reply_fields.h"

#include <algorithm>

namespace sim {
namespace {

constexpr std::uint8_t kSubPreset = 0x30;
constexpr std::uint8_t kPresetSave = 0x01;
constexpr std::uint8_t kSubWdrTest = 0x3A;
constexpr std::uint8_t kWdrTestMode = 0x00;
constexpr std::uint8_t kWdrShutterNo = 0x02;
constexpr std::uint8_t kWdrTestModeRead = 0x03;

// The camera's WDR test shutter numbers run 0..63.
constexpr std::uint8_t kWdrShutterMax = 63;

} // namespace

std::optional<CameraModel::Handler> CameraModel::find_service_handler(std::uint8_t command_class,
                                                                      std::uint8_t sub)
{
    if (command_class == kClassWrite && sub == kSubPreset) return &CameraModel::write_preset;
    if (command_class == kClassWrite && sub == kSubWdrTest) return &CameraModel::write_wdr_test;
    if (command_class == kClassRead && sub == kSubWdrTest) return &CameraModel::read_wdr_test;
    return std::nullopt;
}

// 0x23 0x30 0x01: store the presets. Any other item is refused.
CameraModel::Outcome CameraModel::write_preset(const frames::Frame& command, frames::Frame& reply)
{
    echo_command_data(command, reply);
    if (command[3] != kPresetSave) {
        reply[1] = kReplyRefused;
        return Outcome::Answer;
    }
    ++service_.preset_saves;
    return Outcome::Answer;
}

// 0x23 0x3A 0x00 m (1 Auto, 2 Fix) and 0x23 0x3A 0x02 n (0..63); the command is echoed.
CameraModel::Outcome CameraModel::write_wdr_test(const frames::Frame& command, frames::Frame& reply)
{
    echo_command_data(command, reply);
    const std::uint8_t value = command[4];
    if (command[3] == kWdrTestMode
        && (value == ServiceState::kWdrTestAuto || value == ServiceState::kWdrTestFix)) {
        service_.wdr_test_mode = value;
    } else if (command[3] == kWdrShutterNo && value <= kWdrShutterMax) {
        service_.wdr_shutter_no = value;
    } else {
        reply[1] = kReplyRefused;
    }
    return Outcome::Answer;
}

// 0x33 0x3A 0x03: the WDR test mode in reply byte 4 (bytes 2 and 3 echo the command).
CameraModel::Outcome CameraModel::read_wdr_test(const frames::Frame& command, frames::Frame& reply)
{
    if (command[3] != kWdrTestModeRead) {
        reply[1] = kReplyRefused;
        return Outcome::Answer;
    }
    reply[4] = service_.wdr_test_mode;
    return Outcome::Answer;
}

} // namespace sim
