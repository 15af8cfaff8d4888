// The Debug page.

#include "main_window/mkr58.h"

#include <QGridLayout>

void TFKR58::build_debug_page()
{
    auto* page = new QGridLayout(TabSheet2);
    // The menu keys and service commands (service_commands.cpp).
    page->addWidget(build_service_commands(TabSheet2), 0, 0);
    page->setRowStretch(1, 1);
    page->setColumnStretch(1, 1);
}

void TFKR58::Debug_tend() {}

void TFKR58::debug_form_create() {}
void TFKR58::debug_exchange_abandoned() {}
void TFKR58::debug_page_left() {}
