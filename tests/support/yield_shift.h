#pragma once
// The masters and the day of the shifts the yield tests count over.

#include <QDateTime>
#include <QString>

namespace yield_shift {

const QString kM1 = QString(64, QLatin1Char('a'));
const QString kM2 = QString(64, QLatin1Char('b'));

// A moment of the shift, on a station two hours east of UTC.
inline QDateTime at(int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2024, 5, 6), QTime(hour, minute, second), Qt::OffsetFromUTC, 7200);
}

} // namespace yield_shift
