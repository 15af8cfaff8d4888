#include "yield/shift_report.h"

#include "yield/yield_style.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <optional>

namespace yield {
namespace {

constexpr int kResolution = 300; // dots per inch of the page's coordinates
constexpr qreal kMarginMm = 12;
constexpr int kTableRows = 10;
const QColor kInk(0x21, 0x21, 0x21);
const QColor kGrid(0xbd, 0xbd, 0xbd);
const QColor kShade(0xf0, 0xf0, 0xf0);

struct Stack {
    BarKind kind;
    QList<double> values;
};

struct ChartData {
    QString title;
    QString note;               // beside the title, in small type
    QStringList categories;
    QList<Stack> stacks;        // from the bottom up
    QString suffix;             // after a bar's value: " %" for yields
    std::optional<double> top;  // a fixed top of the axis (100 for yields)
    QList<double> cumulative;   // per cent at each category, on an axis of its own; may be empty
    bool legend = true;
};

struct Table {
    QString title;
    int text_columns;    // the first columns hold words, on the left; numbers follow, on the right
    QStringList header;
    QList<qreal> widths; // shares of the table's width
    QList<QStringList> rows;
    QString more;        // a line below the rows ("and 4 more"), or empty
};

// Paints on one page of the writer in device pixels, `mm` of them to the millimetre.
class Page {
public:
    Page(QPainter& painter, const QRectF& area) : p_(painter), area_(area), mm_(kResolution / 25.4) {}

    qreal mm(qreal millimetres) const { return millimetres * mm_; }
    const QRectF& area() const { return area_; }

    QFont font(qreal points, bool bold = false) const
    {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPointSizeF(points);
        f.setBold(bold);
        // Unshaped, so that "ff" stays two letters for a reader searching or copying the text.
        f.setStyleStrategy(QFont::PreferNoShaping);
        return f;
    }

    // Text in `box`; returns the height it took.
    qreal text(const QRectF& box, const QString& text, qreal points, bool bold = false,
               int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, const QColor& colour = kInk)
    {
        p_.setFont(font(points, bold));
        p_.setPen(colour);
        QRectF used;
        p_.drawText(box, flags, text, &used);
        return used.height();
    }

    void chart(const QRectF& box, const ChartData& data);
    // Returns where the table ends.
    qreal table(const QRectF& box, const Table& table);
    void figures(const QRectF& box, const YieldCounts& total);
    QPainter& painter() { return p_; }

private:
    CountScale scale(const ChartData& data) const;
    void legend(QRectF& box, const ChartData& data);
    void value_axis(const QRectF& plot, const CountScale& scale, const QString& suffix, bool right);

