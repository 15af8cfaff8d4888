#pragma once
// The Debug page's controls and page state. TFKR58 inherits this struct, so the page's methods use
// every name unqualified.

class QSlider;
class RadioGroup;

struct DebugPageMembers {
    // The WDR test controls, which the Setup decoders and interlocks also drive.
    RadioGroup* dbg_blcs = nullptr;
    RadioGroup* wdr_test_sel = nullptr;
    QSlider* wdr_test_onlvl = nullptr;

    // Set while a reply writes a value into a control whose change handler would otherwise send.
    bool wdr_level_skip = false;
    bool dsp_echo_skip = false;
    bool eep_echo_skip = false;
};
