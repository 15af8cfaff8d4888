#pragma once
// A fresh, empty PostgreSQL database for one test, dropped at its end.
//
// The server is the one scripts/test.sh started, named by CAMERA_TEST_PGHOST (its socket
// folder), CAMERA_TEST_PGPORT and CAMERA_TEST_PGUSER (a superuser). Without them (ctest run by
// hand) the test program starts a throwaway server of its own with scripts/pg-test-server.sh, for
// as long as it runs. Only when that is impossible because PostgreSQL's server is not installed
// are the tests skipped; a server that was named but does not answer fails them.

#include <QSqlDatabase>
#include <QString>

#include <string>

#include <gtest/gtest.h>

struct TestServer {
    QString host; // the socket folder
    int port = 5432;
    QString user;
    QString problem;
    bool skip = false;
};

// A throwaway server of the test program's own (scripts/pg-test-server.sh), removed when the object
// goes, and by a watcher when the program is killed. A test that stops and starts its server uses
// one of these, never the server that other programs share.
class ThrowawayServer {
public:
    ThrowawayServer();
    ~ThrowawayServer();
    ThrowawayServer(const ThrowawayServer&) = delete;
    ThrowawayServer& operator=(const ThrowawayServer&) = delete;

    const TestServer& server() const { return server_; }
    // A new database; its URI, or empty with the reason in `problem`.
    QString create_database(const QString& name, QString* problem);
    QString uri(const QString& database) const;
    // Stops the server (its sessions end, as when the network drops), keeping its data; starts it
    // again. False when that failed.
    bool halt();
    bool resume();

private:
    std::string folder_;
    TestServer server_;
};

class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // Empty when the database is ready; else why not. skip() tells whether to skip rather than
    // fail.
    const QString& problem() const { return problem_; }
    bool skip() const { return skip_; }

    QString name() const { return name_; }
    QString uri() const { return uri_for(name_); }
    // A URI of the test server for another database or login, e.g. to see them refused.
    static QString uri_for(const QString& database, const QString& user = QString());
    // The server the databases are made on.
    static const TestServer& server();

    // A plain connection to the database as the superuser, to look inside or change it.
    QSqlDatabase superuser_connection() const;

private:
    QString name_;
    QString connection_;
    QString problem_;
    bool skip_ = false;
};

// Tests that need a database derive from this: it is skipped or fails in SetUp as above.
class ServerDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (database_.skip())
            GTEST_SKIP() << database_.problem().toStdString();
        ASSERT_TRUE(database_.problem().isEmpty()) << database_.problem().toStdString();
    }

    TestDatabase database_;
};