    QPainter& p_;
    QRectF area_;
    qreal mm_;
};

CountScale Page::scale(const ChartData& data) const
{
    if (data.top) return {*data.top, 5};
    qreal highest = 0;
    for (qsizetype c = 0; c < data.categories.size(); ++c) {
        qreal sum = 0;
        for (const Stack& s : data.stacks) sum += s.values.value(c);
        highest = std::max(highest, sum);
    }
    return count_scale(highest);
}

void Page::legend(QRectF& box, const ChartData& data)
{
    if (!data.legend) return;
    qreal x = box.left();
    const qreal y = box.top();
    p_.setFont(font(9));
    const auto caption = [&](const QString& text) {
        const qreal width = p_.fontMetrics().horizontalAdvance(text);
        this->text(QRectF(x, y, width + mm(1), mm(5)), text, 9, false, Qt::AlignLeft | Qt::AlignVCenter);
        x += width + mm(6);
    };
    for (const Stack& s : data.stacks) {
        paint_bar(p_, QRectF(x, y + mm(0.5), mm(8), mm(4)), s.kind, mm(1.4));
        x += mm(10);
        caption(bar_caption(s.kind));
    }
    if (!data.cumulative.isEmpty()) {
        p_.setPen(QPen(cumulative_colour(), mm(0.6)));
        p_.drawLine(QPointF(x, y + mm(2.5)), QPointF(x + mm(8), y + mm(2.5)));
        x += mm(10);
        caption(QStringLiteral("Cumulative %"));
    }
    box.setTop(box.top() + mm(7));
}

void Page::value_axis(const QRectF& plot, const CountScale& scale, const QString& suffix, bool right)
{
    for (int i = 0; i <= scale.steps; ++i) {
        const qreal v = scale.top * i / scale.steps;
        const qreal y = plot.bottom() - plot.height() * v / scale.top;
        if (!right) {
            p_.setPen(QPen(kGrid, mm(0.2)));
            p_.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        }
        const QString label = QString::number(v, 'f', 0) + suffix;
        const QRectF box = right ? QRectF(plot.right() + mm(1.5), y - mm(3), mm(14), mm(6))
                                 : QRectF(plot.left() - mm(15.5), y - mm(3), mm(14), mm(6));
        text(box, label, 8.5, false, (right ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
    }
}

void Page::chart(const QRectF& area, const ChartData& data)
{
    QRectF box = area;
    p_.setFont(font(13, true));
    const qreal title_width = p_.fontMetrics().horizontalAdvance(data.title);
    text(box.adjusted(title_width + mm(4), mm(1.2), 0, 0), data.note, 9, false, Qt::AlignLeft | Qt::AlignTop,
         QColor(0x55, 0x55, 0x55));
    box.setTop(box.top() + text(box, data.title, 13, true) + mm(2));
    legend(box, data);
    const bool line = !data.cumulative.isEmpty();
    const QRectF plot(box.left() + mm(16), box.top() + mm(5), box.width() - mm(16) - (line ? mm(16) : mm(2)),
                      box.height() - mm(5) - mm(13));
    if (data.categories.isEmpty()) {
        text(plot, QStringLiteral("No jobs"), 11, false, Qt::AlignCenter);
        return;
    }
    const CountScale scale = this->scale(data);
    const qreal top = scale.top;
    value_axis(plot, scale, data.suffix, false);
    if (line) value_axis(plot, {100, 5}, QStringLiteral(" %"), true);

    const qreal slot = plot.width() / data.categories.size();
    const qreal y_of = plot.height() / top;
    QPolygonF cumulative;
    for (qsizetype c = 0; c < data.categories.size(); ++c) {
        const qreal centre = plot.left() + slot * (c + 0.5);
        const qreal width = std::min(slot * 0.62, mm(22));
        qreal base = plot.bottom();
        qreal sum = 0;
        for (const Stack& s : data.stacks) {
            const qreal value = s.values.value(c);
            if (value <= 0) continue;
            paint_bar(p_, QRectF(centre - width / 2, base - value * y_of, width, value * y_of), s.kind, mm(1.4));
            base -= value * y_of;
            sum += value;
        }
        if (sum > 0 || !data.suffix.isEmpty()) {
            const QString value = data.suffix.isEmpty() ? QString::number(sum, 'f', 0)
                                                        : QString::number(sum, 'f', 1) + data.suffix;
            text(QRectF(centre - slot / 2, base - mm(5.5), slot, mm(5)), value, 9, true,
                 Qt::AlignHCenter | Qt::AlignBottom);
        }
        text(QRectF(centre - slot / 2 + mm(0.5), plot.bottom() + mm(1.5), slot - mm(1), mm(11)), data.categories[c],
             data.categories.size() > 12 ? 7 : 8.5, false, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap);
        if (line) cumulative << QPointF(centre, plot.bottom() - plot.height() * data.cumulative.value(c) / 100.0);
    }
    p_.setPen(QPen(kInk, mm(0.3)));
    p_.drawLine(plot.bottomLeft(), plot.bottomRight());
    if (line) {
        p_.setPen(QPen(cumulative_colour(), mm(0.6)));
        p_.drawPolyline(cumulative);
        p_.setBrush(cumulative_colour());
        for (const QPointF& point : cumulative) p_.drawEllipse(point, mm(0.9), mm(0.9));
        p_.setBrush(Qt::NoBrush);
    }
}

qreal Page::table(const QRectF& area, const Table& t)
{
    QRectF box = area;
    box.setTop(box.top() + text(box, t.title, 12, true) + mm(1.5));
    const qreal row_height = mm(5.6);
    const auto row = [&](const QStringList& cells, bool header, int index) {
        if (!header && index % 2 == 1) p_.fillRect(QRectF(box.left(), box.top(), box.width(), row_height), kShade);
        qreal x = box.left();
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const qreal width = box.width() * t.widths.value(c);
            const int align = (c < t.text_columns ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter;
            const QRectF cell(x + mm(1), box.top(), width - mm(2), row_height);
            p_.setFont(font(9.5, header));
            p_.setPen(kInk);
            p_.drawText(cell, align, p_.fontMetrics().elidedText(cells[c], Qt::ElideRight, int(cell.width())));
            x += width;
        }
        box.setTop(box.top() + row_height);
        if (header) {
            p_.setPen(QPen(kInk, mm(0.3)));
            p_.drawLine(box.topLeft(), box.topRight());
        }
    };
    const auto line = [&](const QString& words) {
        text(QRectF(box.left() + mm(1), box.top(), box.width(), row_height), words, 9, false,
             Qt::AlignLeft | Qt::AlignVCenter);
        box.setTop(box.top() + row_height);
    };
    row(t.header, true, 0);
    if (t.rows.isEmpty()) line(QStringLiteral("none"));
    for (int r = 0; r < t.rows.size(); ++r) row(t.rows[r], false, r);
    if (!t.more.isEmpty()) line(t.more);
    return box.top();
}

void Page::figures(const QRectF& area, const YieldCounts& total)
{
    struct Figure {
        QString caption, value, note;
    };
    const QString outside = QStringLiteral("not in the yield");
    const QString of = QStringLiteral("%1 of %2");
    const QList<Figure> figures = {
        {QStringLiteral("First-pass yield"), percent_text(total.first_pass_yield()),
         of.arg(total.first_pass).arg(total.cameras)},
        {QStringLiteral("Final yield"), percent_text(total.final_yield()), of.arg(total.final_pass).arg(total.cameras)},
        {QStringLiteral("Cameras tried"), QString::number(total.cameras), QStringLiteral("%1 jobs").arg(total.jobs)},
        {QStringLiteral("Retests"), QString::number(total.retests), QString()},
        {QStringLiteral("Station faults"), QString::number(total.station_faults), outside},
        {QStringLiteral("Cameras per hour"), rate_text(total.cameras_per_hour()),
         total.unverified > 0 ? QStringLiteral("%1 unverified, %2").arg(total.unverified).arg(outside) : QString()},
    };
    const qreal width = area.width() / 3;
    const qreal height = area.height() / 2;
    for (int i = 0; i < figures.size(); ++i) {
        const QRectF cell(area.left() + width * (i % 3), area.top() + height * (i / 3), width, height);
        const QRectF inner = cell.adjusted(mm(1), mm(1), -mm(1), -mm(1));
        p_.setPen(QPen(kGrid, mm(0.3)));
        p_.setBrush(Qt::NoBrush);
        p_.drawRect(inner);
        const QRectF content = inner.adjusted(mm(2.5), mm(1.5), -mm(2.5), -mm(1));
        text(content, figures[i].caption, 10);
        text(content.adjusted(0, mm(5), 0, 0), figures[i].value, 22, true);
        text(content, figures[i].note, 8.5, false, Qt::AlignLeft | Qt::AlignBottom, QColor(0x55, 0x55, 0x55));
    }
}

// ---- The two pages --------------------------------------------------------------------------

QString when(const QDateTime& time) { return time.toString(QStringLiteral("yyyy-MM-dd HH:mm")); }

QString period_text(const ReportPeriod& period, const YieldCounts& total)
{
    const QDateTime since = period.since.isValid() ? period.since : total.first_started;
    const QDateTime until = period.until.isValid() ? period.until : total.last_ended;
    if (!since.isValid()) return QStringLiteral("no jobs");
    const QString end = until.date() == since.date() ? until.toString(QStringLiteral("HH:mm")) : when(until);
    return QStringLiteral("%1 to %2").arg(when(since), end);
}

qreal header(Page& page, const QString& title, const QString& period, int number)
{
    QRectF box = page.area();
    const qreal title_height = page.text(box, title, 19, true);
    page.text(box, QStringLiteral("Page %1 of 2").arg(number), 9, false, Qt::AlignRight | Qt::AlignTop);
    box.setTop(box.top() + title_height + page.mm(0.5));
    const qreal line = page.text(box, QStringLiteral("Jobs from %1").arg(period), 11);
    page.text(box, QStringLiteral("Printed %1").arg(when(QDateTime::currentDateTime())), 9, false,
              Qt::AlignRight | Qt::AlignTop);
    return box.top() + line + page.mm(4);
}

ChartData hours_chart(const YieldFigures& f)
{
    ChartData data{QStringLiteral("Cameras per hour"), QStringLiteral("every job, in the hour it started"),
                   hour_labels(f.hours),
                   {{BarKind::Pass, {}}, {BarKind::Fail, {}}, {BarKind::StationFault, {}}}, {}, {}, {}, true};
    for (const HourCount& h : f.hours) {
        data.stacks[0].values << h.passed;
        data.stacks[1].values << h.failed;
        data.stacks[2].values << h.station_faults;
    }
    return data;
}

ChartData ports_chart(const YieldFigures& f)
{
    ChartData data{QStringLiteral("First-pass yield per port"), QStringLiteral("station faults left out"), {},
                   {{BarKind::Yield, {}}}, QStringLiteral(" %"),
                   100.0, {}, false};
    for (const YieldGroup& port : f.ports) {
        const std::optional<double> fpy = port.counts.first_pass_yield();
        if (!fpy) continue; // no camera tried on this port
        data.categories << QStringLiteral("%1\n%2 cameras").arg(port.label).arg(port.counts.cameras);
        data.stacks[0].values << *fpy * 100.0;
    }
    return data;
}

ChartData pareto_chart(const YieldFigures& f)
{
    ChartData data{QStringLiteral("Failures by reason"), QStringLiteral("jobs, the most frequent first"), {},
                   {{BarKind::Fail, {}}, {BarKind::StationFault, {}}},
                   {}, {}, {}, true};
    for (const ParetoEntry& e : f.reasons.mid(0, kChartedReasons)) {
        data.categories << e.key;
        data.stacks[0].values << (e.fault == FaultClass::Station ? 0 : e.count);
        data.stacks[1].values << (e.fault == FaultClass::Station ? e.count : 0);
        data.cumulative << e.cumulative * 100.0;
    }
    return data;
}

QString more_text(qsizetype all, qsizetype shown)
{
    return all > shown ? QStringLiteral("and %1 more").arg(all - shown) : QString();
}

Table reasons_table(const YieldFigures& f)
{
    Table t{QStringLiteral("Top failures by reason"), 2,
            {QStringLiteral("Reason"), QStringLiteral("Whose"), QStringLiteral("Count"), QStringLiteral("Share"),
             QStringLiteral("Cumulative")},
            {0.52, 0.12, 0.11, 0.12, 0.13}, {}, more_text(f.reasons.size(), kTableRows)};
    for (const ParetoEntry& e : f.reasons.mid(0, kTableRows))
        t.rows.append({e.key, fault_word(e.fault), QString::number(e.count), percent_text(e.share),
                       percent_text(e.cumulative)});
    return t;
}

Table addresses_table(const YieldFigures& f)
{
    Table t{QStringLiteral("Top differing addresses"), 1,
            {QStringLiteral("Address"), QStringLiteral("Count"), QStringLiteral("Share"), QStringLiteral("Cumul.")},
            {0.25, 0.21, 0.27, 0.27}, {}, more_text(f.addresses.size(), kTableRows)};
    for (const ParetoEntry& e : f.addresses.mid(0, kTableRows))
        t.rows.append({e.key, QString::number(e.count), percent_text(e.share), percent_text(e.cumulative)});
    return t;
}

Table ports_table(const YieldFigures& f)
{
    Table t{QStringLiteral("By port"), 1,
            {QStringLiteral("Port"), QStringLiteral("Cameras"), QStringLiteral("First pass"), QStringLiteral("Final"),
             QStringLiteral("Station faults")},
            {0.14, 0.18, 0.2, 0.18, 0.3}, {}, more_text(f.ports.size(), kTableRows)};
    for (const YieldGroup& g : f.ports.mid(0, kTableRows))
        t.rows.append({g.label, QString::number(g.counts.cameras), percent_text(g.counts.first_pass_yield()),
                       percent_text(g.counts.final_yield()), QString::number(g.counts.station_faults)});
    return t;
}

void first_page(Page& page, const YieldFigures& f, const QString& title, const QString& period)
{
    const QRectF& a = page.area();
    qreal y = header(page, title, period, 1);
    page.figures(QRectF(a.left(), y, a.width(), page.mm(46)), f.total);
    y += page.mm(52);
    const qreal chart_height = (a.bottom() - y - page.mm(6)) / 2;
    page.chart(QRectF(a.left(), y, a.width(), chart_height), hours_chart(f));
    page.chart(QRectF(a.left(), y + chart_height + page.mm(6), a.width(), chart_height), ports_chart(f));
}

void second_page(Page& page, const YieldFigures& f, const QString& title, const QString& period)
{
    const QRectF& a = page.area();
    qreal y = header(page, title, period, 2);
    page.chart(QRectF(a.left(), y, a.width(), page.mm(100)), pareto_chart(f));
    y += page.mm(106);
    y = page.table(QRectF(a.left(), y, a.width(), a.bottom() - y), reasons_table(f)) + page.mm(8);
    const qreal gap = page.mm(8);
    const qreal left = (a.width() - gap) * 0.4;
    page.table(QRectF(a.left(), y, left, a.bottom() - y), addresses_table(f));
    page.table(QRectF(a.left() + left + gap, y, a.width() - left - gap, a.bottom() - y), ports_table(f));
}

void set_error(QString* error, const QString& text)
{
    if (error) *error = text;
}

} // namespace

bool write_shift_report(const QString& path, const YieldFigures& figures, const ReportPeriod& period,
                        const QString& title, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        set_error(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        return false;
    }
    const QString heading = title.isEmpty() ? QStringLiteral("Shift report") : title;
    const QString covered = period_text(period, figures.total);
    {
        QPdfWriter writer(&file);
        writer.setResolution(kResolution);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter));
        writer.setTitle(heading);
        writer.setCreator(QStringLiteral("camera-station"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            file.cancelWriting();
            set_error(error, QStringLiteral("cannot write %1: the PDF writer did not start").arg(path));
            return false;
        }
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF area(QPointF(0, 0), QSizeF(writer.width(), writer.height()));
        Page page(painter, area);
        first_page(page, figures, heading, covered);
        writer.newPage();
        second_page(page, figures, heading, covered);
        painter.end();
    }
    if (!file.commit()) {
        set_error(error, QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

} // namespace yield
