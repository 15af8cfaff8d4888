// The Debug page.

#include "main_window/mkr58.h"

void TFKR58::build_debug_page() {}

void TFKR58::Debug_tend() {}
