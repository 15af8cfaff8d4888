// The Debug page's handlers: DSP register, EEPROM word and OSD test value access, the RAM dump and
// write, the area sampling, the AGC log and the raw command. Each sends one command when the link
// is free; replies come back through Debug_tend (debug_decode.cpp).

#include "link/hex_text.h"
#include "main_window/mkr58.h"
#include "pages/setup/setup_support.h"
#include "widgets/dialogs.h"
#include "widgets/radio_group.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTimer>

using setup::kRead;
using setup::kWrite;
using setup::high_byte;
using setup::low_byte;
using setup::send_setting;

namespace {
constexpr std::uint8_t kRegister = 0x0A;
constexpr std::uint8_t kRegisterNoEeprom = 0x0B;
constexpr std::uint8_t kEeprom = 0x0C;
constexpr std::uint8_t kRam = 0x0D;
constexpr std::uint8_t kOsdTest = 0x0E;
constexpr std::uint8_t kEepromAndRam = 0x0F;
constexpr std::uint8_t kAreaSample = 0x35;
constexpr std::uint8_t kAgcData = 0x45;
constexpr std::uint8_t kAgcLog = 0x0B;
constexpr std::uint8_t kShutterData = 0x49;
constexpr int kEraseMarkAddress = 0x03FF;

bool four_digits(const QLineEdit* edit) { return edit->text().size() == 4; }
int hex_of(const QLineEdit* edit) { return hex_text_value(edit->text()); }

// A mask edit with four characters shows them normalised: upper case, or "FFFF" when not hex.
void normalise_mask(QLineEdit* edit)
{
    if (!four_digits(edit)) return;
    const QString normal = hex_word_text(hex_of(edit));
    if (normal != edit->text()) edit->setText(normal);
}

// Steps the masked bit field of a data edit; its change handler then sends the write.
void step_field(QLineEdit* data, const QLineEdit* mask, int direction)
{
    data->setText(hex_word_text(debug::step_masked_field(hex_of(data), hex_of(mask), direction)));
}
} // namespace

int TFKR58::lowest_set_bit(int mask) { return debug::lowest_set_bit(mask); }

// ---- DSP group ----

void TFKR58::DspAdrChange()
{
    if (!Trans_chk()) return;
    const int reg = debug::register_of_item(DspAdr->currentText());
    if (DspAdr->currentIndex() < 0 || reg < 0) return;
    send_setting(*this, {kRead, kRegister, low_byte(reg)});
}

void TFKR58::DspDataChange()
{
    // The echo flag is taken first: a read-back that arrives while a read series runs must not
    // leave it set for the technician's next value.
    if (dsp_echo_skip) {
        dsp_echo_skip = false;
        return;
    }
    if (!Trans_chk()) return;
    const int reg = debug::register_of_item(DspAdr->currentText());
    if (DspAdr->currentIndex() < 0 || reg < 0 || !four_digits(DspData)) return;
    const int value = hex_of(DspData) & 0xFFFF;
    send_setting(*this, {kWrite, NoWrite->isChecked() ? kRegisterNoEeprom : kRegister, low_byte(reg),
                         high_byte(value), low_byte(value)});
    PageControl1->setEnabled(true);
    DspData->setFocus();
}

void TFKR58::DspRadixChange() { normalise_mask(DspRadix); }

void TFKR58::DspDatSpinUpClick()
{
    if (DspAdr->currentIndex() >= 0) step_field(DspData, DspRadix, +1);
}

void TFKR58::DspDatSpinDownClick()
{
    if (DspAdr->currentIndex() >= 0) step_field(DspData, DspRadix, -1);
}

// ---- EEPROM group ----

void TFKR58::eepadrChange()
{
    if (!Trans_chk() || !four_digits(eepadr)) return;
    const int address = hex_of(eepadr);
    send_setting(*this, {kRead, kEeprom, high_byte(address), low_byte(address)});
}

void TFKR58::EepdataChange()
{
    if (eep_echo_skip) {
        eep_echo_skip = false;
        return;
    }
    if (!Trans_chk() || !four_digits(Eepdata)) return;
    const int address = hex_of(eepadr);
    if (address < 0 || address >= debug::kEepromWords) return;
    const int value = hex_of(Eepdata);
    send_setting(*this, {kWrite, EEP_RAM->isChecked() ? kEepromAndRam : kEeprom, high_byte(address),
                         low_byte(address), high_byte(value), low_byte(value)});
}

void TFKR58::eepRadixChange() { normalise_mask(eepRadix); }

