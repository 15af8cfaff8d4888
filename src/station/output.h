#pragma once
// What the station tells the operator, from every port thread at once: on a terminal one line
// per port that updates in place (state, words done of the total, a bar, the time left) above
// which each finished camera leaves a permanent line; not on a terminal plain lines; with --json
// the same events as one JSON object per line.

#include "records/records.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QString>

#include <cstdio>
#include <functional>
#include <mutex>

class QJsonObject;

namespace station {

enum class OutputMode { Terminal, Plain, Json };

// A finished camera, with what the line's own software needs to match it with its record.
struct CameraReport {
    int port = 0;
    JobResult result = JobResult::Pass;
    QString title;
    QString serial;
    qint64 duration_ms = 0;
    QString reason;
    int comm_id = -1; // -1: unknown
    qint64 record_id = -1; // -1: no row
    QDateTime started{};
    QDateTime ended{};
    QString device{};
    QString file_sha256{};
    QList<int> differing{};
    QString keep_map{}; // as the record keeps it
    QString job_id{}; // the job's unique id, under which a plant's server keeps it
};

struct Summary {
    int passed = 0;
    int failed = 0;
    int unverified = 0;
    int aborted = 0;
    int unrecorded = 0; // cameras whose record could not be completed (or begun)
};

// What a station run reports. The station's port threads call these from their own threads at
// the same time, so an implementation serialises them itself (a printer by a lock, a window by
// posting them to its own thread).
class StationEvents {
public:
    virtual ~StationEvents() = default;

    // The ports of the run, in this order.
    virtual void set_ports(const QList<int>& ports) = 0;
    // The port's state changed ("waiting for a camera", "writing", ...).
    virtual void state(int port, const QString& state) = 0;
    // Words done of the total in the current state ("reading", "writing", "booting", "verifying").
    virtual void progress(int port, const QString& state, int done, int total) = 0;
    // A camera's job has ended and its record is complete.
    virtual void finished(const CameraReport& report) = 0;
    // A camera's record could not be completed (or begun) before the station stopped: `report`
    // holds the result it would have had, `why` the last failure.
    virtual void unrecorded(const CameraReport& report, const QString& why) = 0;
    // A serial number no port took, scanned into the field of `port` (0: standard input).
    virtual void scan_refused(int port, const QString& serial, const QString& why) = 0;
    // Something to tell about a port (0: about the run).
    virtual void note(int port, const QString& text) = 0;
    // The port could not be set up (it cannot be opened, the records cannot be kept); its run ends.
    virtual void error(int port, const QString& text) = 0;
    // A line was typed on the terminal the output is shown on (a scanner's serial number): its
    // echo now stands below what was drawn.
    virtual void line_typed() {}
    virtual void summary(const Summary& summary) = 0;
};

// The station's events as text on a terminal, as plain lines or as JSON lines.
class Output final : public StationEvents {
public:
    Output(OutputMode mode, std::FILE* out);

    // The ports whose lines a terminal shows, in this order.
    void set_ports(const QList<int>& ports) override;
    void state(int port, const QString& state) override;
    // Only a terminal shows every step.
    void progress(int port, const QString& state, int done, int total) override;
    void finished(const CameraReport& report) override;
    void unrecorded(const CameraReport& report, const QString& why) override;
    void scan_refused(int port, const QString& serial, const QString& why) override;
    // A permanent line about a port.
    void note(int port, const QString& text) override;
    // On standard error (with --json, an "error" event on the output).
    void error(int port, const QString& text) override;
    void summary(const Summary& summary) override;
    void line_typed() override;

    // "PASS", "FAIL", "UNVERIFIED", "ABORTED".
    static QString verdict(JobResult result);

    // Called once, from the thread that wrote, with the cause, when the output cannot be
    // written any more (its reader went away: a broken pipe). The station then stops as on Ctrl-C.
    void on_closed(std::function<void(const QString& cause)> closed);
    // The run is over without a summary: a terminal's live port lines go.
    void clear_ports();

private:
    struct PortLine {
        QString state;
        int done = 0;
        int total = 0;
        QElapsedTimer since; // time in this state
        qint64 drawn_ms = -1;
    };

    QString port_line(int port) const;
    QString report_line(const CameraReport& report, const QString& verdict_word) const;
    void permanent(const QString& line);
    void redraw_ports();
    QString back_over_ports();
    void lift_ports();
    void json(const QString& event, int port, const QList<QPair<QString, QString>>& fields,
              const QList<QPair<QString, qint64>>& numbers = {});
    void json(const QString& event, QJsonObject object);
    void write(const QString& text);
    void write_bytes(const QByteArray& bytes);
    void to_standard_error(const QString& line);
    QJsonObject report_object(const CameraReport& report) const;

    OutputMode mode_;
    std::FILE* out_;
    std::mutex mutex_;
    QList<int> ports_;
    QMap<int, PortLine> lines_;
    bool drawn_ = false; // the port lines are on the terminal below the permanent lines
    int typed_lines_ = 0; // echoed below the port lines since they were drawn
    bool closed_ = false;
    std::function<void(const QString&)> on_closed_;
};

} // namespace station
