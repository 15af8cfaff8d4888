#pragma once
// The shipped program (camera-adjust) started as its own process against the simulator of a
// BenchRig: the time from the start to its first command on the wire, then its resident memory
// and its CPU use while it sits connected and idle.

#include "bench_rig.h"
#include "process_probe.h"

#include <vector>

struct StartupFigures {
    std::vector<double> to_first_command_ms; // one per start
    long rss_after_load_kib = -1;            // of the last start, once its Setup load is done
    std::vector<ThreadDelta> idle_threads;    // over the idle window of the last start
    double idle_seconds = 0;
    int load_units = 0;                      // units the last start sent while loading
};

// `starts` starts; the last one is kept connected and idle for idle_seconds.
StartupFigures probe_startup(BenchRig& rig, int starts, double idle_seconds);
