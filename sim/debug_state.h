#pragma once
// The simulated camera's state behind the Debug page's commands.

namespace sim {

struct DebugState {
};

} // namespace sim
