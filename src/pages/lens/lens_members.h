#pragma once
// The Lens Adjust page's controls and page state. TFKR58 inherits this struct, so the page's
// methods use every name unqualified.

class QLineEdit;

struct LensPageMembers {
    // The hidden "Delay" group: the sensor timing delays, one hexadecimal digit each.
    QLineEdit* rg_width = nullptr;
    QLineEdit* shd_delay = nullptr;
    QLineEdit* shp_delay = nullptr;
    QLineEdit* rg_delay = nullptr;
};
