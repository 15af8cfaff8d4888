#pragma once
// The hidden chroma and hue trims that sit on the Lens Adjust page. TFKR58 inherits this struct,
// so their methods use every name unqualified.

class QSlider;

struct ServiceTrimsMembers {
    QSlider* CromaBY = nullptr;
    QSlider* CromaRY = nullptr;
    QSlider* RYP = nullptr;
    QSlider* BYP = nullptr;
    QSlider* RYN = nullptr;
    QSlider* BYN = nullptr;
};
