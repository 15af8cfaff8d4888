#pragma once
// The Debug page's controls and page state. TFKR58 inherits this struct, so the page's methods use
// every name unqualified.

#include "pages/debug/debug_logic.h"

#include <array>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTimer;
class QWidget;
class RadioGroup;
class SpinButton;

struct DebugPageMembers {
    QScrollArea* debug_scroll = nullptr;
    QWidget* panel_dbg = nullptr;

    // " DSP" group.
    QGroupBox* GroupBox3 = nullptr;
    QComboBox* DspAdr = nullptr;
    QLineEdit* DspData = nullptr;
    QLineEdit* DspRadix = nullptr;
    SpinButton* DspDatSpin = nullptr;
    QCheckBox* NoWrite = nullptr;

    // "EEPROM" group.
    QGroupBox* GroupBox4 = nullptr;
    QLineEdit* eepadr = nullptr;
    QLineEdit* Eepdata = nullptr;
    QLineEdit* eepRadix = nullptr;
    SpinButton* CSpinButton6 = nullptr;
    SpinButton* CSpinButton7 = nullptr;
    QCheckBox* EEP_RAM = nullptr;
    QPushButton* Button2 = nullptr;

    // OSD test value.
    RadioGroup* OSD = nullptr;
    QLineEdit* osdt = nullptr;

    // " RAM " group.
    QGroupBox* GroupBox9 = nullptr;
    QLineEdit* ramAdr = nullptr;
    QLineEdit* RamCount = nullptr;
    QLabel* Label30 = nullptr;
    QPlainTextEdit* RdAdr = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QCheckBox* RamRepeat = nullptr;
    QLineEdit* ramAdrwr = nullptr;
    QLineEdit* ram_send_buff = nullptr;
    QPushButton* btn_ram_w = nullptr;
    QPushButton* samp = nullptr;
    QLineEdit* WD_RP_TIME = nullptr;
    QPushButton* wd_agc = nullptr;
    QTimer* WD_Timer = nullptr;

    // "Command" group.
    QGroupBox* GroupBox7 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* SendBuffer = nullptr;
    QPushButton* RamSend = nullptr;

    // Read-outs: "WDR DATA", "Shutter DATA" and the white-balance inputs.
    QGroupBox* GroupBox11 = nullptr;
    QLabel* disp_89 = nullptr;
    QLabel* disp_81 = nullptr;
    QLabel* disp_81_gbn = nullptr;
    QLabel* disp_81_gkn = nullptr;
    QLabel* disp_81_gsn = nullptr;
    QLabel* disp_0d = nullptr;
    QLabel* disp_0d_gby = nullptr;
    QLabel* disp_0d_gky = nullptr;
    QLabel* disp_0d_gsy = nullptr;
    QLabel* disp_8f = nullptr;
    QLabel* disp_67 = nullptr;
    QLabel* disp_66 = nullptr;
    QGroupBox* GroupBox5 = nullptr;
    QLabel* disp_43 = nullptr;
    QLabel* disp_44 = nullptr;
    QLabel* disp_45 = nullptr;
    QLabel* disp_46 = nullptr;
    QPushButton* sht_rd_btn = nullptr;
    QLabel* rg_input = nullptr;
    QLabel* bg_input = nullptr;

    // Set while a register or EEPROM reply writes its value into a control whose change handler
    // would otherwise send.
    bool dsp_echo_skip = false;
    bool eep_echo_skip = false;

    // The RAM dump read so far: two bytes per reply; room for the largest count (0xFF) plus one
    // read past it.
    std::array<std::uint8_t, 258> ram_buf{};
    int ram_len = 0;
    // The area samples and the one being read.
    std::array<std::int32_t, debug::kAreaSamples> samp_items{};
    int samp_index = 0;
};
