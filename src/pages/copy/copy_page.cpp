// The Copy page: the parameter memory to a data file and back.

#include "main_window/mkr58.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

void TFKR58::build_copy_page()
{
    auto* grid = new QGridLayout(CopySheet);
    CtopOK2 = new QPushButton(QStringLiteral("Camera->PC"), CopySheet);
    CtopOK2->setObjectName(QStringLiteral("CtopOK2"));
    ptocOk = new QPushButton(QStringLiteral("PC->Camera"), CopySheet);
    ptocOk->setObjectName(QStringLiteral("ptocOk"));
    ptocOk2 = new QPushButton(QStringLiteral("PC->Camera(Batch)"), CopySheet);
    ptocOk2->setObjectName(QStringLiteral("ptocOk2"));
    // The two single-mode buttons appear with the service code; the batch button with the
    // Debug and Delay configurations.
    CtopOK2->hide();
    ptocOk->hide();
    ptocOk2->hide();
    ProgressBar3 = new QProgressBar(CopySheet);
    ProgressBar3->setObjectName(QStringLiteral("ProgressBar3"));
    ProgressBar3->setRange(0, 100);
    ProgressBar3->setValue(0);
    complete2 = new QLabel(QStringLiteral("Complete"), CopySheet);
    complete2->setObjectName(QStringLiteral("complete2"));
    grid->addWidget(CtopOK2, 0, 0);
    grid->addWidget(ptocOk, 0, 1);
    grid->addWidget(ptocOk2, 0, 2);
    grid->addWidget(ProgressBar3, 1, 0, 1, 3);
    grid->addWidget(complete2, 2, 0);
    grid->setRowStretch(3, 1);
}

void TFKR58::Trans_end_copy() {}

void TFKR58::copy_form_create() {}
void TFKR58::copy_exchange_abandoned() {}
void TFKR58::copy_page_left() {}
