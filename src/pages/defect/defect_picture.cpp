#include "pages/defect/defect_picture.h"

#include <QMouseEvent>
#include <QPainter>

SensorPicture::SensorPicture(QWidget* parent) : QFrame(parent) { setFrameShape(QFrame::NoFrame); }

void SensorPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), QBrush(QColor(128, 128, 0), Qt::CrossPattern));
}

void SensorPicture::mousePressEvent(QMouseEvent* event)
{
    // Accepted, so that the release comes here too.
    event->accept();
}

void SensorPicture::mouseReleaseEvent(QMouseEvent* event)
{
    if (on_mouse_up) on_mouse_up(event->position().toPoint());
}

MarkerShape::MarkerShape(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
    // A click on the marker is a click on the picture under it.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void MarkerShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
