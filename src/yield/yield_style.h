#pragma once
// How the yield's bars look on screen and on paper, the same in both: PASS a light solid fill,
// FAIL a dark fill with light stripes, STATION FAULT a pale fill with a dark cross-hatch. Apart
// by lightness and by pattern as well as by hue, so that they stay apart for a colour-blind
// operator and on a black-and-white print, and each is named by its caption in every legend.

#include "yield/yield_figures.h"

#include <QBrush>
#include <QColor>
#include <QPen>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

namespace yield {

enum class BarKind { Pass, Fail, StationFault, Yield };

// The failure Pareto charts this many reasons; its tables list more.
constexpr int kChartedReasons = 8;

// "PASS", "FAIL", "STATION FAULT", "First-pass yield".
QString bar_caption(BarKind kind);
QColor bar_fill(BarKind kind);
QPen bar_outline(BarKind kind, qreal width);

// Fills `bar` with its kind's fill and pattern; `spacing` is the distance between stripes in
// the painter's units.
void paint_bar(QPainter& painter, const QRectF& bar, BarKind kind, qreal spacing);

// The same fill and pattern as a brush (a tile), for a chart's bar set.
QBrush bar_brush(BarKind kind);

// The cumulative line of a Pareto.
QColor cumulative_colour();

// A count axis from 0 to `top`, in `steps` steps of 1, 2 or 5 times a power of ten, at least
// reaching `highest`.
struct CountScale {
    double top = 0;
    int steps = 0;
};
CountScale count_scale(double highest);

// The labels of the hours on the view and the report: "07:00", or "05-06 07:00" when the hours
// span more than one day.
QStringList hour_labels(const QList<HourCount>& hours);

} // namespace yield
