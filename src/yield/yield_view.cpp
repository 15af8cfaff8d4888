#include "yield/yield_view.h"

#include "widgets/readout.h"
#include "yield/yield_style.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QStackedBarSeries>
#include <QTableWidget>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace yield {
namespace {

constexpr int kTitlePoints = 17;
constexpr int kLabelPoints = 13;
constexpr int kTablePoints = 13;
constexpr int kFigurePoints = 26;
constexpr int kCaptionPoints = 12;
constexpr int kReasonLineChars = 10; // a reason's words are wrapped onto lines of about this many

QFont font_of(const QWidget* widget, int points, bool bold = false)
{
    QFont font = widget->font();
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

// A chart without animation (a refresh must not keep the window busy), in large type.
QChart* make_chart(const QWidget* owner, const QString& title)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->setTitleFont(font_of(owner, kTitlePoints, true));
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    chart->legend()->setFont(font_of(owner, kLabelPoints));
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

QBarSet* make_set(BarKind kind)
{
    auto* set = new QBarSet(bar_caption(kind));
    set->setBrush(bar_brush(kind));
    set->setPen(bar_outline(kind, 1.5));
    return set;
}

QValueAxis* make_value_axis(const QWidget* owner, const QString& format)
{
    auto* axis = new QValueAxis;
    axis->setLabelFormat(format);
    axis->setLabelsFont(font_of(owner, kLabelPoints));
    axis->setMin(0);
    return axis;
}

QBarCategoryAxis* make_category_axis(const QWidget* owner)
{
    auto* axis = new QBarCategoryAxis;
    axis->setLabelsFont(font_of(owner, kLabelPoints));
    return axis;
}

QChartView* make_chart_view(QChart* chart, const QString& name)
{
    auto* view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFocusPolicy(Qt::NoFocus); // Tab goes to the table that holds the chart's numbers
    view->setAccessibleName(name + QStringLiteral(" chart"));
    view->setAccessibleDescription(QStringLiteral("The table beside it holds the same figures."));
    view->setMinimumSize(420, 260);
    return view;
}

// The numbers' columns as wide as they need; the first column takes what they leave.
QTableWidget* make_table(QWidget* owner, const QString& name, const QStringList& columns)
{
    auto* table = new QTableWidget(0, int(columns.size()), owner);
    table->setObjectName(name);
    table->setAccessibleName(name);
    table->setHorizontalHeaderLabels(columns);
    table->setFont(font_of(owner, kTablePoints));
    table->horizontalHeader()->setFont(font_of(owner, kTablePoints, true));
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setWordWrap(false);
    table->verticalHeader()->setVisible(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setTabKeyNavigation(false); // Tab leaves the table for the next; arrows move inside
    table->setFocusPolicy(Qt::StrongFocus);
    return table;
}

// Writes `rows` into `table`, reusing its items; numbers (every column but the first) on the right.
void fill_table(QTableWidget* table, const QList<QStringList>& rows)
{
    table->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c) {
            QTableWidgetItem* item = table->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment((c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
                table->setItem(r, c, item);
            }
            if (item->text() != rows[r][c]) item->setText(rows[r][c]);
        }
    }
}

// Changed values are replaced where they stand (a bar set keeps its bars); only a change in
// their number adds or removes bars.
void set_values(QBarSet* set, const QList<qreal>& values)
{
    if (set->count() > values.size()) set->remove(int(values.size()), set->count() - int(values.size()));
    for (int i = 0; i < values.size(); ++i) {
        if (i >= set->count())
            set->append(values[i]);
        else if (set->at(i) != values[i])
            set->replace(i, values[i]);
    }
}

void set_categories(QBarCategoryAxis* axis, const QStringList& categories)
{
    if (axis->categories() != categories) axis->setCategories(categories);
}

// The axis up to a round number at or above `highest`, in whole steps; left alone when it
// already is (a new range lays the chart out again).
void set_count_range(QValueAxis* axis, int highest)
{
    const CountScale scale = count_scale(highest);
    if (axis->max() != scale.top) axis->setRange(0, scale.top);
    if (axis->tickCount() != scale.steps + 1) axis->setTickCount(scale.steps + 1);
}

// A category's label must be unique on its axis; long reasons are broken onto lines.
QString reason_label(const ParetoEntry& entry, const QStringList& taken)
{
    QString label;
    int line = 0;
    for (const QString& word : entry.key.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!label.isEmpty()) {
            const bool wrap = line + 1 + word.size() > kReasonLineChars;
            label += wrap ? QStringLiteral("<br>") : QStringLiteral(" ");
            line = wrap ? 0 : line + 1;
        }
        label += word;
        line += int(word.size());
    }
    if (taken.contains(label)) label += QStringLiteral("<br>(") + fault_word(entry.fault) + QLatin1Char(')');
    return label;
}

} // namespace

