#include "records/server_uri.h"

#include "link/hex_text.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace station {

namespace {

const QString password_refused =
    QStringLiteral("the password never on the command line: libpq's ~/.pgpass or PGPASSWORD");

// The connection parameters libpq 15 knows besides the parts the URI names by position (user,
// host, port, dbname) and the passwords, which are refused.
const QStringList known_parameters = {
    QStringLiteral("application_name"), QStringLiteral("channel_binding"),
    QStringLiteral("client_encoding"), QStringLiteral("connect_timeout"),
    QStringLiteral("fallback_application_name"), QStringLiteral("gssencmode"),
    QStringLiteral("gsslib"), QStringLiteral("hostaddr"), QStringLiteral("keepalives"),
    QStringLiteral("keepalives_count"), QStringLiteral("keepalives_idle"),
    QStringLiteral("keepalives_interval"), QStringLiteral("krbsrvname"), QStringLiteral("options"),
    QStringLiteral("passfile"), QStringLiteral("replication"), QStringLiteral("requirepeer"),
    QStringLiteral("service"), QStringLiteral("ssl_max_protocol_version"),
    QStringLiteral("ssl_min_protocol_version"), QStringLiteral("sslcert"),
    QStringLiteral("sslcompression"), QStringLiteral("sslcrl"), QStringLiteral("sslcrldir"),
    QStringLiteral("sslkey"), QStringLiteral("sslmode"), QStringLiteral("sslrootcert"),
    QStringLiteral("sslsni"), QStringLiteral("target_session_attrs"),
    QStringLiteral("tcp_user_timeout"),
};

// %XX escapes to bytes, then UTF-8, into `decoded`; the reason when an escape is bad. libpq
// refuses %00, which would end its C string early.
QString percent_decode(const QString& text, QString* decoded)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('%')) {
            bytes += QString(text[i]).toUtf8();
            continue;
        }
        const int value = i + 2 < text.size() ? hex_pair_value(text[i + 1], text[i + 2]) : -1;
        if (value < 0)
            return QStringLiteral("invalid percent escape \"%1\"").arg(text.mid(i, 3));
        if (value == 0)
            return QStringLiteral("a percent escape may not stand for a zero byte (%00)");
        bytes += char(value);
        i += 2;
    }
    *decoded = QString::fromUtf8(bytes);
    return {};
}

QString read_port(const QString& text, int* port)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const int number = digits.match(text).hasMatch() ? text.toInt() : 0;
    if (number < 1 || number > 65535)
        return QStringLiteral("invalid port \"%1\"").arg(text);
    *port = number;
    return {};
}

QString read_host(const QString& host, QString* into)
{
    if (host.contains(QLatin1Char(',')))
        return QStringLiteral("only one host is supported");
    *into = host;
    return {};
}

// host[:port], host also an IPv6 address in brackets; the host still percent-encoded.
QString split_host_port(const QString& host_port, QString* host, QString* port)
{
    if (!host_port.startsWith(QLatin1Char('['))) {
        const qsizetype colon = host_port.indexOf(QLatin1Char(':'));
        *host = host_port.left(colon < 0 ? host_port.size() : colon);
        *port = colon < 0 ? QString() : host_port.mid(colon + 1);
        return {};
    }
    const qsizetype close = host_port.indexOf(QLatin1Char(']'));
    if (close < 0)
        return QStringLiteral("the IPv6 address has no closing \"]\"");
    const QString after = host_port.mid(close + 1);
    if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
        return QStringLiteral("unexpected \"%1\" after the IPv6 address").arg(after);
    *host = host_port.mid(1, close - 1);
    *port = after.isEmpty() ? QString() : after.mid(1);
    return {};
}

