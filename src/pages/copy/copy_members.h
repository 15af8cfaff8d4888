#pragma once
// The Copy page's controls and page state. TFKR58 inherits this struct, so the page's methods use
// every name unqualified.

class QLabel;
class QProgressBar;
class QPushButton;

struct CopyPageMembers {
    QPushButton* ptocOk = nullptr;
    QPushButton* ptocOk2 = nullptr;
    QPushButton* CtopOK2 = nullptr;
    QLabel* complete2 = nullptr;
    QProgressBar* ProgressBar3 = nullptr;
};
