// The Lens Adjust page.

#include "main_window/mkr58.h"
#include "widgets/labelled_row.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace {

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
    // The hidden chroma and hue trims (service_trims.cpp) take columns 0 and 1 of the first row.
    build_service_trims(page);
    // The hidden sensor timing delays; the delay replies fill them whatever page is active.
    auto* delay = new QGroupBox(QStringLiteral("Delay"), TabSheet1);
    auto* delay_grid = new QGridLayout(delay);
    rg_delay = delay_edit(delay, delay_grid, 0, "rg_delay", "RG Delay  ");
    rg_width = delay_edit(delay, delay_grid, 1, "rg_width", "RG Width  ");
    shp_delay = delay_edit(delay, delay_grid, 2, "shp_delay", "SHP Delay  ");
    shd_delay = delay_edit(delay, delay_grid, 3, "shd_delay", "SHD Delay  ");
    delay->hide();

    page->addWidget(delay, 0, 2);
    page->setRowStretch(1, 1);
}

void TFKR58::Trans_end_cstm() {}

void TFKR58::lens_form_create() {}
void TFKR58::lens_exchange_abandoned() {}
void TFKR58::lens_page_left() {}
