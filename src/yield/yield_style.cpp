#include "yield/yield_style.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>

namespace yield {
namespace {

constexpr int kTilePixels = 16; // a multiple of the stripe spacing below, so that tiles join
constexpr qreal kTileSpacing = 8;

// Lines x + y = c (rising to the right) across `area`, `spacing` apart, aligned to the origin
// so that neighbouring areas continue each other's stripes.
void rising_lines(QPainter& painter, const QRectF& area, qreal spacing)
{
    const qreal first = std::floor((area.left() + area.top()) / spacing) * spacing;
    for (qreal c = first; c <= area.right() + area.bottom() + spacing; c += spacing)
        painter.drawLine(QPointF(c - area.bottom(), area.bottom()), QPointF(c - area.top(), area.top()));
}

// Lines x - y = c (falling to the right).
void falling_lines(QPainter& painter, const QRectF& area, qreal spacing)
{
    const qreal first = std::floor((area.left() - area.bottom()) / spacing) * spacing;
    for (qreal c = first; c <= area.right() - area.top() + spacing; c += spacing)
        painter.drawLine(QPointF(area.top() + c, area.top()), QPointF(area.bottom() + c, area.bottom()));
}

void paint_pattern(QPainter& painter, const QRectF& area, BarKind kind, qreal spacing)
{
    switch (kind) {
    case BarKind::Fail:
        painter.setPen(QPen(QColor(0xff, 0xff, 0xff), spacing * 0.35, Qt::SolidLine, Qt::FlatCap));
        rising_lines(painter, area, spacing);
        break;
    case BarKind::StationFault:
        painter.setPen(QPen(QColor(0x42, 0x42, 0x42), spacing * 0.16, Qt::SolidLine, Qt::FlatCap));
        rising_lines(painter, area, spacing);
        falling_lines(painter, area, spacing);
        break;
    case BarKind::Pass:
    case BarKind::Yield: break;
    }
}

} // namespace

QString bar_caption(BarKind kind)
{
    switch (kind) {
    case BarKind::Pass: return QStringLiteral("PASS");
    case BarKind::Fail: return QStringLiteral("FAIL");
    case BarKind::StationFault: return QStringLiteral("STATION FAULT");
    case BarKind::Yield: break;
    }
    return QStringLiteral("First-pass yield");
}

QColor bar_fill(BarKind kind)
{
    switch (kind) {
    case BarKind::Pass: return {0xa5, 0xd6, 0xa7};         // light
    case BarKind::Fail: return {0xb7, 0x1c, 0x1c};         // dark
    case BarKind::StationFault: return {0xe6, 0xe6, 0xe6}; // pale, hatched dark
    case BarKind::Yield: break;
    }
    return {0x15, 0x65, 0xc0};
}

QPen bar_outline(BarKind kind, qreal width)
{
    switch (kind) {
    case BarKind::Pass: return QPen(QColor(0x1b, 0x5e, 0x20), width);
    case BarKind::Fail: return QPen(QColor(0x5d, 0x00, 0x00), width);
    case BarKind::StationFault: return QPen(QColor(0x42, 0x42, 0x42), width);
    case BarKind::Yield: break;
    }
    return QPen(QColor(0x0d, 0x47, 0xa1), width);
}

void paint_bar(QPainter& painter, const QRectF& bar, BarKind kind, qreal spacing)
{
    if (bar.isEmpty()) return;
    painter.save();
    painter.fillRect(bar, bar_fill(kind));
    painter.setClipRect(bar, Qt::IntersectClip);
    paint_pattern(painter, bar, kind, spacing);
    painter.restore();
    painter.save();
    painter.setPen(bar_outline(kind, spacing * 0.15));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(bar);
    painter.restore();
}

QBrush bar_brush(BarKind kind)
{
    QPixmap tile(kTilePixels, kTilePixels);
    tile.fill(bar_fill(kind));
    QPainter painter(&tile);
    painter.setRenderHint(QPainter::Antialiasing);
    paint_pattern(painter, QRectF(0, 0, kTilePixels, kTilePixels), kind, kTileSpacing);
    painter.end();
    return QBrush(tile);
}

QColor cumulative_colour() { return {0x21, 0x21, 0x21}; }

CountScale count_scale(double highest)
{
    const double rough = std::max(highest, 4.0) / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * power;
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough) {
            step = factor * power;
            break;
        }
    }
    step = std::max(step, 1.0);
    const int steps = int(std::ceil(highest / step - 1e-9));
    return {std::max(steps, 1) * step, std::max(steps, 1)};
}

QStringList hour_labels(const QList<HourCount>& hours)
{
    const bool days = !hours.isEmpty() && hours.first().hour.date() != hours.last().hour.date();
    const QString format = days ? QStringLiteral("MM-dd HH:mm") : QStringLiteral("HH:mm");
    QStringList labels;
    for (const HourCount& h : hours) labels << h.hour.toString(format);
    return labels;
}

} // namespace yield
