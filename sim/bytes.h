#pragma once
// The byte strings that travel on the simulated line.

#include <cstdint>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

} // namespace sim
