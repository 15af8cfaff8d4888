#pragma once
// The station's settings file, $XDG_CONFIG_HOME/camera-adjust/station.conf (Qt's INI format): what a
// plant deploys to every station PC. The command line's options override it; the window reads it
// too.
//
//   [station]
//   database=postgresql://station@records.plant.example/camera
//   name=line3-a
//   require_operator=false
//   require_approved=true

#include <QString>

namespace station {

struct StationConfig {
    QString database; // an SQLite path or a PostgreSQL URI; empty: the default SQLite file
    QString name;     // the station's name in its records; empty: the host name
    bool require_operator = false; // a run does not start without an operator's name
    bool require_approved = false; // a master is written only when its SHA-256 was approved
};

// $XDG_CONFIG_HOME/camera-adjust/station.conf ($HOME/.config when unset).
QString station_config_path();

// The settings of the file at `path`; a file that does not exist leaves the defaults. False with a
// one-line reason naming the file when it cannot be read, names a setting this station does not
// know (a misspelt require_approved must not pass unnoticed) or holds a yes/no setting that is
// neither.
bool read_station_config(const QString& path, StationConfig& config, QString* error);

} // namespace station
