#pragma once
// The Setup page's controls, slider timers and page state. TFKR58 inherits this struct, so the
// page's methods use every name unqualified.

#include <QString>

#include <array>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSlider;
class QTimer;
class QWidget;
class RadioGroup;
class UpDown;

struct SetupPageMembers {
    QScrollArea* setup_scroll = nullptr;
    QWidget* Panel4 = nullptr;
    RadioGroup* Lens = nullptr;
    QSlider* DC_LVL = nullptr;
    QSlider* ELCLVL = nullptr;
    QComboBox* Shutter_NT = nullptr;
    QComboBox* Shutter_PAL = nullptr;
    QComboBox* SenseUp = nullptr;
    RadioGroup* AGC_SEL = nullptr;
    QSlider* AGC_MAX = nullptr;
    RadioGroup* DNR_SEL = nullptr;
    QSlider* AGC_MAN = nullptr;
    RadioGroup* wb_select = nullptr;
    QPushButton* AWC = nullptr;
    QSlider* atw_ofs_lvl = nullptr;
    QSlider* wb_manu_r = nullptr;
    QSlider* wb_manu_b = nullptr;
    RadioGroup* blcs = nullptr;
    QGroupBox* blc_grp = nullptr;
    QWidget* Panel5 = nullptr;
    QSlider* blc_lvl = nullptr;
    QGroupBox* wdr_grp = nullptr;
    QWidget* wdr_panel = nullptr;
    QSlider* wdr_eff_lvl = nullptr;
    QGroupBox* mot_grp = nullptr;
    RadioGroup* mot_sel = nullptr;
    QWidget* mot_panel = nullptr;
    QSlider* mot_lvl = nullptr;
    RadioGroup* mot_time = nullptr;
    RadioGroup* mot_osd = nullptr;
    QGroupBox* ZOOM_GRP = nullptr;
    RadioGroup* Zoom = nullptr;
    QSlider* ZoomBar = nullptr;
    QSlider* ENH_H = nullptr;
    QSlider* ENH_V = nullptr;
    QSlider* r_y_lvl = nullptr;
    QSlider* b_y_lvl = nullptr;
    QCheckBox* FREEZE = nullptr;
    RadioGroup* FRZ_MODE = nullptr;
    RadioGroup* Priority = nullptr;
    QCheckBox* h_rev = nullptr;
    QCheckBox* v_rev = nullptr;
    QCheckBox* Nega = nullptr;
    RadioGroup* GAMMA = nullptr;
    RadioGroup* LANGUAGE = nullptr;
    RadioGroup* SYNC = nullptr;
    QSlider* V_PHASE = nullptr;
    QPushButton* Preset = nullptr;
    std::array<QCheckBox*, 48> BLCCheck{}; // BLCCheck01..BLCCheck48
    std::array<QCheckBox*, 48> WDRCheck{}; // WDRCheck01..WDRCheck48
    std::array<QCheckBox*, 48> MOTCheck{}; // MOTCheck01..MOTCheck48
    // "Camera ID", "COMM." and "Mask" groups.
    RadioGroup* Ctitle = nullptr;
    RadioGroup* ID_POSI = nullptr;
    QLineEdit* CName = nullptr;
    QPushButton* SetTitle = nullptr;
    RadioGroup* COMM_MODE = nullptr;
    QLineEdit* COMM_ID = nullptr;
    UpDown* COMM_ID_UPDN = nullptr;
    QPushButton* COMM_ID_SET_BTN = nullptr;
    QGroupBox* GroupBox6 = nullptr;
    QCheckBox* MaskA = nullptr;
    QCheckBox* MaskB = nullptr;
    QCheckBox* MaskC = nullptr;
    QCheckBox* MaskD = nullptr;
    QComboBox* mask = nullptr;
    QTimer* DCTimer = nullptr;
    QTimer* LensTimer = nullptr;
    QTimer* AGCTimer = nullptr;
    QTimer* ATWTimer = nullptr;
    QTimer* wb_manu_r_timer = nullptr;
    QTimer* wb_manu_b_timer = nullptr;
    QTimer* blc_lvl_timer = nullptr;
    QTimer* wdr_eff_Timer = nullptr;
    QTimer* mot_Timer = nullptr;
    QTimer* ZoomTimer = nullptr;
    QTimer* ENH_H_timer = nullptr;
    QTimer* ENH_V_timer = nullptr;
    QTimer* r_y_timer = nullptr;
    QTimer* b_y_timer = nullptr;
    QTimer* V_PHASE_timer = nullptr;
    QTimer* PRESET_timer = nullptr;
    QTimer* mask_on_timer = nullptr;

    // Back light selection last accepted: 0 OFF, 1 ON, 2 WDR.
    std::int32_t blc_saved = 0;
    // Privacy-mask limits: H lower, H upper, V lower, V upper.
    std::array<std::uint8_t, 4> mask_limits{};
    // Mask rectangle last read, in drawing units: H start, V start, H end, V end.
    std::array<std::int32_t, 4> mask_view{};
    // The title assembled from the read blocks, five characters per block.
    QString title_text;
    // A rectangle is being dragged on the mask window, from the point where the button went down.
    bool mask_dragging = false;
    std::int32_t mask_down_x = 0;
    std::int32_t mask_down_y = 0;
};
