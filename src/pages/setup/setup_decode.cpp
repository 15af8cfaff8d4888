// The Setup page's reply decoding: the common decoder that turns read replies into control values
// and camera facts on every page, the Setup page's completion handler, and the interlocks that set
// what can be used after every reply.

#include "link/hex_text.h"
#include "main_window/mkr58.h"
#include "mask/mask_geometry.h"
#include "pages/setup/setup_support.h"
#include "widgets/dialogs.h"
#include "widgets/radio_group.h"
#include "widgets/spin_button.h"
#include "widgets/timers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>

namespace {

constexpr std::uint8_t kRegisterRead = 0x0A;
constexpr std::uint8_t kRegisterReadNoEep = 0x0B;
constexpr std::uint8_t kMaskRead = 0x1F;
constexpr std::uint8_t kDelayRead = 0x42;
constexpr std::uint8_t kGroupRead = 0x50;
constexpr std::uint8_t kTitleItem = 0x10;
constexpr std::uint8_t kTitleBlock = 0x01;
constexpr std::uint8_t kDefaultItem = 0x1E;
constexpr int kLastTitleBlock = 3;

constexpr std::uint8_t kRegResolution = 0x01;
constexpr std::uint8_t kRegChroma = 0x2B;
constexpr std::uint8_t kRegTvSystem = 0x40;
constexpr int kHiResolutionBit = 0x4000;
constexpr int kPalBit = 0x0001;

constexpr int kMaskFirst = 0x10;
constexpr int kMaskLast = 0x13;

// Sign and magnitude in 9 bits: bit 8 the sign, bits 0..7 the magnitude; bits 9..15 are ignored.
int sign_magnitude(int value)
{
    const int magnitude = value & 0xFF;
    return (value & 0x100) ? -magnitude : magnitude;
}

int word_at(const frames::Frame& r, std::size_t offset) { return r[offset] * 256 + r[offset + 1]; }

void decode_register(TFKR58& w, const frames::Frame& r)
{
    const std::uint8_t n = r[3];
    const int value = word_at(r, 4);
    (*w.param_image)[n] = value;
    switch (n) {
    case kRegResolution: {
        const bool hi = (value & kHiResolutionBit) != 0;
        w.Resolution->setText(hi ? QStringLiteral("Hi-Resolution") : QStringLiteral("Lo-Resolution"));
        w.ccd_x_max = hi ? 767 : 511;
        break;
    }
    case kRegChroma:
        w.CromaBY->setValue(r[4]);
        w.CromaRY->setValue(r[5]);
        break;
    case 0x2C: w.RYP->setValue(sign_magnitude(value)); break;
    case 0x2D: w.BYP->setValue(sign_magnitude(value)); break;
    case 0x2E: w.RYN->setValue(sign_magnitude(value)); break;
    case 0x2F: w.BYN->setValue(sign_magnitude(value)); break;
    case kRegTvSystem: {
        const bool pal = (value & kPalBit) != 0;
        w.TV->setText(pal ? QStringLiteral("PAL") : QStringLiteral("NTSC"));
        w.ccd_y_max = pal ? 312 : 256;
        w.pal_mode = pal ? 1 : 0;
        break;
    }
    default: break;
    }
}

void decode_mask(TFKR58& w, const frames::Frame& r)
{
    if (r[3] < kMaskFirst || r[3] > kMaskLast) return;
    const MaskRect view = mask_view_of_reply({r[4], r[5], r[6], r[7]}, w.pal_mode == 1);
    w.mask_view = {view.hs, view.vs, view.he, view.ve};
    enable_timer(w.mask_on_timer);
}

// One hexadecimal digit of the 16-bit delay word per edit, most significant first.
void decode_delay(TFKR58& w, const frames::Frame& r)
{
    const QString digits = hex_word_text(r[3] * 256 + r[4]);
    QLineEdit* edits[] = {w.rg_width, w.shd_delay, w.shp_delay, w.rg_delay};
    for (int i = 0; i < 4; ++i) edits[i]->setText(digits.mid(i, 1));
}

void decode_group0(TFKR58& w, const frames::Frame& r)
{
    w.Ctitle->setItemIndex(r[4]);
    w.ID_POSI->setItemIndex(r[5]);
    setup::set_combo_item(w.SenseUp, r[6]);
    w.Lens->setItemIndex(r[7]);
    w.DC_LVL->setValue(r[8]);
    w.ELCLVL->setValue(r[9]);
    setup::set_combo_item(w.Shutter_NT, r[10]);
    setup::set_combo_item(w.Shutter_PAL, r[10]);
    w.AGC_SEL->setItemIndex(r[11]);
    w.AGC_MAX->setValue(r[12]);
    w.DNR_SEL->setItemIndex(r[13]);
}

void decode_group1(TFKR58& w, const frames::Frame& r)
{
    w.BLCAreaSet();
    w.blcs->show();
    w.blcs->setItemIndex(r[10]);
    w.blc_lvl->setValue(r[11]);
    w.dbg_blcs->setItemIndex(w.blcs->itemIndex());
    w.blc_saved = w.blcs->itemIndex();
}

void decode_group2(TFKR58& w, const frames::Frame& r)
{
    w.WDRAreaSet();
    w.wdr_eff_lvl->setValue(r[10]);
    w.wdr_eff_Timer->stop();
    w.Zoom->setItemIndex(r[11]);
    w.ZoomBar->setValue(r[12]);
    w.ENH_H->setValue(r[13]);
    w.ENH_V->setValue(r[14]);
}

void decode_group3(TFKR58& w, const frames::Frame& r)
{
    w.wb_select->setItemIndex(r[4]);
    w.atw_ofs_lvl->setValue(r[5]);
    w.wb_manu_r->setValue(r[6]);
    w.wb_manu_b->setValue(r[7]);
    w.r_y_lvl->setValue(r[9]);
    w.b_y_lvl->setValue(r[10]);
}

void decode_group4(TFKR58& w, const frames::Frame& r)
{
    w.MOTAreaSet();
    w.mot_sel->setItemIndex(r[10]);
    w.mot_lvl->setValue(r[11]);
    w.mot_time->setItemIndex(r[12]);
    w.mot_osd->setItemIndex(r[13]);
}

void decode_group5(TFKR58& w, const frames::Frame& r)
{
    w.FREEZE->setChecked(r[4] != 0);
    w.FRZ_MODE->setItemIndex(r[5]);
    w.GAMMA->setItemIndex(r[6]);
    w.LANGUAGE->setItemIndex(r[7]);
}

void decode_group6(TFKR58& w, const frames::Frame& r)
{
    w.SYNC->setItemIndex(r[4]);
    // The maximum first, so that a position above the old maximum is not clamped.
    w.V_PHASE->setMaximum(word_at(r, 7));
    w.V_PHASE->setValue(word_at(r, 5));
    w.COMM_MODE->setItemIndex(r[10]);
    // Setting the up-down's range rewrites its edit, so the camera's ID is shown afterwards.
    w.COMM_ID_UPDN->setRange(r[11], r[12]);
    w.COMM_ID->setText(QString::number(r[9]));
}

void decode_group7(TFKR58& w, const frames::Frame& r)
{
    w.h_rev->setChecked(r[4] != 0);
    w.v_rev->setChecked(r[5] != 0);
    w.Nega->setChecked(r[6] != 0);
    w.Priority->setItemIndex(r[7]);
    QCheckBox* masks[] = {w.MaskA, w.MaskB, w.MaskC, w.MaskD};
    for (std::size_t i = 0; i < 4; ++i) masks[i]->setChecked(r[8 + i] != 0);
}

void decode_group10(TFKR58& w, const frames::Frame& r)
{
    for (std::size_t i = 0; i < w.mask_limits.size(); ++i) w.mask_limits[i] = r[4 + i];
}

void decode_group(TFKR58& w, const frames::Frame& r)
{
    switch (r[3]) {
    case 0: decode_group0(w, r); break;
    case 1: decode_group1(w, r); break;
    case 2: decode_group2(w, r); break;
    case 3: decode_group3(w, r); break;
    case 4: decode_group4(w, r); break;
    case 5: decode_group5(w, r); break;
    case 6: decode_group6(w, r); break;
    case 7: decode_group7(w, r); break;
    case 10: decode_group10(w, r); break;
    default: break; // groups 8 and 9 are never read; nothing else is known
    }
}

void set_enabled(std::initializer_list<QWidget*> widgets, bool enabled)
{
    for (QWidget* widget : widgets) widget->setEnabled(enabled);
}

// Interlock 1: WDR is shown only where the exposure settings allow it.
void back_light_follows_exposure(TFKR58& w)
{
    setup::ControlUpdate updating(w);
    if (setup::wdr_blocked(w)) {
        if (w.blcs->itemIndex() == 2) w.blcs->setItemIndex(0);
    } else {
        w.blcs->setItemIndex(w.blc_saved);
    }
}

void exposure_interlocks(TFKR58& w)
{
    w.Shutter_NT->setVisible(w.pal_mode == 0);
    w.Shutter_PAL->setVisible(w.pal_mode == 1);
    const int lens = w.Lens->itemIndex();
    if (lens == 0 || lens == 1) {
        const bool alc = lens == 0;
        w.DC_LVL->setEnabled(alc);
        w.ELCLVL->setEnabled(!alc);
        set_enabled({w.Shutter_NT, w.Shutter_PAL}, alc);
    }
    switch (w.AGC_SEL->itemIndex()) {
    case 0: set_enabled({w.AGC_MAN, w.AGC_MAX}, false); break;
    case 1: w.AGC_MAN->setEnabled(false); w.AGC_MAX->setEnabled(true); break;
    case 2: w.AGC_MAN->setEnabled(true); w.AGC_MAX->setEnabled(false); break;
    default: break;
    }
}

void back_light_interlocks(TFKR58& w)
{
    const int blc = w.blcs->itemIndex();
    if (blc >= 0) {
        w.blc_grp->setEnabled(blc == 1);
        w.wdr_grp->setEnabled(blc == 2);
    }
    w.wdr_test_sel->setEnabled(w.dbg_blcs->itemIndex() == 2);
    const int test = w.wdr_test_sel->itemIndex();
    if (test == 0 || test == 1) w.wdr_test_onlvl->setEnabled(test == 1);
}

void white_balance_interlocks(TFKR58& w)
{
    struct Rule {
        bool awc, atw, manual;
    };
    static constexpr Rule rules[] = {
        {false, true, false},  // ATW
        {true, false, false},  // AWB
        {false, false, false}, // IN Door
        {false, false, false}, // OUT Door
        {false, false, true},  // Manual
    };
    const int item = w.wb_select->itemIndex();
    if (item < 0 || item >= static_cast<int>(std::size(rules))) return;
    const Rule& rule = rules[item];
    w.AWC->setEnabled(rule.awc);
    w.atw_ofs_lvl->setEnabled(rule.atw);
    set_enabled({w.wb_manu_r, w.wb_manu_b}, rule.manual);
}

void remaining_interlocks(TFKR58& w)
{
    set_enabled({w.mot_time, w.mot_osd, w.mot_lvl, w.mot_panel}, w.mot_sel->itemIndex() != 0);
    set_enabled({w.ID_POSI, w.CName}, w.Ctitle->itemIndex() == 1);
    w.ZoomBar->setEnabled(w.Zoom->itemIndex() == 1);
    w.V_PHASE->setEnabled(w.SYNC->itemIndex() == 1);
    set_enabled({w.h_rev, w.v_rev, w.SenseUp, w.ZOOM_GRP}, !w.FREEZE->isChecked());
}

} // namespace

