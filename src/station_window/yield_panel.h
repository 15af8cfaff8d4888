#pragma once
// The station window's "Yield" view: the YieldView of the jobs of the day in the configured
// records (the plant's server when one is set, else the station's file), counted by the database
// off the window's thread and shown when done, again after every finished camera; and a button
// that writes the shift report as PDF (through the dialogs interface).

#include "station/plant.h"
#include "yield/yield_figures.h"

#include <QDateTime>
#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;
class QThread;

namespace yield {
class YieldView;
}

namespace station_window {

class YieldPanel : public QWidget {
    Q_OBJECT
public:
    explicit YieldPanel(const station::RecordsPlan& plan, QWidget* parent = nullptr);
    ~YieldPanel() override; // waits for a count or a report still going

    // Counts again (a count going on is followed by one more); the view follows when done.
    void refresh();
    // The jobs counted: those started since the start of this day, local time.
    QDateTime since() const;

    yield::YieldView* view() const { return view_; }
    QPushButton* report_button() const { return report_button_; }
    QLabel* status() const { return status_; }
    const std::optional<yield::YieldFigures>& figures() const { return figures_; }
    // How long the last update of the view held the window's thread.
    qint64 last_update_ms() const { return last_update_ms_; }
    bool busy() const { return counting_ || reporting_; }

signals:
    void updated();
    void report_written(const QString& path, const QString& error);

private:
    void counted(const std::optional<yield::YieldFigures>& figures, const QString& error);
    void write_report();
    void run_off_thread(QThread* thread);

    station::RecordsPlan plan_;
    yield::YieldView* view_ = nullptr;
    QPushButton* report_button_ = nullptr;
    QLabel* status_ = nullptr;
    std::optional<yield::YieldFigures> figures_;
    bool counting_ = false;
    bool count_again_ = false;
    bool reporting_ = false;
    qint64 last_update_ms_ = 0;
    QList<QThread*> threads_;
};

// Figures of the configured records for the jobs started since `since`; nothing with the reason
// in `error`. Opens its own connection: call it on any one thread.
std::optional<yield::YieldFigures> count_yield(const station::RecordsPlan& plan, const QDateTime& since, QString* error);

} // namespace station_window
