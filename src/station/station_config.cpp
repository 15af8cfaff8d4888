#include "station/station_config.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <optional>

namespace station {
namespace {

const QString kGroup = QStringLiteral("station");
const QStringList kKnownKeys = {QStringLiteral("database"), QStringLiteral("name"), QStringLiteral("require_operator"),
                                QStringLiteral("require_approved")};

std::optional<bool> yes_or_no(const QString& text)
{
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("true") || word == QLatin1String("yes") || word == QLatin1String("on") || word == QLatin1String("1"))
        return true;
    if (word == QLatin1String("false") || word == QLatin1String("no") || word == QLatin1String("off") || word == QLatin1String("0"))
        return false;
    return std::nullopt;
}

} // namespace

QString station_config_path()
{
    QString config_home = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config_home.isEmpty() || QDir::isRelativePath(config_home))
        config_home = QDir::homePath() + QStringLiteral("/.config");
    return config_home + QStringLiteral("/camera-adjust/station.conf");
}

bool read_station_config(const QString& path, StationConfig& config, QString* error)
{
    const auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("cannot use the settings file %1: %2").arg(path, why);
        return false;
    };
    if (!QFileInfo::exists(path))
        return true;
    if (!QFileInfo(path).isReadable())
        return fail(QStringLiteral("it cannot be read"));
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return fail(QStringLiteral("it is not a settings file of the form \"[station]\" and key=value lines"));
    file.beginGroup(kGroup);
    for (const QString& key : file.childKeys()) {
        if (!kKnownKeys.contains(key))
            return fail(QStringLiteral("unknown setting \"%1\" in [station] (known: %2)").arg(key, kKnownKeys.join(QStringLiteral(", "))));
    }
    config.database = file.value(QStringLiteral("database"), config.database).toString().trimmed();
    config.name = file.value(QStringLiteral("name"), config.name).toString().trimmed();
    for (auto [key, flag] : {std::pair{QStringLiteral("require_operator"), &config.require_operator},
                             std::pair{QStringLiteral("require_approved"), &config.require_approved}}) {
        if (!file.contains(key))
            continue;
        const QString text = file.value(key).toString();
        const std::optional<bool> value = yes_or_no(text);
        if (!value)
            return fail(QStringLiteral("%1=%2: true or false").arg(key, text));
        *flag = *value;
    }
    return true;
}

} // namespace station
