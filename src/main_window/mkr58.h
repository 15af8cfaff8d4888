#pragma once
// The main window of the tool. All behaviour lives here as methods, split by subsystem into source
// files: the window and its menus (main_window/), the camera link (link/exchange.cpp), the
// transaction engine (transactions/) and one file per page (pages/).

#include "link/frames.h"
#include "link/receive_decoder.h"

#include <QFrame>
#include <QMainWindow>

#include <cstdint>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSlider;
class QTabWidget;
class QTimer;
class QWidget;
class RadioGroup;
class TComm;
class TFMask;
class UpDown;

// A panel that reports clicks and double clicks.
class ClickPanel : public QFrame {
    Q_OBJECT
public:
    using QFrame::QFrame;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class TFKR58 : public QMainWindow {
    Q_OBJECT
public:
    // Start configurations: the item of the hidden "tool type" group.
    enum ToolType { Release = 0, Debug = 1, Delay = 2 };
    // Page indices of PageControl1.
    enum Page { LensPage = 0, DebugPage = 1, DefectPage = 2, CopyPage = 3, SetupPage = 4 };

    static constexpr int kClientWidth = 739;
    static constexpr int kClientHeight = 578;
    static constexpr int kSendTimerMs = 1500;
    static constexpr int kFrameReplyTicks = 3;
    static constexpr int kBlockReplyTicks = 100;
    static constexpr int kCursorRestoreMs = 10;

    explicit TFKR58(int tool_type_item = Release, QWidget* parent = nullptr);
    ~TFKR58() override;

    // True once the application has been told to end (a start-up failure or the reconnect
    // give-up); exit_code() is then the process status.
    bool ended() const { return ended_; }
    int exit_code() const { return exit_code_; }

    // ---- Window and menus ----
    void FormCreate();
    void FormDestroy();
    void ReLoadClick();
    void Reset1Click();
    void ExitClick();
    void PageControl1Change();
    void Cursor_set(int cursor);
    void cursor_timerTimer();
    void Panel1Click();
    void pwlChange();
    // Selects a page from code; unlike a user's selection this runs no PageControl1Change.
    void select_page(int index);
    // Shows or hides a tab from code, without PageControl1Change.
    void set_tab_visible(int index, bool visible);
    int active_page() const;

    // ---- Camera link ----
    int r_data(std::uint8_t byte);
    void Comm1CommReceive(TComm* sender, std::uint16_t size);
    int StxCommand(frames::Frame& data, int length);
    void SohCommand();
    void non_response_chk();
    void SendTimerTimer();
    void CnctDataLink(int port, int baud);
    bool DR_check() const;
    void Trans_Create();

    // ---- Transaction engine ----
    void Trans_init(unsigned type);
    void Trans_end();
    bool Trans_chk() const;
    void SW_push(std::uint8_t key);

    // ---- Controls ----
    QWidget* Panelbase = nullptr;
    ClickPanel* Panel1 = nullptr;
    QLabel* Title = nullptr;
    QLineEdit* pwl = nullptr;
    QLabel* Label39 = nullptr;
    QLineEdit* IDEdit = nullptr;
    UpDown* IDUpDown = nullptr;
    QLabel* TV = nullptr;
    QLabel* Resolution = nullptr;
    QPushButton* ResetButton = nullptr;
    QPushButton* ExitButton = nullptr;
    RadioGroup* tool_type = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr; // Lens Adjust
    QWidget* TabSheet2 = nullptr; // Debug
    QWidget* TabSheet5 = nullptr; // CCD Defect
    QWidget* CopySheet = nullptr; // Copy
    QWidget* TabSheet3 = nullptr; // Setup
    QMenu* CameraMenu = nullptr;
    QAction* ReLoad = nullptr;
    QAction* Reset1 = nullptr;
    QAction* Exit = nullptr;
    QMenu* HelpMenu = nullptr;
    QAction* Version1 = nullptr;
    QAction* PCVersion1 = nullptr;
    QLabel* StatusPanel[4] = {};
    QTimer* SendTimer = nullptr;
    QTimer* cursor_timer = nullptr;
    TComm* Comm1 = nullptr;
    TFMask* FMask = nullptr;

    // Copy page controls the shell touches.
    QPushButton* ptocOk = nullptr;
    QPushButton* ptocOk2 = nullptr;
    QPushButton* CtopOK2 = nullptr;
    QLabel* complete2 = nullptr;
    QProgressBar* ProgressBar3 = nullptr;

    // CCD Defect page: the working position and its marker on the sensor picture.
    QLineEdit* kizu_ax = nullptr;
    QLineEdit* kizu_ay = nullptr;
    QFrame* Panel9 = nullptr;
    QFrame* Shape1 = nullptr;
    QFrame* Shape2 = nullptr;

    // ---- Link and transaction state ----
    frames::Frame cmd_frame{};
    frames::Frame reply_frame{};
    ReceiveDecoder rx_decoder;
    std::uint8_t link_status = 0;
    bool comm_busy = false;
    std::int32_t reply_wait = kFrameReplyTicks;
    std::int32_t connect_retry = 0;
    std::uint32_t trans_no = 0;
    bool ctrl_updating = false;
    bool kizu_busy = false;
    std::int32_t hidden_tries = 0;
    bool wdr_level_skip = false;
    bool dsp_echo_skip = false;
    bool eep_echo_skip = false;

    // ---- Camera facts ----
    std::unique_ptr<frames::ParamImage> param_image;
    std::int32_t pal_mode = 0;
    std::int32_t ccd_x_max = 1;
    std::int32_t ccd_y_max = 1;

    // ---- Setup page ----
    // Reply decoding (Trans_end_common, Trans_end_easy, Trans_cstm_hidden) is protected below.
    void LensClick();
    void DC_LVLChange();
    void ELCLVLChange();
    void Shutter_NTChange();
    void SenseUpChange();
    void AGC_SELClick();
    void AGC_MAXChange();
    void DNR_SELClick();
    void wb_selectClick();
    void AWCClick();
    void atw_ofs_lvlChange();
    void wb_manu_rChange();
    void wb_manu_bChange();
    void blc_lvlChange();
    void blcsClick();
    void wdr_eff_lvlChange();
    void mot_selClick();
    void mot_lvlChange();
    void mot_timeClick();
    void mot_osdClick();
    void ZoomClick();
    void ZoomBarChange();
    void ENH_HChange();
    void ENH_VChange();
    void r_y_lvlChange();
    void b_y_lvlChange();
    void FREEZEClick();
    void FRZ_MODEClick();
    void PriorityClick();
    void h_revClick();
    void h_revKeyPress(char key);
    void v_revClick();
    void v_revKeyPress(char key);
    void NegaClick();
    void GAMMAClick();
    void LANGUAGEClick();
    void SYNCClick();
    void V_PHASEChange();
    void PresetClick();
    void PRESET_timerTimer();
    // Track-bar timer ticks: each sends its track bar's position once the link is free.
    void DCTimerTimer();
    void LensTimerTimer();
    void AGCTimerTimer();
    void ATWTimerTimer();
    void wb_manu_r_timerTimer();
    void wb_manu_b_timerTimer();
    void blc_lvl_timerTimer();
    void wdr_eff_TimerTimer();
    void mot_TimerTimer();
    void ZoomTimerTimer();
    void ENH_H_timerTimer();
    void ENH_V_timerTimer();
    void r_y_timerTimer();
    void b_y_timerTimer();
    void V_PHASE_timerTimer();
    // The three 48-cell area grids.
    void BLCAreaSet();
    void WDRAreaSet();
    void MOTAreaSet();
    void BLCAreaSend();
    void WDRAreaSend();
    void MOTAreaSend();
    void BLCCheck01Click();
    void WDRCheck01Click();
    void MOTCheck01Click();
    // "Camera ID" and "COMM." groups. The title travels in four blocks of five characters:
    // CidWrite sends one block and the reply to it sends the next; CharSet decodes one read block.
    void CtitleClick();
    void ID_POSIClick();
    void SetTitleClick();
    void CidWrite(int block);
    void CharSet();
    void COMM_MODEClick();
    void COMM_ID_SET_BTNClick();
    // "Mask" group and the mask window's drawing; m is the mask index, 0..3 for A..D.
    void MaskAClick();
    void MaskBClick();
    void MaskCClick();
    void MaskDClick();
    void maskChange();
    void Mask_read(int m);
    void Mask_write(int m, int x1, int y1, int x2, int y2);
    void Mask_disp(int hs, int vs, int he, int ve);
    void Mask_area_clear();
    void mask_on_timerTimer();
    // The check box that switches mask m on and off.
    QCheckBox* mask_switch(int m) const;

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
    // Controls of the Debug and Lens Adjust pages that the Setup decoders write.
    RadioGroup* dbg_blcs = nullptr;
    RadioGroup* wdr_test_sel = nullptr;
    QSlider* wdr_test_onlvl = nullptr;
    QSlider* CromaBY = nullptr;
    QSlider* CromaRY = nullptr;
    QSlider* RYP = nullptr;
    QSlider* BYP = nullptr;
    QSlider* RYN = nullptr;
    QSlider* BYN = nullptr;
    QLineEdit* rg_width = nullptr;
    QLineEdit* shd_delay = nullptr;
    QLineEdit* shp_delay = nullptr;
    QLineEdit* rg_delay = nullptr;

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
    // ---- end of Setup page ----

protected:
    // Reply decoders, called by Trans_end in this order: the common one, the active page's, the
    // Setup interlocks, then the defect marker.
    virtual void Trans_end_common();
    virtual void Trans_end_cstm();
    virtual void Debug_tend();
    virtual void Trans_end_kizu();
    virtual void Trans_end_copy();
    virtual void Trans_end_easy();
    virtual void Trans_cstm_hidden();
    virtual void kizu_marker_set();

    void closeEvent(QCloseEvent* event) override;

private:
    void build_window();
    void build_top_band(QWidget* band);
    void build_menus();
    void build_status_bar();
    void build_pages();
    void build_lens_page();
    void build_debug_page();
    void build_defect_page();
    void build_copy_page();
    void build_setup_page();
    void apply_tool_type();
    void end_application(int code);
    void show_busy_cursor();

    std::unique_ptr<frames::SohBlock> soh_block_;
    bool ended_ = false;
    int exit_code_ = 0;
    bool selecting_page_from_code_ = false;
    bool busy_cursor_shown_ = false;
};
