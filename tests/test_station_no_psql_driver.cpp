// A station PC without Qt's PostgreSQL driver (libqt6sql6-psql not installed) and a server in its
// settings: the start is refused with the package to install, never taken for a server that is
// merely away (which would let the journal fill while nothing ever reaches the server). Its own
// program: Qt loads the SQL drivers once per process, from the plugin folders it is given here.

#include "station/plant.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QSqlDatabase>
#include <QTemporaryDir>

namespace {

TEST(StationWithoutPostgresDriver, RefusesToStartNamingThePackage)
{
    QTemporaryDir plugins;
    ASSERT_TRUE(plugins.isValid());
    // Only the SQLite driver, for the journal.
    const QString sqlite = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/sqldrivers/libqsqlite.so");
    ASSERT_TRUE(QDir().mkpath(plugins.filePath(QStringLiteral("sqldrivers"))));
    ASSERT_TRUE(QFile::link(sqlite, plugins.filePath(QStringLiteral("sqldrivers/libqsqlite.so")))) << sqlite.toStdString();
    QCoreApplication::setLibraryPaths({plugins.path()});
    ASSERT_TRUE(QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")));
    ASSERT_FALSE(QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")));

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    station::RecordsPlan plan;
    plan.journal = folder.filePath(QStringLiteral("journal.sqlite"));
    plan.server = station::parse_server_uri(QStringLiteral("postgresql:///camera?host=%1").arg(folder.path()), nullptr);
    ASSERT_TRUE(plan.server.has_value());
    const station::StartCheck check = station::check_before_run(plan, nullptr);
    EXPECT_FALSE(check.ok) << check.notes.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(check.error.contains(QStringLiteral("the PostgreSQL driver of Qt SQL is missing (install libqt6sql6-psql)")))
        << check.error.toStdString();
}

} // namespace
