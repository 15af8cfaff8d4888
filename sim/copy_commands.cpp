// The simulated camera's answers to the Copy page's own commands, and the seed of its memory.
// The Copy page uses the common EEPROM read (0x33 0x0C), the reset and the parameter block.

#include "camera_model.h"

namespace sim {

std::optional<CameraModel::Handler> CameraModel::find_copy_handler(std::uint8_t, std::uint8_t)
{
    return std::nullopt;
}

void CameraModel::set_seed(std::uint32_t seed)
{
    seed_ = seed;
    restore_factory_image();
}

} // namespace sim
