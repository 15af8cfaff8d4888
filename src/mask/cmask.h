#pragma once
// The mask drawing window: a still picture of a camera scene over which the technician drags a
// privacy-mask rectangle. Created hidden at start; the Setup page's mask selection shows it. The
// drag state and the rectangle's reading, drawing and writing belong to the main window.

#include "mask/mask_geometry.h"

#include <QWidget>

#include <optional>

class QFrame;
class QLabel;
class QPushButton;
class TFKR58;

// The drawing surface: reports the mouse in its own coordinates and shows at most one rectangle,
// a black outline filled with the window's face colour that covers the picture under it.
class MaskPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit MaskPaintBox(QWidget* parent = nullptr);
    // Draws the rectangle from corner (hs, vs) to corner (he, ve), right and bottom exclusive.
    void draw_rect(const MaskRect& rect);
    // Erases what was drawn, showing the picture again.
    void clear_area();
    std::optional<MaskRect> drawn() const { return drawn_; }

signals:
    void mouseDown(QPoint point);
    void mouseMove(QPoint point);
    void mouseUp(QPoint point);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::optional<MaskRect> drawn_;
};

class TFMask : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 263;
    static constexpr int kClientHeight = 199;

    explicit TFMask(TFKR58* owner);

    // Window events.
    // Became the active window: the selected mask's rectangle is read (and drawn on the reply).
    void FormActivate();
    void PaintBox2MouseDown(QPoint point);
    // Draws the rectangle dragged so far; nothing is sent before the button is released.
    void PaintBox2MouseMove(QPoint point);
    // Writes the dragged rectangle to the camera.
    void PaintBox2MouseUp(QPoint point);
    void Button1Click();

    QFrame* Panel9 = nullptr;
    QLabel* Image1 = nullptr;
    MaskPaintBox* PaintBox2 = nullptr;
    QFrame* Shape1 = nullptr;
    QWidget* PaintBox1 = nullptr;
    QLabel* x1 = nullptr;
    QLabel* x2 = nullptr;
    QLabel* y1 = nullptr;
    QLabel* y2 = nullptr;
    QLabel* lbVert = nullptr;
    QPushButton* Button1 = nullptr;

protected:
    bool event(QEvent* event) override;

private:
    TFKR58& main_;
};

// The still picture behind the drawing surface: a street scene drawn in code.
QImage mask_backdrop_picture();
