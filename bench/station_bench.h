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
    // The simulated camera's restart after the reset. Once the camera is silent the station repeats
    // its probe every 50 ms, so whatever the boot time it learns 0-50 ms late that the camera is
    // back; 2250 ms is the boot of the earlier figures, so that they compare.
    int boot_ms = 2250;
};

void station_section(Report& report, const StationSettings& settings);
