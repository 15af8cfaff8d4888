#include "mask/cmask.h"

#include "main_window/mkr58.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include <algorithm>

namespace {
constexpr int kPictureWidth = 200;
constexpr int kPictureHeight = 145;
} // namespace

MaskPaintBox::MaskPaintBox(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(false); // moves are reported only while a button is held, as a drag
}

void MaskPaintBox::draw_rect(const MaskRect& rect)
{
    drawn_ = rect;
    update();
}

void MaskPaintBox::clear_area()
{
    drawn_.reset();
    update();
}

void MaskPaintBox::paintEvent(QPaintEvent*)
{
    if (!drawn_) return;
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(palette().color(QPalette::Window));
    // Corner to corner with the right and bottom edges left out, whichever way round they are.
    const QRect r = QRect(QPoint(drawn_->hs, drawn_->vs), QPoint(drawn_->he - 1, drawn_->ve - 1)).normalized();
    painter.drawRect(r.adjusted(0, 0, -1, -1));
}

void MaskPaintBox::mousePressEvent(QMouseEvent* event) { emit mouseDown(event->position().toPoint()); }

void MaskPaintBox::mouseMoveEvent(QMouseEvent* event) { emit mouseMove(event->position().toPoint()); }

void MaskPaintBox::mouseReleaseEvent(QMouseEvent* event) { emit mouseUp(event->position().toPoint()); }

TFMask::TFMask(TFKR58* owner)
    : QWidget(owner, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      main_(*owner)
{
    // A window of its own that lives as long as the main window and closes with it.
    setObjectName(QStringLiteral("FMask"));
    setWindowTitle(QStringLiteral("Mask"));
    setFixedSize(kClientWidth, kClientHeight);

    Panel9 = new QFrame(this);
    Panel9->setObjectName(QStringLiteral("Panel9"));
    Panel9->setFrameStyle(QFrame::Box | QFrame::Plain);
    Panel9->setGeometry(37, 16, 189, 142);
    // The panel's children are placed in its client area, inside the border, and clipped to it.
    auto* client = new QWidget(Panel9);
    client->setGeometry(Panel9->contentsRect());

    Image1 = new QLabel(client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, kPictureWidth, kPictureHeight);
    Image1->setPixmap(QPixmap::fromImage(mask_backdrop_picture()));
    Image1->setAccessibleName(QStringLiteral("Camera picture"));

    PaintBox2 = new MaskPaintBox(client);
    PaintBox2->setObjectName(QStringLiteral("PaintBox2"));
    PaintBox2->setGeometry(-12, 0, kPictureWidth, kPictureHeight);

    Shape1 = new QFrame(client);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(24, 72, 33, 33);
    Shape1->hide();

    PaintBox1 = new QWidget(client);
    PaintBox1->setObjectName(QStringLiteral("PaintBox1"));
    PaintBox1->setGeometry(104, 64, 33, 1);

    auto hidden_label = [this](const char* name, const QString& caption) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QString::fromLatin1(name));
        label->hide();
        return label;
    };
    x1 = hidden_label("x1", QStringLiteral("x1"));
    x2 = hidden_label("x2", QStringLiteral("x2"));
    y1 = hidden_label("y1", QStringLiteral("y1"));
    y2 = hidden_label("y2", QStringLiteral("y2"));
    lbVert = hidden_label("lbVert", QStringLiteral(" "));

    Button1 = new QPushButton(QStringLiteral("Exit"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->move(160, 167);
    connect(Button1, &QPushButton::clicked, this, &TFMask::Button1Click);
    connect(PaintBox2, &MaskPaintBox::mouseDown, this, &TFMask::PaintBox2MouseDown);
    connect(PaintBox2, &MaskPaintBox::mouseMove, this, &TFMask::PaintBox2MouseMove);
    connect(PaintBox2, &MaskPaintBox::mouseUp, this, &TFMask::PaintBox2MouseUp);
}

bool TFMask::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QWidget::event(event);
}

void TFMask::FormActivate()
{
    main_.Mask_read(main_.mask->currentIndex());
    main_.mask_dragging = false;
}

void TFMask::PaintBox2MouseDown(QPoint point)
{
    main_.mask_down_x = point.x();
    main_.mask_down_y = point.y();
    main_.mask_dragging = true;
}

void TFMask::PaintBox2MouseMove(QPoint point)
{
    if (!main_.mask_dragging) return;
    const int x0 = main_.mask_down_x;
    const int y0 = main_.mask_down_y;
    main_.Mask_disp(std::min(x0, point.x()), std::min(y0, point.y()), std::max(x0, point.x()),
                    std::max(y0, point.y()));
}

void TFMask::PaintBox2MouseUp(QPoint point)
{
    main_.mask_dragging = false;
    main_.Mask_write(main_.mask->currentIndex(), main_.mask_down_x, main_.mask_down_y, point.x(), point.y());
}

void TFMask::Button1Click()
{
    main_.mask_dragging = false;
    close(); // hidden, not destroyed: the window lives as long as the application
}

QImage mask_backdrop_picture()
{
    QImage picture(kPictureWidth, kPictureHeight, QImage::Format_RGB888);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 80);
    sky.setColorAt(0, QColor(110, 160, 220));
    sky.setColorAt(1, QColor(200, 220, 240));
    p.fillRect(0, 0, kPictureWidth, 80, sky);
    // Distant buildings, a house with windows and a door, the pavement and the street.
    p.fillRect(0, 40, 45, 45, QColor(150, 150, 160));
    p.fillRect(150, 30, 50, 55, QColor(135, 140, 150));
    p.fillRect(55, 45, 80, 45, QColor(190, 160, 120));
    p.setBrush(QColor(140, 60, 50));
    p.setPen(Qt::NoPen);
    p.drawPolygon(QPolygon({QPoint(50, 46), QPoint(95, 22), QPoint(140, 46)}));
    p.fillRect(63, 55, 16, 12, QColor(90, 130, 170));
    p.fillRect(110, 55, 16, 12, QColor(90, 130, 170));
    p.fillRect(88, 65, 14, 25, QColor(90, 60, 40));
    p.fillRect(0, 85, kPictureWidth, 12, QColor(170, 170, 165));
    p.fillRect(0, 97, kPictureWidth, 48, QColor(70, 70, 75));
    p.setPen(QPen(QColor(230, 230, 220), 2, Qt::DashLine));
    p.drawLine(0, 122, kPictureWidth, 122);
    // A parked car.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(180, 30, 30));
    p.drawRoundedRect(120, 102, 50, 14, 4, 4);
    p.drawRoundedRect(130, 94, 28, 12, 4, 4);
    p.setBrush(Qt::black);
    p.drawEllipse(127, 111, 10, 10);
    p.drawEllipse(153, 111, 10, 10);
    return picture;
}
