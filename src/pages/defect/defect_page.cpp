// The CCD Defect page.

#include "link/hex_text.h"
#include "main_window/mkr58.h"
#include "widgets/labelled_row.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace {
constexpr int kPictureWidth = 200;
constexpr int kPictureHeight = 150;
constexpr int kMarkerSize = 6;
} // namespace

void TFKR58::build_defect_page()
{
    auto* grid = new QGridLayout(TabSheet5);
    auto add_position_edit = [&](const char* name, const char* caption, int row) {
        auto* edit = new QLineEdit(TabSheet5);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setMaxLength(4);
        edit->setEnabled(false);
        edit->setFixedWidth(60);
        add_labelled_row(grid, row, QString::fromLatin1(caption), edit);
        return edit;
    };
    kizu_ax = add_position_edit("kizu_ax", "X", 0);
    kizu_ay = add_position_edit("kizu_ay", "Y", 1);

    Panel9 = new QFrame(TabSheet5);
    Panel9->setObjectName(QStringLiteral("Panel9"));
    Panel9->setFrameStyle(QFrame::Box | QFrame::Plain);
    Panel9->setLineWidth(1);
    Panel9->setFixedSize(kPictureWidth + 2, kPictureHeight + 2);
    Shape1 = new QFrame(Panel9);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(1, 1, kPictureWidth, kPictureHeight);
    Shape1->setStyleSheet(QStringLiteral("background-color: olive;"));
    Shape2 = new QFrame(Shape1);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setGeometry(0, 0, kMarkerSize, kMarkerSize);
    Shape2->setStyleSheet(QStringLiteral("background-color: white; border-radius: 3px;"));
    grid->addWidget(Panel9, 0, 2, 3, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(3, 1);
}

void TFKR58::Trans_end_kizu() {}

void TFKR58::kizu_marker_set()
{
    // The marker follows the working position after every reply, whatever page is active.
    const std::int32_t x = hex_text_value(kizu_ax->text());
    const std::int32_t y = hex_text_value(kizu_ay->text());
    Shape2->move(x * Shape1->width() / ccd_x_max, y * Shape1->height() / ccd_y_max);
}

void TFKR58::defect_form_create() {}
void TFKR58::defect_exchange_abandoned() {}
void TFKR58::defect_page_left() {}
