#pragma once
// The Lens Adjust page's controls and page state. TFKR58 inherits this struct, so the page's
// methods use every name unqualified.

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QCheckBox;
class QSpinBox;
class QTimer;
class SpinButton;

struct LensPageMembers {
    QGroupBox* GroupBox21 = nullptr; // "Lens Adjust", the frame of the page

    // "Auto": the automatic adjustment. "Force Stop" is checked while it runs.
    QGroupBox* lens_auto_grp = nullptr;
    QPushButton* lens_auto_stt = nullptr;
    QCheckBox* ref_check = nullptr;
    QSpinBox* threash = nullptr; // the dead band, hidden
    // The pause before the next level reading.
    QTimer* Lens_tim = nullptr;

    // "Manual": the DC-lens offset as two hexadecimal digits, and its arrows.
    QGroupBox* lens_mnl_grp = nullptr;
    QGroupBox* GroupBox10 = nullptr;
    QLineEdit* pwm_ref = nullptr;
    SpinButton* CSpinButton5 = nullptr;

    // The lens level read by "Read" and by the procedure, in decimal.
    QPushButton* rens_ref_read = nullptr;
    QLabel* lens_ref = nullptr;

    // The automatic adjustment's counters (see lens_auto_step.h) and the arrows' step.
    int lens_step = 0;
    int lens_over_count = 0;
    int lens_settle_count = 0;
    int lens_reversals = 0;
    int lens_last_dir = 0;

    // The hidden "Delay" group: the sensor timing delays, one hexadecimal digit each, written
    // back through RG_delayTimer whenever one of them changes.
    QGroupBox* delay_grp = nullptr;
    QLineEdit* rg_width = nullptr;
    QLineEdit* shd_delay = nullptr;
    QLineEdit* shp_delay = nullptr;
    QLineEdit* rg_delay = nullptr;
    QTimer* RG_delayTimer = nullptr;

    // The hidden "Load" button: reloads the page.
    QPushButton* load_dly = nullptr;
};
