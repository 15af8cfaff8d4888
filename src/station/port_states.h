#pragma once
// The words a port's state is reported in: the terminal and the JSON events print them, and the
// station's window maps them to its tiles, so each is written once, here.

#include <QLatin1String>

namespace station::port_state {

constexpr QLatin1String kWaiting{"waiting for a camera"};
constexpr QLatin1String kScanSerial{"scan the serial number"};
// A camera waits for its serial number while another port asks for one.
constexpr QLatin1String kTurnToAsk{"another port asks first"};
constexpr QLatin1String kFound{"camera found"};
constexpr QLatin1String kUnplug{"unplug the camera"};
// The job's row cannot be written yet (the database is locked or full): the port tries again
// and takes no new camera meanwhile.
constexpr QLatin1String kWaitingToRecord{"waiting to record"};
// The steps of a job, reported with their progress.
constexpr QLatin1String kReading{"reading"};
constexpr QLatin1String kWriting{"writing"};
constexpr QLatin1String kBooting{"booting"};
constexpr QLatin1String kVerifying{"verifying"};

} // namespace station::port_state
