#include "station_window/fitted_label.h"

#include <QFontMetrics>

namespace station_window {
namespace {

// Below this the text no longer fits a label made too small by hand; it is then cut, not shrunk.
constexpr int kSmallestPoints = 8;

} // namespace

FittedLabel::FittedLabel(int least_points, int most_points, int lines, QWidget* parent)
    : QLabel(parent), least_points_(least_points), most_points_(most_points), lines_(lines)
{
    setWordWrap(true);
    setAlignment(Qt::AlignCenter);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::MinimumExpanding);
}

void FittedLabel::show_text(const QString& text)
{
    setText(text);
    fit();
}

QSize FittedLabel::sizeHint() const { return minimumSizeHint(); }

QSize FittedLabel::minimumSizeHint() const
{
    QFont least = font();
    least.setPointSize(least_points_);
    const QFontMetrics metrics(least);
    const QMargins margins = contentsMargins();
    return {metrics.averageCharWidth() * 4 + margins.left() + margins.right(),
            metrics.lineSpacing() * lines_ + margins.top() + margins.bottom()};
}

void FittedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    fit();
}

bool FittedLabel::fits(int points) const
{
    QFont type = font();
    type.setPointSize(points);
    const QRect room = contentsRect();
    const QRect needed = QFontMetrics(type).boundingRect(QRect(0, 0, room.width(), 1 << 20),
                                                         Qt::TextWordWrap | Qt::AlignCenter, text());
    return needed.width() <= room.width() && needed.height() <= room.height();
}

// The largest size that fits, found by halving: a larger size never fits where a smaller did not.
void FittedLabel::fit()
{
    if (contentsRect().isEmpty() || text().isEmpty()) return;
    int best = kSmallestPoints;
    for (int low = kSmallestPoints, high = most_points_; low <= high;) {
        const int middle = (low + high) / 2;
        if (fits(middle)) {
            best = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    if (font().pointSize() == best) return;
    QFont type = font();
    type.setPointSize(best);
    setFont(type);
}

} // namespace station_window
