#pragma once
// The "Yield" view: the figures in large type, and three charts for a line lead to read from a
// metre: cameras per hour over the shift as stacked PASS / FAIL / STATION FAULT bars, the
// first-pass yield per port, and the failures by reason as a Pareto (bars and the cumulative
// line). Beside each chart a table holds the same numbers, named for assistive tools and reached
// with Tab. set_figures() changes the values of the existing charts and tables, so the view can
// follow a running line without being built again.

#include "yield/yield_figures.h"

#include <QWidget>

class QBarCategoryAxis;
class QBarSet;
class QChart;
class QLabel;
class QLineSeries;
class QTableWidget;
class QValueAxis;

namespace yield {

class YieldView : public QWidget {
    Q_OBJECT
public:
    explicit YieldView(QWidget* parent = nullptr);

    void set_figures(const YieldFigures& figures);

    QTableWidget* hours_table() const { return hours_table_; }
    QTableWidget* ports_table() const { return ports_table_; }
    QTableWidget* failures_table() const { return failures_table_; }
    QChart* hours_chart() const { return hours_chart_; }
    QChart* ports_chart() const { return ports_chart_; }
    QChart* failures_chart() const { return failures_chart_; }
    // The figure read-outs above the charts: "First-pass yield", "Final yield" and the others.
    QLabel* figure_label(const QString& caption) const;

private:
    struct Readout {
        QString caption;
        QLabel* value;
    };

    QWidget* make_readouts();
    void make_hours_chart();
    void make_ports_chart();
    void make_failures_chart();
    void show_totals(const YieldCounts& total);
    void show_hours(const QList<HourCount>& hours);
    void show_ports(const QList<YieldGroup>& ports);
    void show_failures(const QList<ParetoEntry>& reasons);

    QList<Readout> readouts_;
    QChart* hours_chart_ = nullptr;
    QBarCategoryAxis* hours_axis_ = nullptr;
    QValueAxis* hours_count_axis_ = nullptr;
    QBarSet* passed_set_ = nullptr;
    QBarSet* failed_set_ = nullptr;
    QBarSet* station_set_ = nullptr;
    QChart* ports_chart_ = nullptr;
    QBarCategoryAxis* ports_axis_ = nullptr;
    QBarSet* yield_set_ = nullptr;
    QChart* failures_chart_ = nullptr;
    QBarCategoryAxis* reasons_axis_ = nullptr;
    QValueAxis* failures_count_axis_ = nullptr;
    QBarSet* camera_reasons_set_ = nullptr;
    QBarSet* station_reasons_set_ = nullptr;
    QLineSeries* cumulative_line_ = nullptr;
    QTableWidget* hours_table_ = nullptr;
    QTableWidget* ports_table_ = nullptr;
    QTableWidget* failures_table_ = nullptr;
};

} // namespace yield
