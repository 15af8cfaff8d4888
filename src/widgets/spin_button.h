#pragma once
// A pair of small up and down arrow buttons that only report clicks.

#include <QWidget>

class QToolButton;

class SpinButton : public QWidget {
    Q_OBJECT
public:
    explicit SpinButton(QWidget* parent = nullptr);
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

signals:
    void upClick();
    void downClick();

private:
    QToolButton* up_;
    QToolButton* down_;
};

// An up-down control bound to an edit: the edit shows the position; the arrows step it within the
// range, wrapping past either end when wrap is on. Text typed into the edit becomes the position
// when it is a number in range.
class QLineEdit;

class UpDown : public QWidget {
    Q_OBJECT
public:
    UpDown(QLineEdit* buddy, int minimum, int maximum, int position, bool wrap, QWidget* parent = nullptr);

    int position() const;
    void setPosition(int position);
    void setRange(int minimum, int maximum);
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    void stepBy(int steps);
    SpinButton* arrows() const { return arrows_; }

signals:
    void positionChanged(int position);

private:
    QLineEdit* buddy_;
    SpinButton* arrows_;
    int min_;
    int max_;
    int position_;
    bool wrap_;
};
