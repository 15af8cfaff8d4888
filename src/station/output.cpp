#include "station/output.h"

#include "station/master_file.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>

namespace station {
namespace {

constexpr int kBarWidth = 20;
constexpr qint64 kRedrawMs = 100;

const char* const kClearLine = "\x1b[2K";

QString seconds_text(qint64 ms) { return QStringLiteral("%1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1); }

QString bar(int done, int total)
{
    const int filled = total > 0 ? kBarWidth * done / total : 0;
    return QStringLiteral("[") + QString(filled, QLatin1Char('#')) + QString(kBarWidth - filled, QLatin1Char('.'))
           + QStringLiteral("]");
}

QString time_left(qint64 elapsed_ms, int done, int total)
{
    if (done <= 0 || total <= done) return {};
    const qint64 left_s = (elapsed_ms * (total - done) / done + 999) / 1000;
    return QStringLiteral("%1:%2 left").arg(left_s / 60).arg(left_s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

Output::Output(OutputMode mode, std::FILE* out) : mode_(mode), out_(out) {}

QString Output::verdict(JobResult result)
{
    switch (result) {
    case JobResult::Pass: return QStringLiteral("PASS");
    case JobResult::Unverified: return QStringLiteral("UNVERIFIED");
    case JobResult::Aborted: return QStringLiteral("ABORTED");
    default: return QStringLiteral("FAIL");
    }
}

void Output::set_ports(const QList<int>& ports)
{
    std::lock_guard lock(mutex_);
    ports_ = ports;
    for (int port : ports) lines_[port].since.start();
}

void Output::on_closed(std::function<void(const QString&)> closed)
{
    std::lock_guard lock(mutex_);
    on_closed_ = std::move(closed);
}

void Output::write(const QString& text) { write_bytes(text.toLocal8Bit()); }

// A reader that went away (a broken pipe) or a terminal that hung up takes nothing more: the
// output is closed once, and the station told.
void Output::write_bytes(const QByteArray& bytes)
{
    if (closed_) return;
    errno = 0;
    if (std::fputs(bytes.constData(), out_) >= 0 && std::fflush(out_) == 0) return;
    const int error = errno;
    closed_ = true;
    if (!on_closed_) return;
    on_closed_(error == EPIPE ? QStringLiteral("the output was closed")
                              : QStringLiteral("the output cannot be written: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
}

void Output::to_standard_error(const QString& line)
{
    std::fprintf(stderr, "camera-station: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

void Output::state(int port, const QString& state)
{
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    if (line.state == state) return;
    line = PortLine{state, 0, 0, {}, -1};
    line.since.start();
    switch (mode_) {
    case OutputMode::Terminal: redraw_ports(); break;
    case OutputMode::Plain: write(QStringLiteral("port %1: %2\n").arg(port).arg(state)); break;
    case OutputMode::Json: json(QStringLiteral("state"), port, {{QStringLiteral("state"), state}}); break;
    }
}

void Output::progress(int port, const QString& state, int done, int total)
{
    if (mode_ != OutputMode::Terminal) {
        this->state(port, state);
        return;
    }
    std::lock_guard lock(mutex_);
    PortLine& line = lines_[port];
    if (line.state != state) {
        line = PortLine{state, 0, 0, {}, -1};
        line.since.start();
    }
    line.done = done;
    line.total = total;
    const qint64 now = line.since.elapsed();
    if (line.drawn_ms >= 0 && now - line.drawn_ms < kRedrawMs && done < total) return;
    line.drawn_ms = now;
    redraw_ports();
}

QString Output::port_line(int port) const
{
    const PortLine line = lines_.value(port);
    QString text = QStringLiteral("port %1  %2").arg(port).arg(line.state, -10);
    if (line.total > 0) {
        text += QStringLiteral("  %1/%2  %3  %4")
                    .arg(line.done)
                    .arg(line.total)
                    .arg(bar(line.done, line.total), time_left(line.since.elapsed(), line.done, line.total));
    }
    return text.trimmed();
}

// Moves the cursor back to where the port lines begin and clears the screen from there down:
// the lines a scanner typed below them (their echo) go too.
QString Output::back_over_ports()
{
    const qsizetype lines = drawn_ ? ports_.size() + typed_lines_ : 0;
    drawn_ = false;
    typed_lines_ = 0;
    return lines > 0 ? QStringLiteral("\x1b[%1F\x1b[J").arg(lines) : QString();
}

void Output::redraw_ports()
{
    QString text = back_over_ports();
    for (int port : ports_) text += QLatin1String(kClearLine) + port_line(port) + QLatin1Char('\n');
    drawn_ = true;
    write(text);
}

// Takes the port lines off the terminal: the cursor goes back to where they began.
void Output::lift_ports() { write(back_over_ports()); }

void Output::line_typed()
{
    std::lock_guard lock(mutex_);
    if (mode_ == OutputMode::Terminal && drawn_) ++typed_lines_;
}

void Output::clear_ports()
{
    std::lock_guard lock(mutex_);
    if (mode_ != OutputMode::Terminal) return;
    lift_ports();
    ports_.clear();
}

void Output::permanent(const QString& line)
{
    if (mode_ != OutputMode::Terminal) {
        write(line + QLatin1Char('\n'));
        return;
    }
    // Over the port lines; they are drawn again below it.
    write(back_over_ports() + QLatin1String(kClearLine) + line + QLatin1Char('\n'));
    redraw_ports();
}

// "port 1: PASS  title "CAM11"  COMM ID 17  serial SN-1  1.8 s" (the verdict word given).
QString Output::report_line(const CameraReport& r, const QString& verdict_word) const
{
    QString line = QStringLiteral("port %1: %2").arg(r.port).arg(verdict_word);
    line += QStringLiteral("  title \"%1\"").arg(r.title);
    if (r.comm_id >= 0) line += QStringLiteral("  COMM ID %1").arg(r.comm_id);
    if (!r.serial.isEmpty()) line += QStringLiteral("  serial %1").arg(r.serial);
    line += QStringLiteral("  ") + seconds_text(r.duration_ms);
    return line;
}

QJsonObject Output::report_object(const CameraReport& r) const
{
    QJsonArray differing;
    for (int address : r.differing) differing.append(address_text(address));
    QJsonObject object{{QStringLiteral("port"), r.port},
                       {QStringLiteral("result"), result_word(r.result)},
                       {QStringLiteral("title"), r.title},
                       {QStringLiteral("serial"), r.serial},
                       {QStringLiteral("reason"), r.reason},
                       {QStringLiteral("duration_ms"), r.duration_ms},
                       {QStringLiteral("device"), r.device},
                       {QStringLiteral("file_sha256"), r.file_sha256},
                       {QStringLiteral("differing"), differing},
                       {QStringLiteral("keep_map"), r.keep_map}};
    if (r.comm_id >= 0) object.insert(QStringLiteral("comm_id"), r.comm_id);
    if (r.record_id >= 0) object.insert(QStringLiteral("record_id"), r.record_id);
    if (!r.job_id.isEmpty()) object.insert(QStringLiteral("job_id"), r.job_id);
    if (r.started.isValid()) object.insert(QStringLiteral("started"), local_time_text(r.started, true));
    if (r.ended.isValid()) object.insert(QStringLiteral("ended"), local_time_text(r.ended, true));
    return object;
}

void Output::finished(const CameraReport& r)
{
    std::lock_guard lock(mutex_);
    if (mode_ == OutputMode::Json) {
        json(QStringLiteral("result"), report_object(r));
        return;
    }
    QString line = report_line(r, verdict(r.result));
    if (r.result != JobResult::Pass) line += QStringLiteral("  %1: %2").arg(result_word(r.result), r.reason);
    permanent(line);
}

void Output::unrecorded(const CameraReport& r, const QString& why)
{
    std::lock_guard lock(mutex_);
    if (mode_ == OutputMode::Json) {
        QJsonObject object = report_object(r);
        object.insert(QStringLiteral("error"), why);
        json(QStringLiteral("unrecorded"), object);
        return;
    }
    QString line = report_line(r, QStringLiteral("NOT RECORDED"));
    if (r.record_id < 0) {
        line += QStringLiteral("  the camera was not written: ") + why;
    } else {
        line += QStringLiteral("  it would have been %1").arg(verdict(r.result));
        if (!r.reason.isEmpty()) line += QStringLiteral(" (%1: %2)").arg(result_word(r.result), r.reason);
        line += QStringLiteral("; its record %1 stays incomplete: %2").arg(r.record_id).arg(why);
    }
    permanent(line);
}

void Output::scan_refused(int port, const QString& serial, const QString& why)
{
    std::lock_guard lock(mutex_);
    if (mode_ == OutputMode::Json) {
        QJsonObject object{{QStringLiteral("serial"), serial}, {QStringLiteral("reason"), why}};
        if (port > 0) object.insert(QStringLiteral("port"), port);
        json(QStringLiteral("scan_refused"), object);
        return;
    }
    const QString line = QStringLiteral("scan \"%1\" refused: %2").arg(serial, why);
    permanent(port > 0 ? QStringLiteral("port %1: %2").arg(port).arg(line) : line);
}

void Output::note(int port, const QString& text)
{
    std::lock_guard lock(mutex_);
    if (mode_ == OutputMode::Json) {
        json(QStringLiteral("note"), port, {{QStringLiteral("text"), text}});
        return;
    }
    permanent(port > 0 ? QStringLiteral("port %1: %2").arg(port).arg(text) : text);
}

// On a terminal the error goes above the live port lines, which are drawn again below it (so
// that they never overwrite it); the port's line goes, since its run has ended.
void Output::error(int port, const QString& text)
{
    std::lock_guard lock(mutex_);
    switch (mode_) {
    case OutputMode::Json: json(QStringLiteral("error"), port, {{QStringLiteral("text"), text}}); break;
    case OutputMode::Plain: to_standard_error(text); break;
    case OutputMode::Terminal:
        lift_ports();
        to_standard_error(text);
        ports_.removeAll(port);
        redraw_ports();
        break;
    }
}

void Output::summary(const Summary& s)
{
    std::lock_guard lock(mutex_);
    if (mode_ == OutputMode::Json) {
        json(QStringLiteral("summary"), 0, {},
             {{QStringLiteral("passed"), s.passed},
              {QStringLiteral("failed"), s.failed},
              {QStringLiteral("unverified"), s.unverified},
              {QStringLiteral("aborted"), s.aborted},
              {QStringLiteral("unrecorded"), s.unrecorded}});
        return;
    }
    // The run is over: the live port lines go, so that the summary is the last thing shown.
    if (mode_ == OutputMode::Terminal) {
        lift_ports();
        ports_.clear();
    }
    QString line = QStringLiteral("summary: %1 passed, %2 failed, %3 unverified, %4 aborted")
                       .arg(s.passed)
                       .arg(s.failed)
                       .arg(s.unverified)
                       .arg(s.aborted);
    if (s.unrecorded > 0) line += QStringLiteral(", %1 not recorded").arg(s.unrecorded);
    permanent(line);
}

void Output::json(const QString& event, int port, const QList<QPair<QString, QString>>& fields,
                  const QList<QPair<QString, qint64>>& numbers)
{
    QJsonObject object;
    if (port > 0) object.insert(QStringLiteral("port"), port);
    for (const auto& [key, value] : fields) object.insert(key, value);
    for (const auto& [key, value] : numbers) object.insert(key, value);
    json(event, object);
}

void Output::json(const QString& event, QJsonObject object)
{
    object.insert(QStringLiteral("event"), event);
    // JSON is UTF-8 whatever the terminal's locale.
    write_bytes(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

} // namespace station
