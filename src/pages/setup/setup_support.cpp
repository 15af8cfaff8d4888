#include "pages/setup/setup_support.h"

#include "main_window/mkr58.h"
#include "widgets/radio_group.h"
#include "widgets/timers.h"

#include <QComboBox>
#include <QTimer>

namespace setup {

void send_setting(TFKR58& w, std::initializer_list<std::uint8_t> bytes)
{
    if (!w.Trans_chk()) return;
    std::size_t i = 1;
    for (std::uint8_t b : bytes) w.cmd_frame[i++] = b;
    w.StxCommand(w.cmd_frame, static_cast<int>(bytes.size()));
}

void slider_changed(TFKR58& w, QTimer* timer)
{
    // A position written by a read series or by a decoder must not be sent back.
    if (w.trans_no == 0 && !w.ctrl_updating) enable_timer(timer);
}

void slider_tick(TFKR58& w, QTimer* timer, std::initializer_list<std::uint8_t> bytes)
{
    if (!w.Trans_chk()) return;
    timer->stop();
    send_setting(w, bytes);
}

void set_combo_item(QComboBox* combo, int item)
{
    combo->setCurrentIndex(item >= 0 && item < combo->count() ? item : -1);
}

ControlUpdate::ControlUpdate(TFKR58& w) : window_(w), saved_(w.ctrl_updating) { w.ctrl_updating = true; }

ControlUpdate::~ControlUpdate() { window_.ctrl_updating = saved_; }

bool wdr_blocked(const TFKR58& w)
{
    const int lens = w.Lens->itemIndex();
    return lens == 1 || (lens == 0 && w.Shutter_NT->currentIndex() >= 2);
}

} // namespace setup
