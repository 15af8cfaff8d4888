#pragma once
// The hidden chroma and hue trims that sit on the Lens Adjust page. TFKR58 inherits this struct,
// so their methods use every name unqualified.

class QGroupBox;
class QLineEdit;
class QSlider;
class QTimer;

struct ServiceTrimsMembers {
    QGroupBox* chroma_grp = nullptr; // " Chroma ", hidden
    QGroupBox* hue_grp = nullptr;    // "HUE", hidden

    // Register 0x2B: B-Y gain high byte, R-Y gain low byte; both send through Timercrm.
    QSlider* CromaBY = nullptr;
    QSlider* CromaRY = nullptr;
    QTimer* Timercrm = nullptr;
    // The positions last sent, in decimal.
    QLineEdit* RY_Gain = nullptr;
    QLineEdit* BY_Gain = nullptr;

    // Hue registers 0x2C..0x2F in sign and magnitude, each with its timer and its sent position.
    QSlider* RYP = nullptr;
    QSlider* BYP = nullptr;
    QSlider* RYN = nullptr;
    QSlider* BYN = nullptr;
    QTimer* TimerRYP = nullptr;
    QTimer* TimerBYP = nullptr;
    QTimer* TimerRYN = nullptr;
    QTimer* TimerBYN = nullptr;
    QLineEdit* RYP_DATA = nullptr;
    QLineEdit* BYP_DATA = nullptr;
    QLineEdit* RYN_DATA = nullptr;
    QLineEdit* BYN_DATA = nullptr;
};
