#pragma once
// Whether a camera hangs on a port. On a line with modem signals a camera holds DSR on, and its
// change is awaited as an event; on a line without them (a pseudo-terminal, a three-wire cable)
// and while DSR is off, a camera is present when it answers a probe read, sent every 0.5 s, and
// gone after three unanswered probes in a row.

#include "station/station_link.h"

namespace station {

enum class PresentBy { Dsr, Probe };

// Waits until a camera is present, opening the port again when its line was lost. False when
// the station stops first.
bool wait_for_camera(StationLink& link, PresentBy& by);

// Waits until the camera that `by` found has gone (or the line is lost, or the station stops).
void wait_until_gone(StationLink& link, PresentBy by);

} // namespace station
