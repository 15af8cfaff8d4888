#pragma once
// The Debug page's menu keys and service commands: their controls and state. TFKR58 inherits this
// struct, so their methods use every name unqualified.

class QLabel;
class QLineEdit;
class QSlider;
class RadioGroup;

struct ServiceCommandMembers {
    // The WDR test controls, which the Setup decoders and interlocks also drive.
    RadioGroup* dbg_blcs = nullptr;
    RadioGroup* wdr_test_sel = nullptr;
    QSlider* wdr_test_onlvl = nullptr;
    // The last shutter number sent or read back: two hexadecimal digits, and in decimal.
    QLineEdit* wdr_test_ontext = nullptr;
    QLabel* wdr_no_dec = nullptr;

    // Set by the Debug page's reply decoding just before it moves wdr_test_onlvl, so that the
    // move is not sent back.
    bool wdr_level_skip = false;
};
