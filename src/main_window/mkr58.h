#pragma once
// The main window of the tool. All behaviour lives here as methods, split by subsystem into source
// files: the window and its menus (main_window/), the camera link (main_window/exchange.cpp), the
// transaction engine (transactions/) and one file per page (pages/).

#include "link/frames.h"
#include "link/receive_decoder.h"
#include "pages/copy/copy_members.h"
#include "pages/debug/debug_members.h"
#include "pages/debug/service_members.h"
#include "pages/defect/defect_members.h"
#include "pages/lens/lens_members.h"
#include "pages/lens/service_trims_members.h"
#include "pages/setup/setup_members.h"

#include <QFrame>
#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGridLayout;
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

private:
    bool is_click_on_panel(const QMouseEvent* event) const;
};

// Each page declares its controls and state in its own folder (pages/<page>/*_members.h); the
// window inherits them all, so page methods name them unqualified.
class TFKR58 : public QMainWindow,
               public SetupPageMembers,
               public CopyPageMembers,
               public DebugPageMembers,
               public ServiceCommandMembers,
               public DefectPageMembers,
               public LensPageMembers,
               public ServiceTrimsMembers {
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

    // Page names that QWidget also has: the page's control wins, as it did before the split.
    using SetupPageMembers::mask;

    // Creates the serial component of the next window; tests put a double in its place. An empty
    // factory restores the real component.
    using CommFactory = std::function<TComm*(QObject* owner)>;
    static void set_comm_factory(CommFactory factory);

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
    // Ends the outstanding exchange without a reply, as the time-out does.
    void abandon_exchange();

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
    // "ETX Error"s seen on the line, shown or not (one box at a time is shown).
    int etx_errors = 0;

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
    // ---- end of Setup page ----

    // Page hooks. The shell calls each page's hook at these moments; a page with nothing to do
    // leaves its hook empty:
    //  - *_form_create: in FormCreate, before the connection step;
    //  - *_exchange_abandoned: the outstanding exchange ended without a reply (time-out or failed
    //    write), after the link was freed;
    //  - *_page_left: the user switched from this page to another one.

    // ---- Copy page ----
    void copy_form_create();
    void copy_exchange_abandoned();
    void copy_page_left();
    // The three operations: the camera's EEPROM to a data file, and a file back into the camera
    // line by line (single) or as one parameter block (batch).
    void CtopOK2Click();
    void ptocOkClick();
    void ptocOk2Click();
    // Camera->PC: stores one EEPROM word read and asks for the next, or writes the file.
    void Trans_end_ctop();
    void ctop_answered_other(int address);
    // Address 0: marks param_image entries 0..1023 unread (-1) and returns 1024; any other
    // address is returned unchanged.
    int ctop_adr_chk(int address);
    // Reads the next line of copy_file into cmd_frame bytes 1..15; true for a line to send. False
    // at the end of the file or at an empty line, and after a read failure (reported): a failing
    // device, or a line that converts no digit.
    bool make_frec();
    // Reads every remaining parameter record of copy_file into param_image; false after a read
    // failure (reported), which leaves param_image as it was.
    bool make_allrec();
    // Writes the Camera->PC file; true once every byte has reached the file. A virtual seam, so
    // that tests can make the write fail.
    virtual bool copy_save_file(const QString& path, const QByteArray& bytes);
    // Page steps shared by the operations.
    bool copy_begin_ptoc(int operation);
    bool copy_open_chosen_file();
    void copy_send_next_line();
    void copy_send_line();
    void copy_ptoc_finished();
    void copy_read_failed();
    void copy_stop();
    void copy_set_progress(qint64 position);
    // ---- end of Copy page ----

    // ---- Debug page ----
    void debug_form_create();
    void debug_exchange_abandoned();
    void debug_page_left();
    // DSP, EEPROM and OSD groups.
    void DspAdrChange();
    void DspDataChange();
    void DspRadixChange();
    void DspDatSpinUpClick();
    void DspDatSpinDownClick();
    void eepadrChange();
    void EepdataChange();
    void eepRadixChange();
    void CSpinButton6UpClick();
    void CSpinButton6DownClick();
    void CSpinButton7UpClick();
    void CSpinButton7DownClick();
    void Button2Click();
    void osdtChange();
    static int lowest_set_bit(int mask);
    // RAM group, raw command and read-outs.
    void ramAdrChange();
    void RamCountChange();
    void disp_ramadr();
    void btn_ram_wClick();
    void sampClick();
    void RamSendClick();
    void wd_agcClick();
    void WD_TimerTimer();
    void sht_rd_btnClick();
    // Replies while the Debug page is shown: to its writes and to its reads.
    void Trans_wr_dbg();
    void Trans_rd_dbg();
    // Worker steps of the chained reads and the read-outs.
    void start_ram_dump(int address);
    void ram_dump_reply();
    void area_sample_reply();
    void agc_log_reply();
    void shutter_number_reply();
    void wdr_data_reply();
    void shutter_data_reply();
    // ---- end of Debug page ----

    // ---- CCD Defect page ----
    void defect_form_create();
    void defect_exchange_abandoned();
    void defect_page_left();
    // Search and table (pages/defect/defect_handlers.cpp).
    void kizu_startClick();
    void kizu_nextClick();
    void kizu_retryClick();
    void kizu_loadClick();
    // The handler of both "KIZU Select" and "Cursor Display".
    void kizu_selClick();
    // A table box clicked: item is the command's item code (enabled, FIX or REV), entry 0..6.
    void kizu_flagClick(std::uint8_t item, int entry);
    void kizu_disp_set();
    // Moving the working position.
    void kizu_upClick();
    void kizu_downClick();
    void kizu_leftClick();
    void kizu_rightClick();
    void kizu_upKeyPress(char key);
    void Shape1MouseUp(int x, int y);
    void kizu_auto_timerTimer();
    void kizu_xy_set();
    // The service controls.
    void Kizu_saveClick();
    void KizuReadClick();
    void kizu_lns_selClick();
    void KFFXClick();
    void KFRVClick();
    // ---- end of CCD Defect page ----

    // ---- Lens Adjust page ----
    void lens_form_create();
    void lens_exchange_abandoned();
    void lens_page_left();
    // Manual offset: two characters in pwm_ref write it; the arrows step it within 50..B0.
    void pwm_refChange();
    void CSpinButton5UpClick();
    void CSpinButton5DownClick();
    void rens_ref_readClick();
    // The automatic adjustment.
    void lens_auto_sttClick();
    void ref_checkClick();
    void Lens_timTimer();
    // The handler of all four delay edits, and the write-back of the delays.
    void rg_delayChange();
    void RG_delayTimerTimer();
    void load_dlyClick();
    // One step of the automatic adjustment with the level just read.
    void lens_auto_step(int level);
    // ---- end of Lens Adjust page ----

    // ---- Menu keys, service commands and the hidden chroma and hue trims ----
    // (pages/debug/service_commands.cpp, pages/lens/service_trims.cpp)
    // The menu keys and service commands: a widget that the Debug page places in its layout.
    QWidget* build_service_commands(QWidget* parent);
    // The WDR data read; the Debug page's reply handling also calls it.
    void wdr_rd_btnClick();
    // The hidden " Chroma " and "HUE" trims, placed on the Lens Adjust page's layout.
    void build_service_trims(QGridLayout* page);
    // Menu keys: each button presses its camera key through SW_push.
    void push_upClick();
    void push_dnClick();
    void push_entClick();
    void push_preClick();
    void push_leftClick();
    void push_rightClick();
    void push_long_entClick();
    void push_commClick();
    // A character typed while a menu key (or a control that forwards its keys here) has the
    // focus presses the menu key it maps to; any other character does nothing.
    void push_upKeyPress(QObject* sender, char key);
    void push_commKeyPress(QObject* sender, char key);
    // Makes `control` forward every character typed on it to push_upKeyPress.
    void forward_menu_keys(QWidget* control);
    // Service commands.
    void PresetSaveClick();
    void wdr_test_selClick();
    void wdr_test_onlvlChange();
    void wdr_test_timerTimer();
    void wdr_on_spinUpClick();
    void wdr_on_spinDownClick();
    void dbg_blcsClick();
    void WB_READClick();
    // The hidden chroma gain and hue registers.
    void CromaRYChange();
    void TimercrmTimer();
    void RYPChange();
    void BYPChange();
    void RYNChange();
    void BYNChange();
    void TimerRYPTimer();
    void TimerBYPTimer();
    void TimerRYNTimer();
    void TimerBYNTimer();
    // ---- end of menu keys, service commands and trims ----


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
    void report_etx_error();
    void write_or_abandon(const void* bytes, int count);
    // Opens the port again when its device hung up, so that Load works once it is back.
    void reopen_lost_port();
    // Calls every page's hook of that moment.
    void pages_form_create();
    void pages_exchange_abandoned();
    void page_left(int page);

    std::unique_ptr<frames::SohBlock> soh_block_;
    bool ended_ = false;
    int exit_code_ = 0;
    bool selecting_page_from_code_ = false;
    bool busy_cursor_shown_ = false;
    int shown_page_ = -1; // the page a user's page change leaves
    bool etx_box_open_ = false;
};
