// The title and mask hooks of the Setup page's decoders. The title blocks are exchanged by the
// title editor and the rectangle is drawn by the mask window; until they are in place a title
// reply changes nothing and a mask reply only records mask_view.

#include "main_window/mkr58.h"

#include <QTimer>

void TFKR58::CharSet() {}

void TFKR58::CidWrite(int) {}

void TFKR58::mask_on_timerTimer() { mask_on_timer->stop(); }
