#pragma once
// The Debug page's menu keys and service commands: their controls and state. TFKR58 inherits this
// struct, so their methods use every name unqualified.

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;
class RadioGroup;
class SpinButton;

struct ServiceCommandMembers {
    // The camera's menu keys, pressed remotely.
    QPushButton* push_up = nullptr;
    QPushButton* push_dn = nullptr;
    QPushButton* push_ent = nullptr;
    QPushButton* push_pre = nullptr; // hidden; presses ENTER
    QPushButton* push_left = nullptr;
    QPushButton* push_right = nullptr;
    QPushButton* push_long_ent = nullptr;
    QPushButton* push_comm = nullptr;

    QPushButton* PresetSave = nullptr;
    // "WB Input" reads the white-balance input that WB_INPUT_SEL chooses ("ram" or "input").
    QPushButton* WB_READ = nullptr;
    RadioGroup* WB_INPUT_SEL = nullptr;

    // The WDR test controls, which the Setup decoders and interlocks also drive.
    RadioGroup* dbg_blcs = nullptr;
    RadioGroup* wdr_test_sel = nullptr;
    QSlider* wdr_test_onlvl = nullptr;
    SpinButton* wdr_on_spin = nullptr;
    QTimer* wdr_test_timer = nullptr;
    QPushButton* wdr_rd_btn = nullptr;
    // The last shutter number sent or read back: two hexadecimal digits, and in decimal.
    QLineEdit* wdr_test_ontext = nullptr;
    QLabel* wdr_no_dec = nullptr;

    // Set by the Debug page's reply decoding just before it moves wdr_test_onlvl, so that the
    // move is not sent back.
    bool wdr_level_skip = false;
};
