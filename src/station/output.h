#pragma once
// What the station tells the operator, from every port thread at once: on a terminal one line
// per port that updates in place (state, words done of the total, a bar, the time left) above
// which each finished camera leaves a permanent line; not on a terminal plain lines; with --json
// the same events as one JSON object per line.

#include "records/records.h"

#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QString>

#include <cstdio>
#include <mutex>

namespace station {

enum class OutputMode { Terminal, Plain, Json };

struct CameraReport {
    int port = 0;
    JobResult result = JobResult::Pass;
    QString title;
    QString serial;
    qint64 duration_ms = 0;
    QString reason;
    int comm_id = -1; // -1: unknown
};

struct Summary {
    int passed = 0;
    int failed = 0;
    int unverified = 0;
    int aborted = 0;
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
    virtual void finished(const CameraReport& report) = 0;
    // Something to tell about a port (0: about the run).
    virtual void note(int port, const QString& text) = 0;
    // The port could not be set up (it cannot be opened, the records cannot be kept); its run ends.
    virtual void error(int port, const QString& text) = 0;
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
    // A permanent line about a port.
    void note(int port, const QString& text) override;
    // On standard error (with --json, an "error" event on the output).
    void error(int port, const QString& text) override;
    void summary(const Summary& summary) override;

    // "PASS", "FAIL", "UNVERIFIED", "ABORTED".
    static QString verdict(JobResult result);

private:
    struct PortLine {
        QString state;
        int done = 0;
        int total = 0;
        QElapsedTimer since; // time in this state
        qint64 drawn_ms = -1;
    };

    QString port_line(int port) const;
    QString report_line(const CameraReport& report) const;
    void permanent(const QString& line);
    void redraw_ports();
    void erase_ports();
    void json(const QString& event, int port, const QList<QPair<QString, QString>>& fields,
              const QList<QPair<QString, qint64>>& numbers = {});
    void write(const QString& text);
    void write_bytes(const QByteArray& bytes);

    OutputMode mode_;
    std::FILE* out_;
    std::mutex mutex_;
    QList<int> ports_;
    QMap<int, PortLine> lines_;
    bool drawn_ = false; // the port lines are on the terminal below the permanent lines
};

} // namespace station
