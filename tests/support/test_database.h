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

#include <gtest/gtest.h>

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
