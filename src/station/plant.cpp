#include "station/plant.h"

#include "records/server_records.h"

#include <QFileInfo>
#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>

namespace station {
namespace {

// A start does not wait long for a server that does not answer: the journal takes the records.
constexpr const char* kStartConnectSeconds = "3";

StartCheck refused(const QString& error)
{
    StartCheck check;
    check.ok = false;
    check.error = error;
    return check;
}

std::optional<bool> in_copy(const ApprovalsCopy& copy, const QString& sha256)
{
    return std::any_of(copy.approvals.begin(), copy.approvals.end(),
                       [&](const Approval& approval) { return approval.file_sha256 == sha256; });
}

// Whether `master` is approved, and how that was found out when the server could not say.
std::optional<bool> approved(const RecordsPlan& plan, Records& journal, ServerRecords& server,
                             const MasterFile& master, StartCheck& check, QString* error)
{
    if (!plan.server)
        return journal.is_approved(master.sha256, error);
    if (server.is_open())
        return server.is_approved(master.sha256, error);
    const std::optional<ApprovalsCopy> copy = journal.server_approvals(error);
    if (!copy)
        return std::nullopt;
    if (!copy->made.isValid()) {
        *error = QStringLiteral("the server cannot be reached and the journal holds no copy of its approvals yet");
        return std::nullopt;
    }
    check.notes << QStringLiteral("the server cannot be reached: %1 was checked against the journal's copy of its "
                                  "approvals made %2")
                       .arg(QFileInfo(master.path).fileName(), local_time_text(copy->made));
    return in_copy(*copy, master.sha256);
}

} // namespace

QString RecordsPlan::where() const
{
    return server ? QStringLiteral("%1 (journal %2)").arg(server->text, journal) : journal;
}

bool plan_records(const StationConfig& config, const QString& db_option, const QString& station_option,
                  RecordsPlan& plan, QString* error)
{
    plan = RecordsPlan{};
    plan.require_operator = config.require_operator;
    plan.require_approved = config.require_approved;
    plan.station_name = !station_option.isEmpty() ? station_option
                        : !config.name.isEmpty()  ? config.name
                                                  : QSysInfo::machineHostName();
    const QString database = db_option.isEmpty() ? config.database : db_option;
    if (!looks_like_uri(database)) {
        plan.journal = database.isEmpty() ? Records::default_path() : database;
        return true;
    }
    plan.journal = Records::default_path();
    QString why;
    plan.server = parse_server_uri(database, &why);
    if (!plan.server && error)
        *error = QStringLiteral("the database URI does not parse: %1").arg(why); // it may hold a password: not shown
    return plan.server.has_value();
}

StartCheck check_before_run(const RecordsPlan& plan, const MasterFile* master)
{
    StartCheck check;
    Records journal;
    ServerRecords server;
    QString error;
    if (!journal.open(plan.journal, &error))
        return refused(error);
    if (plan.server) {
        ServerUri uri = *plan.server;
        set_default_parameter(uri, QStringLiteral("connect_timeout"), QLatin1String(kStartConnectSeconds));
        switch (server.open(uri, &error)) {
        case ServerOpen::Refused: return refused(error);
        case ServerOpen::Unreachable:
            check.notes << QStringLiteral("%1; the records wait in the journal %2 and go out when it answers")
                               .arg(error, plan.journal);
            break;
        case ServerOpen::Opened:
            if (const std::optional<QList<Approval>> approvals = server.approvals())
                journal.keep_server_approvals(*approvals);
            break;
        }
    }
    if (!plan.require_approved || !master)
        return check;
    const std::optional<bool> is_approved = approved(plan, journal, server, *master, check, &error);
    if (!is_approved)
        return refused(QStringLiteral("cannot tell whether %1 (SHA-256 %2) is approved: %3").arg(master->path, master->sha256, error));
    if (!*is_approved)
        return refused(not_approved_text(*master));
    return check;
}

QString not_approved_text(const MasterFile& master)
{
    return QStringLiteral("%1 (SHA-256 %2) is not approved for writing: the station's settings ask for approved "
                          "masters (camera-station approve)")
        .arg(master.path, master.sha256);
}

QString approver_name(const QString& operator_name)
{
    if (!operator_name.isEmpty())
        return operator_name;
    if (const passwd* user = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(user->pw_name);
    return qEnvironmentVariable("USER");
}

} // namespace station
