// The simulated camera's answers to the Copy page's own commands.

#include "camera_model.h"

namespace sim {

std::optional<CameraModel::Handler> CameraModel::find_copy_handler(std::uint8_t, std::uint8_t)
{
    return std::nullopt;
}

} // namespace sim
