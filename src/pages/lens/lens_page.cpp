// The Lens Adjust page.

#include "main_window/mkr58.h"
#include "widgets/labelled_row.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
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

QLineEdit* delay_edit(QGroupBox* box, QGridLayout* grid, int row, const char* name, const char* caption)
{
    auto* edit = new QLineEdit(QStringLiteral("0"), box);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(1);
    add_labelled_row(grid, row, QString::fromLatin1(caption), edit);
    return edit;
}

} // namespace

void TFKR58::build_lens_page()
{
    auto* page = new QGridLayout(TabSheet1);
    // Hidden service groups: chroma gain, hue trims and the sensor timing delays. The register and
    // delay replies fill them whatever page is active.
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

    auto* delay = new QGroupBox(QStringLiteral("Delay"), TabSheet1);
    auto* delay_grid = new QGridLayout(delay);
    rg_delay = delay_edit(delay, delay_grid, 0, "rg_delay", "RG Delay  ");
    rg_width = delay_edit(delay, delay_grid, 1, "rg_width", "RG Width  ");
    shp_delay = delay_edit(delay, delay_grid, 2, "shp_delay", "SHP Delay  ");
    shd_delay = delay_edit(delay, delay_grid, 3, "shd_delay", "SHD Delay  ");
    delay->hide();

    page->addWidget(chroma, 0, 0);
    page->addWidget(hue, 0, 1);
    page->addWidget(delay, 0, 2);
    page->setRowStretch(1, 1);
}

void TFKR58::Trans_end_cstm() {}
