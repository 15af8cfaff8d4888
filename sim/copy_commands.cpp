// The simulated camera's answers to the Copy page's own commands, the seed of its memory, and
// what a production line sees of it: one camera after another (or one unit of a product after
// another), and a cell that does not take writes. The Copy page uses the common EEPROM read
// (0x33 0x0C), the reset and the parameter block.

#include "camera_model.h"

#include <algorithm>
#include <string>

namespace sim {

std::optional<CameraModel::Handler> CameraModel::find_copy_handler(std::uint8_t, std::uint8_t)
{
    return std::nullopt;
}

void CameraModel::set_seed(std::uint32_t seed)
{
    seed_ = seed;
    setup_.set_factory_title(seed == 0 ? std::string("CAM 1") : "CAM" + std::to_string(seed));
    restore_factory_image();
}

CameraModel CameraModel::another_camera(std::uint32_t seed) const
{
    CameraModel next;
    next.product_ = product_;
    next.set_seed(seed);
    next.set_pal(is_pal());
    next.set_hi_resolution(is_hi_resolution());
    next.setup_.set_external_sync_input(setup_.has_external_sync_input());
    next.camera_id_ = camera_id_;
    next.unwritten_word_ = unwritten_word_;
    return next;
}

CameraModel CameraModel::written_alike(std::uint32_t seed) const
{
    CameraModel next = another_camera(seed);
    const auto own = next.params_;
    std::copy_n(params_.begin(), kParamWords - 1, next.params_.begin());
    if (product_) { // a unit written keeping its own words
        for (std::size_t k = product_->own_first; k <= product_->own_last && k < kParamWords; ++k) next.params_[k] = own[k];
    }
    next.power_on_reset();
    return next;
}

void CameraModel::set_product(std::optional<Product> product)
{
    product_ = product;
    restore_factory_image();
}

void CameraModel::store_param(std::size_t addr, std::uint16_t value)
{
    if (addr != unwritten_word_) params_.at(addr) = value;
}

} // namespace sim
