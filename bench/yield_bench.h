#pragma once
// The yield over a plant's year: 1,000,000 job records (four stations, eight ports, retests,
// camera failures and station faults), counted by `camera-station stats`'s query in an SQLite
// file and on a PostgreSQL server; and how long the Yield view holds the window's thread when it
// takes new figures.

#include "report.h"

#include <QString>

struct YieldBenchSettings {
    int rows = 1000000;
    int runs = 3;           // of each count
    QString server_uri;     // a database on a server; empty: the server is not measured
};

void yield_section(Report& report, const YieldBenchSettings& settings);
