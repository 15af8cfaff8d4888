// The Setup page's handlers: one write command per setting. Selections send at once; track bars
// send through a timer of their own so that a drag produces one command per interval.

#include "main_window/mkr58.h"
#include "pages/setup/setup_support.h"
#include "widgets/dialogs.h"
#include "widgets/radio_group.h"
#include "widgets/timers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>

using setup::kWrite;
using setup::low_byte;
using setup::send_setting;
using setup::slider_changed;
using setup::slider_tick;

namespace {
constexpr char kEnter = 13;

std::uint8_t item_of(const RadioGroup* group) { return low_byte(group->itemIndex()); }
std::uint8_t state_of(const QCheckBox* box) { return box->isChecked() ? 1 : 0; }
std::uint8_t position_of(const QSlider* slider) { return low_byte(slider->value()); }
} // namespace

// ---- Exposure ----

void TFKR58::LensClick() { send_setting(*this, {kWrite, 0x12, 0x00, item_of(Lens)}); }
void TFKR58::DC_LVLChange() { slider_changed(*this, DCTimer); }
void TFKR58::DCTimerTimer() { slider_tick(*this, DCTimer, {kWrite, 0x12, 0x01, position_of(DC_LVL)}); }
void TFKR58::ELCLVLChange() { slider_changed(*this, LensTimer); }
void TFKR58::LensTimerTimer() { slider_tick(*this, LensTimer, {kWrite, 0x12, 0x02, position_of(ELCLVL)}); }

void TFKR58::Shutter_NTChange()
{
    if (!Trans_chk()) return;
    // Shutter_NT carries the last choice in both TV systems; the WDR rule reads it.
    if (pal_mode == 1) {
        setup::ControlUpdate updating(*this);
        Shutter_NT->setCurrentIndex(Shutter_PAL->currentIndex());
    }
    send_setting(*this, {kWrite, 0x12, 0x03, low_byte(Shutter_NT->currentIndex())});
}

void TFKR58::SenseUpChange() { send_setting(*this, {kWrite, 0x11, low_byte(SenseUp->currentIndex())}); }

// ---- Gain ----

void TFKR58::AGC_SELClick() { send_setting(*this, {kWrite, 0x14, 0x00, item_of(AGC_SEL)}); }
void TFKR58::AGC_MAXChange() { slider_changed(*this, AGCTimer); }
void TFKR58::AGCTimerTimer() { slider_tick(*this, AGCTimer, {kWrite, 0x14, 0x01, position_of(AGC_MAX)}); }
void TFKR58::DNR_SELClick() { send_setting(*this, {kWrite, 0x14, 0x02, item_of(DNR_SEL)}); }

// ---- White balance ----

void TFKR58::wb_selectClick() { send_setting(*this, {kWrite, 0x15, 0x00, item_of(wb_select)}); }
void TFKR58::AWCClick() { send_setting(*this, {kWrite, 0x15, 0x04}); }
void TFKR58::atw_ofs_lvlChange() { slider_changed(*this, ATWTimer); }
void TFKR58::ATWTimerTimer() { slider_tick(*this, ATWTimer, {kWrite, 0x15, 0x01, position_of(atw_ofs_lvl)}); }
void TFKR58::wb_manu_rChange() { slider_changed(*this, wb_manu_r_timer); }
void TFKR58::wb_manu_r_timerTimer()
{
    slider_tick(*this, wb_manu_r_timer, {kWrite, 0x15, 0x02, position_of(wb_manu_r)});
}
void TFKR58::wb_manu_bChange() { slider_changed(*this, wb_manu_b_timer); }
void TFKR58::wb_manu_b_timerTimer()
{
    slider_tick(*this, wb_manu_b_timer, {kWrite, 0x15, 0x03, position_of(wb_manu_b)});
}

// ---- Back light and WDR ----

void TFKR58::blcsClick()
{
    if (!Trans_chk()) return;
    const int item = blcs->itemIndex();
    if (item == 2 && setup::wdr_blocked(*this)) {
        // A blocked WDR choice is undone on the spot, without a message.
        {
            setup::ControlUpdate updating(*this);
            blcs->setItemIndex(0);
        }
        Trans_cstm_hidden();
        return;
    }
    blc_saved = item;
    send_setting(*this, {kWrite, 0x13, 0x00, low_byte(item)});
}

void TFKR58::blc_lvlChange() { slider_changed(*this, blc_lvl_timer); }
void TFKR58::blc_lvl_timerTimer()
{
    slider_tick(*this, blc_lvl_timer, {kWrite, 0x13, 0x01, position_of(blc_lvl)});
}
void TFKR58::wdr_eff_lvlChange() { slider_changed(*this, wdr_eff_Timer); }
void TFKR58::wdr_eff_TimerTimer()
{
    slider_tick(*this, wdr_eff_Timer, {kWrite, 0x13, 0x03, position_of(wdr_eff_lvl)});
}

