#pragma once
// The Debug page's controls and page state. TFKR58 inherits this struct, so the page's methods use
// every name unqualified.

struct DebugPageMembers {
    // Set while a register or EEPROM reply writes its value into a control whose change handler
    // would otherwise send.
    bool dsp_echo_skip = false;
    bool eep_echo_skip = false;
};
