#include "pages/areas/area_mask.h"

namespace areas {

Mask pack(const Cells& cells)
{
    Mask mask{};
    for (int i = 0; i < kCells; ++i) {
        if (cells[static_cast<std::size_t>(i)])
            mask[static_cast<std::size_t>(i / kColumns)] |= static_cast<std::uint8_t>(1u << (i % kColumns));
    }
    return mask;
}

Cells unpack(const Mask& mask)
{
    Cells cells{};
    for (int i = 0; i < kCells; ++i)
        cells[static_cast<std::size_t>(i)] = (mask[static_cast<std::size_t>(i / kColumns)] >> (i % kColumns)) & 1u;
    return cells;
}

} // namespace areas
