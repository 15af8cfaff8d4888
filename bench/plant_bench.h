#pragma once
// A plant's records on a PostgreSQL server: station processes (camera-station --loop) each with
// its simulated cameras (camera-sim processes answering at once) forwarding their journals to one
// local server started with fsync on; how long a job's row takes from the job's end to its commit
// on the server, and how fast a journal's backlog goes out once the server is back.

#include "report.h"

#include <QString>

struct PlantSettings {
    QString server_socket; // the folder of the server's Unix socket (scripts/bench.sh starts it)
    int stations = 8;
    int ports = 8;         // per station, one simulator each
    int seconds = 60;      // of cameras coming and going
    int backlog = 10000;   // journal rows forwarded at once
};

void plant_section(Report& report, const PlantSettings& settings);