YieldView::YieldView(QWidget* parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Yield"));
    make_hours_chart();
    make_ports_chart();
    make_failures_chart();
    hours_table_ = make_table(this, QStringLiteral("Cameras per hour"),
                              {QStringLiteral("Hour"), bar_caption(BarKind::Pass), bar_caption(BarKind::Fail),
                               bar_caption(BarKind::StationFault)});
    ports_table_ = make_table(this, QStringLiteral("First-pass yield per port"),
                              {QStringLiteral("Port"), QStringLiteral("Cameras"), QStringLiteral("First pass"),
                               QStringLiteral("Final"), QStringLiteral("Station faults")});
    failures_table_ = make_table(this, QStringLiteral("Failures by reason"),
                                 {QStringLiteral("Reason"), QStringLiteral("Whose"), QStringLiteral("Count"),
                                  QStringLiteral("Share"), QStringLiteral("Cumulative")});

    auto* grid = new QGridLayout;
    const QList<std::pair<QChart*, QTableWidget*>> rows = {
        {hours_chart_, hours_table_}, {ports_chart_, ports_table_}, {failures_chart_, failures_table_}};
    for (int r = 0; r < rows.size(); ++r) {
        grid->addWidget(make_chart_view(rows[r].first, rows[r].second->accessibleName()), r, 0);
        grid->addWidget(rows[r].second, r, 1);
        grid->setRowStretch(r, r == 2 ? 3 : 2); // the Pareto's reasons need room below its bars
    }
    grid->setColumnStretch(0, 5);
    grid->setColumnStretch(1, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(make_readouts());
    layout->addLayout(grid, 1);
    setTabOrder(hours_table_, ports_table_);
    setTabOrder(ports_table_, failures_table_);
    set_figures(YieldFigures{});
}

QWidget* YieldView::make_readouts()
{
    auto* strip = new QWidget(this);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    for (const QString& caption : {QStringLiteral("First-pass yield"), QStringLiteral("Final yield"),
                                   QStringLiteral("Cameras tried"), QStringLiteral("Retests"),
                                   QStringLiteral("Station faults"), QStringLiteral("Cameras per hour")}) {
        auto* box = new QFrame(strip);
        box->setFrameShape(QFrame::StyledPanel);
        auto* column = new QVBoxLayout(box);
        column->setContentsMargins(10, 4, 10, 4);
        auto* title = new QLabel(caption, box);
        title->setFont(font_of(this, kCaptionPoints));
        auto* value = new QLabel(box);
        value->setFont(font_of(this, kFigurePoints, true));
        make_readout(value, caption);
        column->addWidget(title);
        column->addWidget(value);
        row->addWidget(box, 1);
        readouts_.append({caption, value});
    }
    return strip;
}

void YieldView::make_hours_chart()
{
    hours_chart_ = make_chart(this, QStringLiteral("Cameras per hour"));
    passed_set_ = make_set(BarKind::Pass);
    failed_set_ = make_set(BarKind::Fail);
    station_set_ = make_set(BarKind::StationFault);
    auto* series = new QStackedBarSeries;
    series->append({passed_set_, failed_set_, station_set_});
    series->setBarWidth(0.7);
    hours_chart_->addSeries(series);
    hours_axis_ = make_category_axis(this);
    hours_count_axis_ = make_value_axis(this, QStringLiteral("%d"));
    hours_chart_->addAxis(hours_axis_, Qt::AlignBottom);
    hours_chart_->addAxis(hours_count_axis_, Qt::AlignLeft);
    series->attachAxis(hours_axis_);
    series->attachAxis(hours_count_axis_);
}

void YieldView::make_ports_chart()
{
    ports_chart_ = make_chart(this, QStringLiteral("First-pass yield per port"));
    yield_set_ = make_set(BarKind::Yield);
    yield_set_->setLabelFont(font_of(this, kLabelPoints - 1, true));
    yield_set_->setLabelColor(Qt::white);
    auto* series = new QBarSeries;
    series->append(yield_set_);
    series->setBarWidth(0.7);
    series->setLabelsVisible(true);
    series->setLabelsPrecision(4); // "93.4", as the table shows it
    series->setLabelsPosition(QAbstractBarSeries::LabelsInsideEnd); // always room: yields are high
    series->setLabelsFormat(QStringLiteral("@value %"));
    ports_chart_->addSeries(series);
    ports_chart_->legend()->setVisible(false);
    ports_axis_ = make_category_axis(this);
    auto* percent_axis = make_value_axis(this, QStringLiteral("%d %"));
    percent_axis->setRange(0, 100);
    percent_axis->setTickCount(6);
    ports_chart_->addAxis(ports_axis_, Qt::AlignBottom);
    ports_chart_->addAxis(percent_axis, Qt::AlignLeft);
    series->attachAxis(ports_axis_);
    series->attachAxis(percent_axis);
}

void YieldView::make_failures_chart()
{
    failures_chart_ = make_chart(this, QStringLiteral("Failures by reason"));
    camera_reasons_set_ = make_set(BarKind::Fail);
    station_reasons_set_ = make_set(BarKind::StationFault);
    auto* bars = new QStackedBarSeries;
    bars->append({camera_reasons_set_, station_reasons_set_});
    bars->setBarWidth(0.7);
    cumulative_line_ = new QLineSeries;
    cumulative_line_->setName(QStringLiteral("Cumulative %"));
    cumulative_line_->setPen(QPen(cumulative_colour(), 3));
    cumulative_line_->setPointsVisible(true);
    failures_chart_->addSeries(bars);
    failures_chart_->addSeries(cumulative_line_);
    reasons_axis_ = make_category_axis(this);
    failures_count_axis_ = make_value_axis(this, QStringLiteral("%d"));
    auto* percent_axis = make_value_axis(this, QStringLiteral("%d %"));
    percent_axis->setRange(0, 105); // room for the marker at 100 %
    percent_axis->setTickType(QValueAxis::TicksDynamic);
    percent_axis->setTickInterval(20);
    failures_chart_->addAxis(reasons_axis_, Qt::AlignBottom);
    failures_chart_->addAxis(failures_count_axis_, Qt::AlignLeft);
    failures_chart_->addAxis(percent_axis, Qt::AlignRight);
    bars->attachAxis(reasons_axis_);
    bars->attachAxis(failures_count_axis_);
    cumulative_line_->attachAxis(reasons_axis_);
    cumulative_line_->attachAxis(percent_axis);
}

QLabel* YieldView::figure_label(const QString& caption) const
{
    for (const Readout& readout : readouts_)
        if (readout.caption == caption) return readout.value;
    return nullptr;
}

void YieldView::set_figures(const YieldFigures& figures)
{
    show_totals(figures.total);
    show_hours(figures.hours);
    show_ports(figures.ports);
    show_failures(figures.reasons);
}

void YieldView::show_totals(const YieldCounts& total)
{
    const QStringList values = {percent_text(total.first_pass_yield()),
                                percent_text(total.final_yield()),
                                QString::number(total.cameras),
                                QString::number(total.retests),
                                QString::number(total.station_faults),
                                rate_text(total.cameras_per_hour())};
    for (int i = 0; i < readouts_.size(); ++i)
        if (readouts_[i].value->text() != values[i]) readouts_[i].value->setText(values[i]);
}

void YieldView::show_hours(const QList<HourCount>& hours)
{
    const QStringList labels = hour_labels(hours);
    QList<qreal> passed, failed, station;
    QList<QStringList> rows;
    int top = 0;
    for (int i = 0; i < hours.size(); ++i) {
        const HourCount& h = hours[i];
        passed << h.passed;
        failed << h.failed;
        station << h.station_faults;
        top = std::max(top, h.passed + h.failed + h.station_faults);
        rows.append({labels[i], QString::number(h.passed), QString::number(h.failed), QString::number(h.station_faults)});
    }
    set_categories(hours_axis_, labels);
    set_values(passed_set_, passed);
    set_values(failed_set_, failed);
    set_values(station_set_, station);
    set_count_range(hours_count_axis_, top);
    fill_table(hours_table_, rows);
}

void YieldView::show_ports(const QList<YieldGroup>& ports)
{
    QStringList charted;
    QList<qreal> yields;
    QList<QStringList> rows;
    for (const YieldGroup& port : ports) {
        const YieldCounts& c = port.counts;
        rows.append({port.label, QString::number(c.cameras), percent_text(c.first_pass_yield()),
                     percent_text(c.final_yield()), QString::number(c.station_faults)});
        if (const std::optional<double> fpy = c.first_pass_yield()) { // a port with no camera tried has none
            charted << port.label;
            yields << std::round(*fpy * 1000.0) / 10.0;
        }
    }
    set_categories(ports_axis_, charted);
    set_values(yield_set_, yields);
    fill_table(ports_table_, rows);
}

void YieldView::show_failures(const QList<ParetoEntry>& reasons)
{
    QStringList labels;
    QList<qreal> camera, station;
    QList<QPointF> cumulative;
    QList<QStringList> rows;
    int top = 0;
    for (int i = 0; i < reasons.size(); ++i) {
        const ParetoEntry& e = reasons[i];
        rows.append({e.key, fault_word(e.fault), QString::number(e.count), percent_text(e.share), percent_text(e.cumulative)});
        if (i >= kChartedReasons) continue;
        labels << reason_label(e, labels);
        camera << (e.fault == FaultClass::Station ? 0 : e.count);
        station << (e.fault == FaultClass::Station ? e.count : 0);
        cumulative << QPointF(i, e.cumulative * 100.0);
        top = std::max(top, e.count);
    }
    set_categories(reasons_axis_, labels);
    set_values(camera_reasons_set_, camera);
    set_values(station_reasons_set_, station);
    cumulative_line_->replace(cumulative);
    set_count_range(failures_count_axis_, top);
    fill_table(failures_table_, rows);
}

} // namespace yield