void TFKR58::Trans_end_common()
{
    if (reply_frame[1] != frames::kReplyAccepted || cmd_frame[1] != setup::kRead) return;
    // Values written into controls here must never be sent back, even after a time-out ended
    // the series (trans_no 0).
    setup::ControlUpdate updating(*this);
    switch (reply_frame[2]) {
    case kRegisterRead:
    case kRegisterReadNoEep: decode_register(*this, reply_frame); break;
    case kMaskRead: decode_mask(*this, reply_frame); break;
    case kDelayRead: decode_delay(*this, reply_frame); break;
    case kGroupRead: decode_group(*this, reply_frame); break;
    default: break;
    }
}

void TFKR58::Trans_end_easy()
{
    const frames::Frame& r = reply_frame;
    const bool title_block = r[2] == kTitleItem && r[3] == kTitleBlock;
    if (r[1] == frames::kReplyAccepted) {
        if (cmd_frame[1] == setup::kRead) {
            if (title_block) CharSet();
            return;
        }
        if (title_block) {
            if (r[4] < kLastTitleBlock)
                CidWrite(r[4] + 1);
            else
                SetTitle->setEnabled(true);
        }
        if (r[2] == kDefaultItem && r[3] == 0x01) enable_timer(PRESET_timer);
    } else if (r[1] == frames::kReplySecondAnswer) {
        // The camera cannot follow an external sync: it stays on INT.
        setup::ControlUpdate updating(*this);
        SYNC->setItemIndex(0);
    } else {
        dialogs().message(QStringLiteral(" Error   "), QStringLiteral("ERROR"));
        // A refused "Default" would otherwise leave every page locked: no time-out is armed once
        // a reply has arrived.
        if (cmd_frame[1] == setup::kWrite && cmd_frame[2] == kDefaultItem && cmd_frame[3] == 0x01)
            PageControl1->setEnabled(true);
    }
}

void TFKR58::Trans_cstm_hidden()
{
    back_light_follows_exposure(*this);
    exposure_interlocks(*this);
    back_light_interlocks(*this);
    white_balance_interlocks(*this);
    remaining_interlocks(*this);
}
