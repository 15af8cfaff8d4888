// The "Mask" group of the Setup page and the main window's side of the mask window: switching the
// four privacy masks on and off, opening the window for one of them, reading, drawing and writing
// its rectangle. The window's own events are in mask/cmask.cpp.

#include "main_window/mkr58.h"
#include "mask/cmask.h"
#include "mask/mask_geometry.h"
#include "pages/setup/setup_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTimer>

using setup::kRead;
using setup::kWrite;
using setup::low_byte;
using setup::send_setting;

namespace {
constexpr std::uint8_t kMask = 0x1F;
constexpr std::uint8_t kMaskRectItem = 0x10; // 0x10 + m: the rectangle of mask m
constexpr int kMaskCount = 4;

bool is_mask_index(int m) { return m >= 0 && m < kMaskCount; }

void send_switch(TFKR58& w, int m)
{
    send_setting(w, {kWrite, kMask, low_byte(m), w.mask_switch(m)->isChecked() ? std::uint8_t{1} : std::uint8_t{0}});
}
} // namespace

QCheckBox* TFKR58::mask_switch(int m) const
{
    const std::array<QCheckBox*, kMaskCount> switches{MaskA, MaskB, MaskC, MaskD};
    return switches.at(static_cast<std::size_t>(m));
}

void TFKR58::MaskAClick() { send_switch(*this, 0); }
void TFKR58::MaskBClick() { send_switch(*this, 1); }
void TFKR58::MaskCClick() { send_switch(*this, 2); }
void TFKR58::MaskDClick() { send_switch(*this, 3); }

void TFKR58::maskChange()
{
    const int m = mask->currentIndex();
    if (!FMask || !is_mask_index(m) || !mask_switch(m)->isChecked()) return;
    // Not modal: the main window stays usable while the mask is edited.
    FMask->show();
    FMask->raise();
    FMask->activateWindow();
}

void TFKR58::Mask_read(int m)
{
    if (!is_mask_index(m)) return;
    send_setting(*this, {kRead, kMask, static_cast<std::uint8_t>(kMaskRectItem + m)});
}

void TFKR58::Mask_write(int m, int x1, int y1, int x2, int y2)
{
    if (!is_mask_index(m)) return;
    const MaskRect r = mask_write_rect(x1, y1, x2, y2, pal_mode == 1, mask_limits);
    // Before the limits are known every coordinate is -1 and goes out as 0xFF.
    send_setting(*this, {kWrite, kMask, static_cast<std::uint8_t>(kMaskRectItem + m), low_byte(r.hs),
                         low_byte(r.vs), low_byte(r.he), low_byte(r.ve)});
}

void TFKR58::Mask_disp(int hs, int vs, int he, int ve)
{
    if (!FMask) return;
    const MaskRect r = mask_display_rect({hs, vs, he, ve}, pal_mode == 1, mask_limits);
    Mask_area_clear();
    FMask->PaintBox2->draw_rect(r);
}

void TFKR58::Mask_area_clear()
{
    if (FMask) FMask->PaintBox2->clear_area();
}

void TFKR58::mask_on_timerTimer()
{
    mask_on_timer->stop();
    Mask_disp(mask_view[0], mask_view[1], mask_view[2], mask_view[3]);
}
