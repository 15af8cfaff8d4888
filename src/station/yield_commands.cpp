#include "station/yield_commands.h"

#include "records/server_records.h"
#include "yield/shift_report.h"
#include "yield/yield_query.h"

#include <QJsonDocument>

#include <algorithm>
#include <cstdio>

namespace station {
namespace {

constexpr int kSetUpError = 2;

void print_error(const QString& line)
{
    std::fprintf(stderr, "camera-station: %s\n", line.toLocal8Bit().constData());
}

// A reader that stops early (| head) leaves the rest unwritten: status 1, no message.
int print(const QString& text)
{
    return std::fputs(text.toUtf8().constData(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

// --master as a SHA-256, or the SHA-256 of the data file it names (read as strictly as a station
// reads a master); empty when not given, nothing when the file cannot be read.
std::optional<QString> master_sha256(const QString& master)
{
    if (master.isEmpty() || is_sha256(master.toLower())) return master.toLower();
    MasterFile file;
    QString error;
    if (load_master_file(master, file, &error)) return file.sha256;
    print_error(error);
    return std::nullopt;
}

std::optional<yield::YieldFigures> figures_for(const Options& options, const RecordsPlan& plan)
{
    const std::optional<QString> master = master_sha256(options.master);
    if (!master) return std::nullopt;
    const yield::YieldFilter filter{options.filter.since, options.filter.until, options.filter.station, *master};
    const yield::Grouping grouping = yield::grouping_from_word(options.by).value_or(yield::Grouping::None);
    QString error;
    std::optional<yield::YieldFigures> figures;
    if (plan.server) {
        ServerRecords server;
        if (server.open(*plan.server, &error) == ServerOpen::Opened)
            figures = yield::yield_on_server(server, filter, grouping, &error);
    } else {
        Records records;
        if (records.open_for_reading(plan.journal, &error)) figures = yield::yield_in_file(records, filter, grouping, &error);
    }
    if (!figures) print_error(error);
    return figures;
}

// Every job of the camera, oldest first.
std::optional<QList<JobRow>> camera_jobs(const QString& serial, const RecordsPlan& plan)
{
    JobFilter filter;
    filter.serial = serial;
    QString error;
    std::optional<QList<JobRow>> rows;
    if (plan.server) {
        ServerRecords server;
        std::optional<QList<ServerJob>> jobs;
        if (server.open(*plan.server, &error) == ServerOpen::Opened) jobs = server.jobs(filter, &error);
        if (jobs) {
            rows = QList<JobRow>();
            for (const ServerJob& job : *jobs) rows->append(job.row);
        }
    } else {
        Records records;
        if (records.open_for_reading(plan.journal, &error)) rows = records.list(filter, &error);
    }
    if (!rows) {
        print_error(error);
        return std::nullopt;
    }
    std::reverse(rows->begin(), rows->end());
    return rows;
}

} // namespace

int show_stats(const Options& options, const RecordsPlan& plan)
{
    const std::optional<yield::YieldFigures> figures = figures_for(options, plan);
    if (!figures) return kSetUpError;
    if (options.output == OutputMode::Json)
        return print(QString::fromUtf8(QJsonDocument(yield::yield_json(*figures)).toJson(QJsonDocument::Compact)) +
                     QLatin1Char('\n'));
    if (options.csv) return print(yield::yield_csv(*figures) + QStringLiteral("\r\n") + yield::failures_csv(*figures));
    return print(yield::yield_text(*figures));
}

int show_history(const Options& options, const RecordsPlan& plan)
{
    const std::optional<QList<JobRow>> rows = camera_jobs(options.arguments[0], plan);
    if (!rows) return kSetUpError;
    if (options.output == OutputMode::Json) return print(records_json(*rows));
    return print(options.csv ? records_csv(*rows) : history_text(*rows));
}

int write_report(const Options& options, const RecordsPlan& plan)
{
    const std::optional<yield::YieldFigures> figures = figures_for(options, plan);
    if (!figures) return kSetUpError;
    QString title = QStringLiteral("Shift report");
    if (!options.filter.station.isEmpty()) title += QStringLiteral(", ") + options.filter.station;
    QString error;
    if (!yield::write_shift_report(options.arguments[0], *figures, {options.filter.since, options.filter.until}, title,
                                   &error)) {
        print_error(error);
        return kSetUpError;
    }
    return print(QStringLiteral("report written: %1\n").arg(options.arguments[0]));
}

} // namespace station
