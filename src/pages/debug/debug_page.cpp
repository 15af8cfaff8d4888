// The Debug page.

#include "main_window/mkr58.h"
#include "widgets/radio_group.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QSlider>

void TFKR58::build_debug_page()
{
    auto* page = new QGridLayout(TabSheet2);
    // The WDR test controls, which the Setup decoders and interlocks also drive.
    auto* wdr_test = new QGroupBox(QStringLiteral("WDR Test"), TabSheet2);
    auto* grid = new QGridLayout(wdr_test);
    wdr_test_sel = new RadioGroup(QString(), {"Auto", "Fix"}, wdr_test);
    wdr_test_sel->setObjectName(QStringLiteral("wdr_test_sel"));
    wdr_test_sel->setAccessibleName(QStringLiteral("WDR test mode"));
    wdr_test_onlvl = new QSlider(Qt::Horizontal, wdr_test);
    wdr_test_onlvl->setObjectName(QStringLiteral("wdr_test_onlvl"));
    wdr_test_onlvl->setRange(0, 63);
    wdr_test_onlvl->setPageStep(1);
    wdr_test_onlvl->setAccessibleName(QStringLiteral("WDR shutter number"));
    dbg_blcs = new RadioGroup(QStringLiteral("BLC"), {"OFF", "ON", "WDR"}, wdr_test);
    dbg_blcs->setObjectName(QStringLiteral("dbg_blcs"));
    grid->addWidget(wdr_test_sel, 0, 0);
    grid->addWidget(wdr_test_onlvl, 1, 0);
    grid->addWidget(dbg_blcs, 2, 0);
    page->addWidget(wdr_test, 0, 0);
    page->setRowStretch(1, 1);
    page->setColumnStretch(1, 1);
}

void TFKR58::Debug_tend() {}

void TFKR58::debug_form_create() {}
void TFKR58::debug_exchange_abandoned() {}
void TFKR58::debug_page_left() {}
