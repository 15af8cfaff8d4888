#pragma once
// The simulated camera's state behind the CCD Defect page's commands.

namespace sim {

struct DefectState {
};

} // namespace sim
