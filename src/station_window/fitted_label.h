#pragma once
// A label whose text takes the largest type that fits the label, wrapped at spaces when it must:
// a state word that reads from across the bench in a large tile and still fits a small one. Its
// size hints ask for room for `lines` lines at the least size only and never follow the type it
// shows, so that fitting the type never makes the layout move the label again.

#include <QLabel>

namespace station_window {

class FittedLabel : public QLabel {
    Q_OBJECT
public:
    FittedLabel(int least_points, int most_points, int lines, QWidget* parent = nullptr);

    // QLabel::setText, then the type fitted to the new text.
    void show_text(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return false; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();
    bool fits(int points) const;

    int least_points_;
    int most_points_;
    int lines_;
};

} // namespace station_window
