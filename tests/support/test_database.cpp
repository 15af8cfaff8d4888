#include "support/test_database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int server_not_installed = 3; // scripts/pg-test-server.sh's exit status

// The script's exit status, or -1 when it could not be run; its output goes to the test's.
int run_script(const std::vector<std::string>& arguments)
{
    std::vector<std::string> words = {"/bin/bash", CAMERA_PG_TEST_SERVER};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

const TestServer& test_server()
{
    static const TestServer named = [] {
        TestServer server;
        server.host = qEnvironmentVariable("CAMERA_TEST_PGHOST");
        server.port = qEnvironmentVariableIntValue("CAMERA_TEST_PGPORT");
        server.port = server.port > 0 ? server.port : 5432;
        server.user = qEnvironmentVariable("CAMERA_TEST_PGUSER", QStringLiteral("postgres"));
        return server;
    }();
    if (!named.host.isEmpty())
        return named;
    static const std::unique_ptr<ThrowawayServer> own = std::make_unique<ThrowawayServer>();
    return own->server();
}

QString unique_name(const char* prefix)
{
    static std::atomic<int> counter{0};
    return QStringLiteral("%1_%2_%3").arg(QLatin1String(prefix)).arg(getpid()).arg(++counter);
}

QSqlDatabase connect_as_superuser(const QString& connection, const QString& database,
                                  const TestServer& server = test_server())
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
    db.setHostName(server.host);
    db.setPort(server.port);
    db.setUserName(server.user);
    db.setDatabaseName(database);
    db.open();
    return db;
}

// One statement on the server's maintenance database; the reason when it fails.
QString run_on_server(const QString& statement, const TestServer& server = test_server())
{
    const QString connection = unique_name("maintenance");
    QString why;
    {
        QSqlDatabase db = connect_as_superuser(connection, QStringLiteral("postgres"), server);
        QSqlQuery query(db);
        if (!db.isOpen())
            why = QStringLiteral("the test server at %1 does not answer: %2")
                      .arg(server.host, db.lastError().text());
        else if (!query.exec(statement))
            why = query.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return why;
}

} // namespace

TestDatabase::TestDatabase() : name_(unique_name("camera_test")), connection_(unique_name("look"))
{
    const TestServer& server = test_server();
    problem_ = server.problem;
    skip_ = server.skip;
    if (problem_.isEmpty())
        problem_ = run_on_server(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0").arg(name_));
    if (!problem_.isEmpty())
        name_.clear();
}

TestDatabase::~TestDatabase()
{
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
    if (!name_.isEmpty())
        run_on_server(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name_));
}

static QString uri_of(const TestServer& server, const QString& database, const QString& user)
{
    auto encoded = [](const QString& text) {
        return QString::fromLatin1(QUrl::toPercentEncoding(text));
    };
    return QStringLiteral("postgresql://") + encoded(user.isEmpty() ? server.user : user)
        + QStringLiteral("@/") + encoded(database) + QStringLiteral("?host=") + encoded(server.host)
        + QStringLiteral("&port=") + QString::number(server.port);
}

QString TestDatabase::uri_for(const QString& database, const QString& user)
{
    return uri_of(test_server(), database, user);
}

const TestServer& TestDatabase::server()
{
    return test_server();
}

ThrowawayServer::ThrowawayServer()
{
    char pattern[] = "/tmp/camera-pg.XXXXXX";
    if (!mkdtemp(pattern)) {
        server_.problem = QStringLiteral("cannot make a folder for a test server in /tmp");
        return;
    }
    folder_ = pattern;
    const int status = run_script({"start", folder_, std::to_string(getpid())});
    server_.host = QString::fromStdString(folder_);
    server_.user = QStringLiteral("postgres");
    if (status == server_not_installed) {
        server_.skip = true;
        server_.problem = QStringLiteral(
            "PostgreSQL's server is not installed (the postgresql package): no test server");
    } else if (status != 0) {
        server_.problem = QStringLiteral("the throwaway PostgreSQL server did not start "
                                         "(scripts/pg-test-server.sh, exit %1)").arg(status);
    }
}

ThrowawayServer::~ThrowawayServer()
{
    if (!folder_.empty())
        run_script({"stop", folder_});
}

QString ThrowawayServer::create_database(const QString& name, QString* problem)
{
    *problem = server_.problem;
    if (problem->isEmpty())
        *problem = run_on_server(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0").arg(name), server_);
    return problem->isEmpty() ? uri(name) : QString();
}

QString ThrowawayServer::uri(const QString& database) const
{
    return uri_of(server_, database, QString());
}

bool ThrowawayServer::halt()
{
    return run_script({"halt", folder_}) == 0;
}

bool ThrowawayServer::resume()
{
    return run_script({"resume", folder_}) == 0;
}

QSqlDatabase TestDatabase::superuser_connection() const
{
    if (QSqlDatabase::contains(connection_))
        return QSqlDatabase::database(connection_);
    return connect_as_superuser(connection_, name_);
}