// [user@]host[:port]; the host may be a percent-encoded socket folder.
QString read_authority(const QString& authority, ServerUri& uri)
{
    const qsizetype at = authority.indexOf(QLatin1Char('@'));
    const QString user_info = authority.left(std::max<qsizetype>(at, 0));
    if (user_info.contains(QLatin1Char(':')))
        return password_refused;
    QString host;
    QString port;
    QString why = percent_decode(user_info, &uri.user);
    if (why.isEmpty())
        why = split_host_port(authority.mid(at + 1), &host, &port);
    if (why.isEmpty())
        why = percent_decode(host, &host);
    if (why.isEmpty())
        why = read_host(host, &uri.host);
    if (why.isEmpty() && (!port.isEmpty() || authority.endsWith(QLatin1Char(':'))))
        why = read_port(port, &uri.port);
    return why;
}

// One key=value of the query. The positional parts may be given here too, and win, as in libpq.
QString read_parameter(QString key, QString value, ServerUri& uri)
{
    if (key == QLatin1String("ssl") && value == QLatin1String("true")) { // libpq's shorthand
        key = QStringLiteral("sslmode");
        value = QStringLiteral("require");
    }
    if (key == QLatin1String("password") || key == QLatin1String("sslpassword"))
        return password_refused;
    if (key == QLatin1String("user"))
        uri.user = value;
    else if (key == QLatin1String("dbname"))
        uri.database = value;
    else if (key == QLatin1String("host"))
        return read_host(value, &uri.host);
    else if (key == QLatin1String("port"))
        return read_port(value, &uri.port);
    else if (!known_parameters.contains(key))
        return QStringLiteral("unknown parameter \"%1\"").arg(key);
    else if (value.contains(QLatin1Char(';'))) // Qt's driver reads every ';' as a separator
        return QStringLiteral("the value of \"%1\" may not hold \";\"").arg(key);
    else {
        uri.parameters.removeIf([&key](const auto& parameter) { return parameter.first == key; });
        uri.parameters.append({key, value});
    }
    return {};
}

QString read_query(const QString& query, ServerUri& uri)
{
    for (const QString& item : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        if (equals < 0)
            return QStringLiteral("the parameter \"%1\" has no value").arg(item);
        QString key;
        QString value;
        QString why = percent_decode(item.left(equals), &key);
        if (why.isEmpty())
            why = percent_decode(item.mid(equals + 1), &value);
        if (why.isEmpty())
            why = read_parameter(key, value, uri);
        if (!why.isEmpty())
            return why;
    }
    return {};
}

QString read_uri(const QString& text, ServerUri& uri)
{
    const qsizetype scheme_end = text.indexOf(QLatin1String("://"));
    const QString scheme = text.left(scheme_end).toLower();
    if (scheme_end < 0
        || (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres")))
        return QStringLiteral("not a PostgreSQL URI: it begins with postgresql:// or postgres://");
    uri.text = text;
    QString rest = text.mid(scheme_end + 3);
    const qsizetype question = rest.indexOf(QLatin1Char('?'));
    const QString query = question < 0 ? QString() : rest.mid(question + 1);
    rest.truncate(question < 0 ? rest.size() : question);
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    QString why = read_authority(rest.left(slash < 0 ? rest.size() : slash), uri);
    if (why.isEmpty() && slash >= 0)
        why = percent_decode(rest.mid(slash + 1), &uri.database);
    return why.isEmpty() ? read_query(query, uri) : why;
}

} // namespace

bool looks_like_uri(const QString& value)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(value).hasMatch();
}

std::optional<ServerUri> parse_server_uri(const QString& text, QString* error)
{
    ServerUri uri;
    const QString why = read_uri(text, uri);
    if (why.isEmpty())
        return uri;
    if (error)
        *error = why;
    return std::nullopt;
}

void set_default_parameter(ServerUri& uri, const QString& key, const QString& value)
{
    const bool given = std::any_of(uri.parameters.begin(), uri.parameters.end(),
                                   [&](const auto& parameter) { return parameter.first == key; });
    if (!given)
        uri.parameters.append({key, value});
}

QString connect_options(const QList<std::pair<QString, QString>>& parameters)
{
    QStringList options;
    for (const auto& [key, value] : parameters) {
        QString quoted = value;
        quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        quoted.replace(QLatin1Char('\''), QLatin1String("\\'"));
        options << QStringLiteral("%1='%2'").arg(key, quoted);
    }
    return options.join(QLatin1Char(' '));
}

} // namespace station
