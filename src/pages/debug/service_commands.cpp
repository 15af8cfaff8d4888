// The Debug page's menu keys and service commands: presets, the WDR test, the back light without
// the Setup page's WDR rule, and the service reads.

#include "main_window/mkr58.h"
#include "widgets/radio_group.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>

QWidget* TFKR58::build_service_commands(QWidget* parent)
{
    auto* area = new QWidget(parent);
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(0, 0, 0, 0);

    auto* wdr_test = new QGroupBox(QStringLiteral("WDR Test"), area);
    auto* grid = new QGridLayout(wdr_test);
    wdr_test_sel = new RadioGroup(QString(), {"Auto", "Fix"}, wdr_test);
    wdr_test_sel->setObjectName(QStringLiteral("wdr_test_sel"));
    wdr_test_sel->setAccessibleName(QStringLiteral("WDR test mode"));
    wdr_test_onlvl = new QSlider(Qt::Horizontal, wdr_test);
    wdr_test_onlvl->setObjectName(QStringLiteral("wdr_test_onlvl"));
    wdr_test_onlvl->setRange(0, 63);
    wdr_test_onlvl->setPageStep(1);
    wdr_test_onlvl->setAccessibleName(QStringLiteral("WDR shutter number"));
    wdr_test_ontext = new QLineEdit(wdr_test);
    wdr_test_ontext->setObjectName(QStringLiteral("wdr_test_ontext"));
    wdr_test_ontext->setEnabled(false);
    wdr_test_ontext->setAccessibleName(QStringLiteral("WDR shutter number, hexadecimal"));
    wdr_no_dec = new QLabel(wdr_test);
    wdr_no_dec->setObjectName(QStringLiteral("wdr_no_dec"));
    wdr_no_dec->setAccessibleName(QStringLiteral("WDR shutter number, decimal"));
    dbg_blcs = new RadioGroup(QStringLiteral("BLC"), {"OFF", "ON", "WDR"}, wdr_test);
    dbg_blcs->setObjectName(QStringLiteral("dbg_blcs"));
    grid->addWidget(wdr_test_sel, 0, 0);
    grid->addWidget(wdr_test_onlvl, 1, 0);
    grid->addWidget(wdr_test_ontext, 2, 0);
    grid->addWidget(wdr_no_dec, 3, 0);
    grid->addWidget(dbg_blcs, 4, 0);
    column->addWidget(wdr_test);
    column->addStretch(1);
    return area;
}

// "Read" of the WDR Test group: the WDR data read 0x33 0x48.
void TFKR58::wdr_rd_btnClick() {}
