// The Debug page's reply decoding: register and EEPROM read-backs, the chained RAM dump and area
// sampling, the AGC log and the WDR, shutter and white-balance read-outs.

#include "link/hex_text.h"
#include "main_window/mkr58.h"
#include "pages/setup/setup_support.h"
#include "widgets/dialogs.h"
#include "widgets/radio_group.h"
#include "widgets/timers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTimer>

#include <algorithm>

using setup::kRead;
using setup::kWrite;
using setup::low_byte;
using setup::send_setting;

namespace {
int word_at(const frames::Frame& f, std::size_t offset) { return f[offset] << 8 | f[offset + 1]; }

// The three 5-bit fields of a WDR gain word, bits 10..14, 5..9 and 0..4.
void show_gain_fields(int word, QLabel* high, QLabel* middle, QLabel* low)
{
    high->setText(hex_byte_text((word & 0x7C00) >> 10));
    middle->setText(hex_byte_text((word & 0x3E0) >> 5));
    low->setText(hex_byte_text(word & 0x1F));
}
} // namespace

void TFKR58::Debug_tend()
{
    if (reply_frame[1] != frames::kReplyAccepted) {
        dialogs().message(QStringLiteral(" Error "), QStringLiteral("ERR"));
        return;
    }
    if (cmd_frame[1] == kWrite)
        Trans_wr_dbg();
    else if (cmd_frame[1] == kRead)
        Trans_rd_dbg();
}

void TFKR58::Trans_wr_dbg()
{
    switch (reply_frame[2]) {
    case 0x0C:
        // Writing the EEPROM's last word ("Erase all" or by hand) takes effect at the restart.
        if (word_at(reply_frame, 3) == debug::kEepromWords - 1) Reset1Click();
        break;
    case 0x3A:
        // An accepted WDR shutter number: show the WDR data that follows from it.
        if (reply_frame[3] == 2) wdr_rd_btnClick();
        break;
    default:
        break;
    }
}

void TFKR58::Trans_rd_dbg()
{
    switch (reply_frame[2]) {
    case 0x0A: {
        const QString text = hex_word_text(word_at(reply_frame, 4));
        if (text != DspData->text() && DspAdr->currentIndex() == reply_frame[3]) {
            dsp_echo_skip = true;
            DspData->setText(text);
            dsp_echo_skip = false;
        }
        break;
    }
    case 0x0C: {
        const QString text = hex_word_text(word_at(reply_frame, 5));
        if (text != Eepdata->text() && hex_text_value(eepadr->text()) == word_at(reply_frame, 3)) {
            eep_echo_skip = true;
            Eepdata->setText(text);
            eep_echo_skip = false;
        }
        break;
    }
    case 0x0D: ram_dump_reply(); break;
    case 0x35: area_sample_reply(); break;
    case 0x3A:
        if (reply_frame[3] == 3) {
            // The mode read back is shown, not sent back.
            setup::ControlUpdate updating(*this);
            wdr_test_sel->setItemIndex(reply_frame[4] - 1);
        }
        break;
    case 0x45:
        if (reply_frame[3] == 0x0B) agc_log_reply();
        break;
    case 0x48: wdr_data_reply(); break;
    case 0x49: shutter_data_reply(); break;
    case 0x4C:
        rg_input->setText(hex_word_text(word_at(reply_frame, 4)));
        bg_input->setText(hex_word_text(word_at(reply_frame, 6)));
        break;
    default:
        break;
    }
}

// Two bytes per reply; the next read follows at once until the count is covered.
void TFKR58::ram_dump_reply()
{
    if (static_cast<std::size_t>(ram_len) + 2 <= ram_buf.size()) {
        ram_buf[static_cast<std::size_t>(ram_len)] = reply_frame[5];
        ram_buf[static_cast<std::size_t>(ram_len) + 1] = reply_frame[6];
        ram_len += 2;
    }
    const int count = hex_text_value(RamCount->text());
    const bool room = static_cast<std::size_t>(ram_len) + 2 <= ram_buf.size();
    if (count - 2 >= ram_len && room) {
        const int next = (word_at(cmd_frame, 3) + 2) & 0xFFFF;
        send_setting(*this, {kRead, 0x0D, low_byte(next >> 8), low_byte(next), 0x01});
        return;
    }
    Memo1->setPlainText(debug::ram_dump_lines(ram_buf.data(), ram_buf.size(), count).join(QLatin1Char('\n')));
    if (RamRepeat->isChecked()) start_ram_dump(hex_text_value(ramAdr->text()) & 0xFFF0);
}

void TFKR58::area_sample_reply()
{
    if (samp_index < 0 || samp_index >= debug::kAreaSamples) samp_index = 0;
    samp_items[static_cast<std::size_t>(samp_index)] = word_at(reply_frame, 4);
    if (samp_index < debug::kAreaSamples - 1) {
        ++samp_index;
        send_setting(*this, {kRead, 0x35, low_byte(samp_index)});
        return;
    }
    Memo1->setPlainText(debug::area_sample_lines(samp_items).join(QLatin1Char('\n')));
    if (RamRepeat->isChecked()) {
        samp_index = 0;
        send_setting(*this, {kRead, 0x35, 0x00});
    }
}

void TFKR58::agc_log_reply()
{
    Label30->setText(QStringLiteral("AGC F Wno Cont IRIS NLVL ALVL"));
    Memo1->appendPlainText(debug::agc_log_line(reply_frame));
    if (RamRepeat->isChecked()) {
        WD_Timer->setInterval(debug::repeat_interval_ms(WD_RP_TIME->text()));
        enable_timer(WD_Timer);
    }
}

// Reply byte 3 of the WDR and shutter read-outs: the shutter number the camera works with.
void TFKR58::shutter_number_reply()
{
    const int s = reply_frame[3];
    // The track bar holds s clamped to its range; only a real move raises its change event,
    // which must then not send the number back.
    if (std::clamp(s, wdr_test_onlvl->minimum(), wdr_test_onlvl->maximum()) != wdr_test_onlvl->value())
        wdr_level_skip = true;
    wdr_test_onlvl->setValue(s);
    wdr_test_ontext->setText(hex_byte_text(s));
    wdr_no_dec->setText(QString::number(s));
}

void TFKR58::wdr_data_reply()
{
    shutter_number_reply();
    disp_89->setText(hex_word_text(word_at(reply_frame, 4)));
    disp_81->setText(hex_word_text(word_at(reply_frame, 6)));
    show_gain_fields(word_at(reply_frame, 6), disp_81_gbn, disp_81_gkn, disp_81_gsn);
    disp_0d->setText(hex_word_text(word_at(reply_frame, 8)));
    show_gain_fields(word_at(reply_frame, 8), disp_0d_gby, disp_0d_gky, disp_0d_gsy);
    disp_8f->setText(hex_word_text(word_at(reply_frame, 10)));
    disp_67->setText(hex_word_text(word_at(reply_frame, 12)));
    disp_66->setText(hex_word_text(word_at(reply_frame, 14)));
}

void TFKR58::shutter_data_reply()
{
    shutter_number_reply();
    disp_43->setText(hex_word_text(word_at(reply_frame, 4)));
    disp_44->setText(hex_word_text(word_at(reply_frame, 6)));
    disp_45->setText(hex_word_text(word_at(reply_frame, 8)));
    disp_46->setText(hex_word_text(word_at(reply_frame, 10)));
}
