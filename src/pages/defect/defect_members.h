#pragma once
// The CCD Defect page's controls and page state. TFKR58 inherits this struct, so the page's
// methods use every name unqualified.

class MarkerShape;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class RadioGroup;
class SensorPicture;

// The controls of one row of the defect table.
struct DefectRow {
    QCheckBox* enabled = nullptr;
    QCheckBox* fix = nullptr;
    QCheckBox* rev = nullptr;
    QLineEdit* x = nullptr;
    QLineEdit* y = nullptr;
};

struct DefectPageMembers {
    // The table, one row per entry A..G: enabled, FIX and REV boxes, X and Y (display only).
    QCheckBox* Defect_A = nullptr;
    QCheckBox* Defect_B = nullptr;
    QCheckBox* Defect_C = nullptr;
    QCheckBox* Defect_D = nullptr;
    QCheckBox* Defect_E = nullptr;
    QCheckBox* Defect_F = nullptr;
    QCheckBox* Defect_G = nullptr;
    QCheckBox* a_fix = nullptr;
    QCheckBox* b_fix = nullptr;
    QCheckBox* c_fix = nullptr;
    QCheckBox* d_fix = nullptr;
    QCheckBox* e_fix = nullptr;
    QCheckBox* f_fix = nullptr;
    QCheckBox* g_fix = nullptr;
    QCheckBox* a_rev = nullptr;
    QCheckBox* b_rev = nullptr;
    QCheckBox* c_rev = nullptr;
    QCheckBox* d_rev = nullptr;
    QCheckBox* e_rev = nullptr;
    QCheckBox* f_rev = nullptr;
    QCheckBox* g_rev = nullptr;
    QLineEdit* a_x = nullptr;
    QLineEdit* b_x = nullptr;
    QLineEdit* c_x = nullptr;
    QLineEdit* d_x = nullptr;
    QLineEdit* e_x = nullptr;
    QLineEdit* f_x = nullptr;
    QLineEdit* g_x = nullptr;
    QLineEdit* a_y = nullptr;
    QLineEdit* b_y = nullptr;
    QLineEdit* c_y = nullptr;
    QLineEdit* d_y = nullptr;
    QLineEdit* e_y = nullptr;
    QLineEdit* f_y = nullptr;
    QLineEdit* g_y = nullptr;
    // Row `entry` (0..6 for A..G); an empty row for any other index.
    DefectRow kizu_row(int entry) const;

    // The selected entry, "KIZU Select".
    RadioGroup* Kizu_abc = nullptr;

    // The working position and its marker on the sensor picture.
    QLineEdit* kizu_ax = nullptr;
    QLineEdit* kizu_ay = nullptr;
    QFrame* Panel9 = nullptr;
    SensorPicture* Shape1 = nullptr;
    MarkerShape* Shape2 = nullptr;

    // The last search result (never shown).
    RadioGroup* kizu_rtn = nullptr;
    QLineEdit* kizu_rtn_x = nullptr;
    QLineEdit* kizu_rtn_y = nullptr;
    QCheckBox* kizu_rtn_fix = nullptr;
    QCheckBox* kizu_rtn_rev = nullptr;

    // The measurement pair (never shown): column 1 "Even", column 2 "Odd".
    QFrame* Panel10 = nullptr;
    QLabel* Even = nullptr;
    QLabel* Odd = nullptr;
    QLineEdit* kin_x1 = nullptr;
    QLineEdit* kin_y1 = nullptr;
    QLineEdit* kin_p1 = nullptr;
    QLineEdit* kin_x2 = nullptr;
    QLineEdit* kin_y2 = nullptr;
    QLineEdit* kin_p2 = nullptr;
    // Column 1 of the pair, kept until column 2 arrives.
    int kizu_x1 = 0;
    int kizu_y1 = 0;
    int kizu_p1 = 0;

    // Search, table and cursor.
    QPushButton* kizu_start = nullptr;
    QPushButton* kizu_next = nullptr;
    QPushButton* kizu_retry = nullptr;
    QGroupBox* fine_adj = nullptr;
    QPushButton* kizu_load = nullptr;
    QCheckBox* kizu_sel = nullptr;

    // Moving the working position: a write goes out 100 ms after the move that started the timer.
    QPushButton* kizu_up = nullptr;
    QPushButton* kizu_down = nullptr;
    QPushButton* kizu_left = nullptr;
    QPushButton* kizu_right = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QTimer* kizu_auto_timer = nullptr;

    // Service controls, never shown.
    QPushButton* Kizu_save = nullptr;
    QPushButton* KizuRead = nullptr;
    RadioGroup* kizu_lns_sel = nullptr;
    QCheckBox* KFFX = nullptr;
    QCheckBox* KFRV = nullptr;
};
