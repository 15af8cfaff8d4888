#pragma once
// Helpers shared by the tests of the menu keys, service commands and trims.

#include "support/window_fixture.h"

#include <algorithm>

namespace service_test {

// How many times the camera received exactly this command frame.
inline long times_received(sim::SimCamera& camera, const Bytes& body)
{
    const Bytes frame = expected_frame(body);
    const auto units = camera.received();
    return std::count(units.begin(), units.end(), frame);
}

// Waits until the camera has received this command frame at least once.
inline bool wait_for_frame(sim::SimCamera& camera, const Bytes& body, int timeout_ms = 15000)
{
    return QTest::qWaitFor([&] { return times_received(camera, body) > 0; }, timeout_ms);
}

} // namespace service_test