void TFKR58::CSpinButton6UpClick() { eepadr->setText(hex_word_text(debug::step_eeprom_address(hex_of(eepadr), +1))); }

void TFKR58::CSpinButton6DownClick()
{
    eepadr->setText(hex_word_text(debug::step_eeprom_address(hex_of(eepadr), -1)));
}

void TFKR58::CSpinButton7UpClick()
{
    if (hex_of(eepadr) < debug::kEepromWords) step_field(Eepdata, eepRadix, +1);
}

void TFKR58::CSpinButton7DownClick()
{
    if (hex_of(eepadr) < debug::kEepromWords) step_field(Eepdata, eepRadix, -1);
}

// "Erase all": clears the EEPROM's last word; the reply to that write resets the camera.
void TFKR58::Button2Click()
{
    if (!dialogs().confirm(QStringLiteral("Are you sure ? "), QStringLiteral("Erase all"))) return;
    send_setting(*this, {kWrite, kEeprom, high_byte(kEraseMarkAddress), low_byte(kEraseMarkAddress), 0x00, 0x00});
}

// ---- OSD test value ----

void TFKR58::osdtChange()
{
    if (!Trans_chk() || !four_digits(osdt)) return;
    const int value = hex_of(osdt);
    if (OSD->itemIndex() == 1)
        send_setting(*this, {kWrite, kOsdTest, 0x01, high_byte(value), low_byte(value)});
    else
        send_setting(*this, {kWrite, kOsdTest, 0x00, low_byte(value)});
}

// ---- RAM dump and write ----

void TFKR58::disp_ramadr()
{
    RdAdr->setPlainText(debug::ram_address_lines(hex_of(ramAdr) & 0xFFF0, hex_of(RamCount)).join(QLatin1Char('\n')));
}

void TFKR58::start_ram_dump(int address)
{
    ram_len = 0;
    ram_buf.fill(0);
    send_setting(*this, {kRead, kRam, high_byte(address), low_byte(address), 0x01});
}

void TFKR58::ramAdrChange()
{
    if (!Trans_chk() || !four_digits(ramAdr)) return;
    const int address = hex_of(ramAdr) & 0xFFF0;
    disp_ramadr();
    if (address < debug::kRamFirst || address > debug::kRamLast) return;
    const QString aligned = hex_word_text(address);
    // The aligned text raises this handler again, which then reads.
    if (aligned != ramAdr->text()) {
        ramAdr->setText(aligned);
        return;
    }
    start_ram_dump(address);
}

void TFKR58::RamCountChange()
{
    if (!Trans_chk() || !four_digits(ramAdr)) return;
    disp_ramadr();
    start_ram_dump(hex_of(ramAdr) & 0xFFF0);
}

void TFKR58::btn_ram_wClick()
{
    if (!Trans_chk() || !four_digits(ramAdrwr) || ram_send_buff->text().size() != 2) return;
    const int address = hex_of(ramAdrwr);
    if (address < debug::kRamFirst || address > debug::kRamLast) return;
    send_setting(*this, {kWrite, kRam, high_byte(address), low_byte(address), low_byte(hex_of(ram_send_buff))});
}

// ---- Area samples, AGC log, shutter data ----

void TFKR58::sampClick()
{
    // Only from an idle link: restarting the count under a sampling in progress would file the
    // outstanding reply under the wrong area.
    if (!Trans_chk()) return;
    samp_index = 0;
    send_setting(*this, {kRead, kAreaSample, 0x00});
}

void TFKR58::wd_agcClick() { send_setting(*this, {kRead, kAgcData, kAgcLog}); }

void TFKR58::WD_TimerTimer()
{
    if (!Trans_chk()) return;
    WD_Timer->stop();
    send_setting(*this, {kRead, kAgcData, kAgcLog});
}

void TFKR58::sht_rd_btnClick() { send_setting(*this, {kRead, kShutterData}); }

// ---- Raw command ----

void TFKR58::RamSendClick()
{
    if (!Trans_chk()) return;
    const auto bytes = debug::raw_command_bytes(SendBuffer->text());
    for (std::size_t i = 1; i < bytes.size(); ++i) cmd_frame[i] = bytes[i];
    StxCommand(cmd_frame, frames::kMaxCommandLength);
}

// ---- Page hooks ----

void TFKR58::debug_form_create() {}

// A silent camera ends a dump or a sampling; the next pass starts afresh from its button or edit.
void TFKR58::debug_exchange_abandoned()
{
    ram_len = 0;
    samp_index = 0;
}

// The AGC log repeats only while the page is shown.
void TFKR58::debug_page_left() { WD_Timer->stop(); }
