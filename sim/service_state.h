#pragma once
// The simulated camera's state behind the menu keys and service commands: presets and the WDR test.

namespace sim {

struct ServiceState {
};

} // namespace sim
