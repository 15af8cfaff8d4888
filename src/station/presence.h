#pragma once
// Whether a camera hangs on a port, and whether it is still the one that had the last job. A
// camera is present when it answers a probe: the read of the word it is watched by, every 0.5 s
// (on a line with modem signals only while it holds DSR on: DSR alone is not an answer). It is
// gone after three unanswered probes in a row, or at once when DSR drops; a camera that answers
// with another word is another camera.

#include "station/station_link.h"

#include <functional>
#include <optional>

namespace station {

// Whether a port goes on waiting and watching, asked once per probe interval; empty: it does.
using GoesOn = std::function<bool()>;

// Waits until a camera answers the read of the word at `address`, opening the port again when
// its line was lost. Returns that word; nothing when the station stops (or `go_on` says no) first.
std::optional<int> wait_for_camera(StationLink& link, int address, const GoesOn& go_on = {});

// Watches the camera that holds `word` at `address` (when known) until it is gone (or the line
// is lost, or the station stops, or `go_on` says no): nothing then. When a camera answers with
// another word there, another camera took its place: returns that word at once.
std::optional<int> watch_until_gone(StationLink& link, int address, std::optional<int> word, const GoesOn& go_on = {});

} // namespace station
