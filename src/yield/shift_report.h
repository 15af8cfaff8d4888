#pragma once
// The shift report for a line's notice board: two A4 pages as PDF with the figures, the charts
// of the Yield view and the top failures. Painted with QPainter onto Qt's PDF writer, so a
// program without widgets (a QGuiApplication) can write it.

#include "yield/yield_figures.h"

#include <QDateTime>
#include <QString>

namespace yield {

// The period the report covers; an invalid end is taken from the jobs' span.
struct ReportPeriod {
    QDateTime since;
    QDateTime until;
};

// Writes the report to `path` through a temporary file that replaces it only when complete: a
// failed write leaves an existing file as it was. False with a one-line reason in `error`.
bool write_shift_report(const QString& path, const YieldFigures& figures, const ReportPeriod& period,
                        const QString& title, QString* error);

} // namespace yield
