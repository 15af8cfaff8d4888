// The Lens Adjust page.

#include "main_window/mkr58.h"

void TFKR58::build_lens_page() {}

void TFKR58::Trans_end_cstm() {}
