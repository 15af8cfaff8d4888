// The Setup page: reply decoding, controls and their setting commands.

#include "main_window/mkr58.h"

void TFKR58::build_setup_page() {}

void TFKR58::Trans_end_common() {}

void TFKR58::Trans_end_easy() {}

void TFKR58::Trans_cstm_hidden() {}
