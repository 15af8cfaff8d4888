// The hidden " Chroma " and "HUE" groups of the Lens Adjust page: chroma gains and hue trims that
// the register replies fill whatever page is active.

#include "main_window/mkr58.h"
#include "widgets/labelled_row.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QSlider>

namespace {

QSlider* trim_slider(QGroupBox* box, QGridLayout* grid, int row, const char* name, const char* caption,
                     int minimum, int maximum)
{
    auto* slider = new QSlider(Qt::Horizontal, box);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setRange(minimum, maximum);
    add_labelled_row(grid, row, QString::fromLatin1(caption), slider);
    return slider;
}

} // namespace

void TFKR58::build_service_trims(QGridLayout* page)
{
    auto* chroma = new QGroupBox(QStringLiteral(" Chroma "), TabSheet1);
    auto* chroma_grid = new QGridLayout(chroma);
    CromaRY = trim_slider(chroma, chroma_grid, 0, "CromaRY", "RY", 0, 255);
    CromaBY = trim_slider(chroma, chroma_grid, 1, "CromaBY", "BY", 0, 255);
    chroma->hide();

    auto* hue = new QGroupBox(QStringLiteral("HUE"), TabSheet1);
    auto* hue_grid = new QGridLayout(hue);
    RYP = trim_slider(hue, hue_grid, 0, "RYP", "RY+", -255, 255);
    BYP = trim_slider(hue, hue_grid, 1, "BYP", "BY+", -255, 255);
    RYN = trim_slider(hue, hue_grid, 2, "RYN", "RY-", -255, 255);
    BYN = trim_slider(hue, hue_grid, 3, "BYN", "BY-", -255, 255);
    hue->hide();

    page->addWidget(chroma, 0, 0);
    page->addWidget(hue, 0, 1);
}
