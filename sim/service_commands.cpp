// The simulated camera's answers to the service commands: presets and the WDR test.

#include "camera_model.h"

namespace sim {

std::optional<CameraModel::Handler> CameraModel::find_service_handler(std::uint8_t, std::uint8_t)
{
    return std::nullopt;
}

} // namespace sim
