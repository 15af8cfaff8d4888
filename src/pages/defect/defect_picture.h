#pragma once
// The sensor picture of the CCD Defect page: an olive cross-hatched rectangle without outline that
// reports where a mouse button was released, and the round marker of the working position on it.

#include <QFrame>

#include <functional>

class SensorPicture : public QFrame {
public:
    explicit SensorPicture(QWidget* parent = nullptr);
    // Called with the point of every mouse-button release, in the picture's coordinates.
    std::function<void(QPoint)> on_mouse_up;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class MarkerShape : public QFrame {
public:
    explicit MarkerShape(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
