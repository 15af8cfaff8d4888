#include "station/plant_commands.h"

#include "records/server_records.h"

#include <QFileInfo>

#include <cstdio>

namespace station {
namespace {

constexpr int kSetUpError = 2;
// How long the end of a run waits for the records still waiting to go out.
constexpr int kLastSendMs = 5000;

void print_error(const QString& line)
{
    std::fprintf(stderr, "camera-station: %s\n", line.toLocal8Bit().constData());
}

// A reader that stops early (| head) leaves the rest unwritten: status 1, no message.
int print(const QString& text)
{
    return std::fputs(text.toUtf8().constData(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

// The server of the plan, opened; nothing (and the reason printed) when it cannot be.
bool open_server(const RecordsPlan& plan, ServerRecords& server)
{
    QString error;
    if (server.open(*plan.server, &error) == ServerOpen::Opened) return true;
    print_error(error + QStringLiteral(" (this station's own journal: --db %1)").arg(plan.journal));
    return false;
}

std::optional<QList<JobRow>> rows_on_server(const RecordsPlan& plan, const JobFilter& filter)
{
    ServerRecords server;
    if (!open_server(plan, server)) return std::nullopt;
    QString error;
    const std::optional<QList<ServerJob>> jobs = server.jobs(filter, &error);
    if (!jobs) {
        print_error(error);
        return std::nullopt;
    }
    QList<JobRow> rows;
    for (const ServerJob& job : *jobs) rows << job.row;
    return rows;
}

// Reading takes no write lock and changes nothing, so it answers while the station writes.
std::optional<QList<JobRow>> rows_in_file(const RecordsPlan& plan, const JobFilter& filter)
{
    Records records;
    QString error;
    std::optional<QList<JobRow>> rows;
    if (records.open_for_reading(plan.journal, &error)) rows = records.list(filter, &error);
    if (!rows) print_error(error);
    return rows;
}

QString approval_line(const Approval& approval)
{
    return QStringLiteral("%1 SHA-256 %2 by %3, %4")
        .arg(approval.file_name, approval.file_sha256, approval.approved_by, local_time_text(approval.approved));
}

// The approval on record, from the server (and the journal's copy renewed with it) or the file.
std::optional<Approval> record_approval(const RecordsPlan& plan, const Approval& approval)
{
    QString error;
    std::optional<Approval> kept;
    if (plan.server) {
        ServerRecords server;
        if (!open_server(plan, server)) return std::nullopt;
        kept = server.approve(approval, &error);
        Records journal;
        const std::optional<QList<Approval>> approvals = kept ? server.approvals() : std::nullopt;
        if (approvals && journal.open(plan.journal, &error)) journal.keep_server_approvals(*approvals);
    } else {
        Records records;
        if (records.open(plan.journal, &error)) kept = records.approve(approval, &error);
    }
    if (!kept) print_error(error);
    return kept;
}

} // namespace

int list_records(const Options& options, const RecordsPlan& plan)
{
    const std::optional<QList<JobRow>> rows =
        plan.server ? rows_on_server(plan, options.filter) : rows_in_file(plan, options.filter);
    if (!rows) return kSetUpError;
    if (options.output == OutputMode::Json) return print(records_json(*rows));
    return print(options.csv ? records_csv(*rows) : records_text(*rows));
}

// Only a master the station would write can be approved: it is read as strictly.
int approve_master(const Options& options, const RecordsPlan& plan)
{
    MasterFile file;
    QString error;
    if (!load_master_file(options.arguments[0], file, &error)) {
        print_error(error);
        return kSetUpError;
    }
    Approval approval{file.sha256, QFileInfo(file.path).fileName(), approver_name(options.operator_name),
                      QDateTime::currentDateTime(), options.note};
    const std::optional<Approval> kept = record_approval(plan, approval);
    if (!kept) return kSetUpError;
    const bool earlier = kept->approved != approval.approved || kept->approved_by != approval.approved_by;
    return print(earlier ? QStringLiteral("approved already: %1 (the first approval stays)\n").arg(approval_line(*kept))
                         : QStringLiteral("approved: %1\n").arg(approval_line(*kept)));
}

int list_approvals(const Options& options, const RecordsPlan& plan)
{
    QString error;
    std::optional<QList<Approval>> approvals;
    ServerRecords server;
    Records records;
    if (plan.server) {
        if (!open_server(plan, server)) return kSetUpError;
        approvals = server.approvals(&error);
    } else if (records.open_for_reading(plan.journal, &error)) {
        approvals = records.approvals(&error);
    }
    if (!approvals) {
        print_error(error);
        return kSetUpError;
    }
    return print(options.csv ? approvals_csv(*approvals) : approvals_text(*approvals));
}

RunForwarding::RunForwarding(const RecordsPlan& plan, StationEvents& events) : events_(events)
{
    if (!plan.server) return;
    ForwarderSettings settings;
    settings.journal = plan.journal;
    settings.server = *plan.server;
    forwarder_ = std::make_unique<Forwarder>(settings, [this](const ForwardStatus& status) { report(status); });
    forwarder_->start();
}

RunForwarding::~RunForwarding() = default;

// All is well at the start: nothing to tell.
void RunForwarding::report(const ForwardStatus& status)
{
    const QString text = forward_status_text(status);
    std::lock_guard lock(mutex_);
    const bool quiet_start = !reported_ && status.server == ForwardStatus::Server::Up && status.backlog.waiting == 0;
    reported_ = true;
    if (quiet_start || text == last_text_) return;
    last_text_ = text;
    events_.note(0, text);
}

void RunForwarding::finish()
{
    if (!forwarder_) return;
    const ForwardStatus status = forwarder_->finish(kLastSendMs);
    const QString text = status.backlog.waiting == 0 && status.journal_error.isEmpty()
                             ? QStringLiteral("records: all on the server")
                             : forward_status_text(status) + QStringLiteral("; they go out on the next run");
    std::lock_guard lock(mutex_);
    if (text != last_text_) events_.note(0, text);
    last_text_ = text;
}

} // namespace station
