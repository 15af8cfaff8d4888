// The simulated camera's answers to the Lens Adjust page's own commands.

#include "camera_model.h"

namespace sim {

std::optional<CameraModel::Handler> CameraModel::find_lens_handler(std::uint8_t, std::uint8_t)
{
    return std::nullopt;
}

} // namespace sim