// ---- Motion detection ----

void TFKR58::mot_selClick() { send_setting(*this, {kWrite, 0x19, 0x00, item_of(mot_sel)}); }
void TFKR58::mot_lvlChange() { slider_changed(*this, mot_Timer); }
void TFKR58::mot_TimerTimer() { slider_tick(*this, mot_Timer, {kWrite, 0x19, 0x02, position_of(mot_lvl)}); }
void TFKR58::mot_timeClick() { send_setting(*this, {kWrite, 0x19, 0x03, item_of(mot_time)}); }
void TFKR58::mot_osdClick() { send_setting(*this, {kWrite, 0x19, 0x04, item_of(mot_osd)}); }

// ---- Zoom, aperture, chroma ----

void TFKR58::ZoomClick() { send_setting(*this, {kWrite, 0x17, 0x00, item_of(Zoom)}); }
void TFKR58::ZoomBarChange() { slider_changed(*this, ZoomTimer); }
void TFKR58::ZoomTimerTimer() { slider_tick(*this, ZoomTimer, {kWrite, 0x17, 0x01, position_of(ZoomBar)}); }
void TFKR58::ENH_HChange() { slider_changed(*this, ENH_H_timer); }
void TFKR58::ENH_H_timerTimer() { slider_tick(*this, ENH_H_timer, {kWrite, 0x18, 0x00, position_of(ENH_H)}); }
void TFKR58::ENH_VChange() { slider_changed(*this, ENH_V_timer); }
void TFKR58::ENH_V_timerTimer() { slider_tick(*this, ENH_V_timer, {kWrite, 0x18, 0x01, position_of(ENH_V)}); }
void TFKR58::r_y_lvlChange() { slider_changed(*this, r_y_timer); }
void TFKR58::r_y_timerTimer() { slider_tick(*this, r_y_timer, {kWrite, 0x1A, 0x00, position_of(r_y_lvl)}); }
void TFKR58::b_y_lvlChange() { slider_changed(*this, b_y_timer); }
void TFKR58::b_y_timerTimer() { slider_tick(*this, b_y_timer, {kWrite, 0x1A, 0x01, position_of(b_y_lvl)}); }

// ---- Picture ----

void TFKR58::FREEZEClick() { send_setting(*this, {kWrite, 0x1B, 0x00, state_of(FREEZE)}); }
void TFKR58::FRZ_MODEClick() { send_setting(*this, {kWrite, 0x1B, 0x01, item_of(FRZ_MODE)}); }
void TFKR58::PriorityClick() { send_setting(*this, {kWrite, 0x23, item_of(Priority)}); }
void TFKR58::h_revClick() { send_setting(*this, {kWrite, 0x20, state_of(h_rev)}); }
void TFKR58::v_revClick() { send_setting(*this, {kWrite, 0x21, state_of(v_rev)}); }
void TFKR58::NegaClick() { send_setting(*this, {kWrite, 0x22, state_of(Nega)}); }
void TFKR58::GAMMAClick() { send_setting(*this, {kWrite, 0x1C, item_of(GAMMA)}); }
void TFKR58::LANGUAGEClick() { send_setting(*this, {kWrite, 0x1D, item_of(LANGUAGE)}); }

// Enter inverts a flip box; the resulting click sends as usual.
void TFKR58::h_revKeyPress(char key)
{
    if (key == kEnter) h_rev->setChecked(!h_rev->isChecked());
}

void TFKR58::v_revKeyPress(char key)
{
    if (key == kEnter) v_rev->setChecked(!v_rev->isChecked());
}

// ---- Sync ----

void TFKR58::SYNCClick() { send_setting(*this, {kWrite, 0x16, 0x00, item_of(SYNC)}); }
void TFKR58::V_PHASEChange() { slider_changed(*this, V_PHASE_timer); }

void TFKR58::V_PHASE_timerTimer()
{
    const int phase = V_PHASE->value();
    slider_tick(*this, V_PHASE_timer, {kWrite, 0x16, 0x01, low_byte(phase >> 8), low_byte(phase)});
}

// ---- Factory settings ----

void TFKR58::PresetClick()
{
    if (!dialogs().confirm(QStringLiteral("Are you sure ? "), QStringLiteral("Confirm"))) return;
    if (!Trans_chk()) return;
    // The pages stay locked until the reload that follows the camera's acceptance.
    PageControl1->setEnabled(false);
    send_setting(*this, {kWrite, 0x1E, 0x01});
}

void TFKR58::PRESET_timerTimer()
{
    PRESET_timer->stop();
    ReLoadClick();
    PageControl1->setEnabled(true);
}
