#pragma once
// The CCD Defect page's controls and page state. TFKR58 inherits this struct, so the page's
// methods use every name unqualified.

class QFrame;
class QLineEdit;

struct DefectPageMembers {
    // The working position and its marker on the sensor picture.
    QLineEdit* kizu_ax = nullptr;
    QLineEdit* kizu_ay = nullptr;
    QFrame* Panel9 = nullptr;
    QFrame* Shape1 = nullptr;
    QFrame* Shape2 = nullptr;
};
