#pragma once
// The simulated camera's state behind the Lens Adjust page's commands.

namespace sim {

struct LensState {
};

} // namespace sim
