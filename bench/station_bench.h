#pragma once
// The clone station (camera-station, as its own process) writing a master file into cameras
// simulated by camera-sim processes paced at 19200 baud, one simulator per port, 1 to 8 ports at
// once: each camera's cycle (the reads before the block, the block, the reset, the boot, the
// read-back) against its time on a real line, and the cameras per hour.

#include "report.h"

#include <vector>

struct StationSettings {
    std::vector<int> port_counts{1, 2, 4, 8};
    int runs = 2;        // of each port count
    // The simulated camera's restart after the reset. The station probes every 500 ms, so a boot of
    // a whole number of intervals would race its probe; this one ends halfway between two probes,
    // the mean wait for a camera whose boot time is not known.
    int boot_ms = 2250;
};

void station_section(Report& report, const StationSettings& settings);
