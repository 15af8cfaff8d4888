#pragma once
// Where a station's records go: `--db` names an SQLite file (a path) or a PostgreSQL database by a
// connection URI in libpq's form, postgresql://[user@][host][:port][/database][?key=value&...]
// (also postgres://). The password is never part of it: libpq reads ~/.pgpass or PGPASSWORD by
// itself when none is given, so it never shows in a process list or a shell history.

#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace station {

struct ServerUri {
    QString text;     // as given, for messages (it holds no password)
    QString user;     // empty: libpq's default (PGUSER, else the login name)
    QString host;     // a host name, an address or a socket folder; empty: libpq's default
    int port = -1;    // -1: libpq's default
    QString database; // empty: libpq's default (PGDATABASE, else the user name)
    // Any other parameter libpq knows (sslmode, connect_timeout, ...), decoded, in URI order.
    QList<std::pair<QString, QString>> parameters;
};

// True for a value with a scheme ("xyz://..."): a URI, never an SQLite path.
bool looks_like_uri(const QString& value);

// The parts of a postgresql:// or postgres:// URI; nothing, with a one-line reason in `error`,
// when it does not parse, holds a password or names a parameter libpq does not know.
std::optional<ServerUri> parse_server_uri(const QString& text, QString* error);

// Sets a parameter the URI does not give itself.
void set_default_parameter(ServerUri& uri, const QString& key, const QString& value);

// The parameters as Qt's PostgreSQL driver passes them to libpq: key='value' pairs.
QString connect_options(const QList<std::pair<QString, QString>>& parameters);

} // namespace station
