#pragma once
// Where a station's records go and what a run checks about them before any camera is touched:
// the command line and the window share this.
//
// Without a server the records are the SQLite file (--db PATH, or the default). With a plant's
// PostgreSQL server (--db URI, or the settings file's database) every job is written first to
// the station's journal, the default SQLite file, and a Forwarder sends it to the server.

#include "records/records.h"
#include "records/server_uri.h"
#include "station/master_file.h"
#include "station/station_config.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace station {

struct RecordsPlan {
    QString journal;                  // the SQLite file every job is written to first
    std::optional<ServerUri> server;  // the plant's server, when one is set
    QString station_name;             // named in every record
    bool require_operator = false;
    bool require_approved = false;

    // "postgresql://station@records.plant.example/camera (journal /home/line/.../station.sqlite)"
    // or the SQLite file's path.
    QString where() const;
};

// From the settings file, overridden by --db and --station (empty when not given). False with a
// one-line reason when the database is a URI that does not parse.
bool plan_records(const StationConfig& config, const QString& db_option, const QString& station_option,
                  RecordsPlan& plan, QString* error);

// What a run found before any camera was touched.
struct StartCheck {
    bool ok = true;
    QString error;     // one line: why the run must not start
    QStringList notes; // what the operator should know (the server cannot be reached, ...)
};

// Opens the journal (made when missing) and the server (a server that refuses the login or has
// no such database is an error; one that cannot be reached is not: the journal takes the records,
// and the note says so); with require_approved, checks that `master`, when the run writes it,
// is approved: on the server, else (the server away) by the journal's copy of its approvals, or
// in the SQLite file without a server.
StartCheck check_before_run(const RecordsPlan& plan, const MasterFile* master);

// "master.dat (SHA-256 ...) is not approved for writing": why a run refuses an unapproved master.
QString not_approved_text(const MasterFile& master);

// Who approves a master: the operator when named, else the user's login name.
QString approver_name(const QString& operator_name);

} // namespace station
