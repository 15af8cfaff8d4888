#include "main_window/mkr58.h"

#include "comm/comm.h"
#include "main_window/application.h"
#include "mask/cmask.h"
#include "widgets/dialogs.h"
#include "widgets/radio_group.h"
#include "widgets/readout.h"
#include "widgets/spin_button.h"
#include "widgets/timers.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kBusyCursor = -11;
const char* const kPageCaptions[] = {"Lens Adjust", "Debug", "CCD Defect", "Copy", "Setup"};
constexpr int kStatusWidths[] = {100, 250, 250, 40};
// What each status panel shows, as an assistive tool names it: the connection, the hex traces of
// the last command and the last reply, and a spare panel.
const char* const kStatusWhat[] = {"Connection", "Sent frame", "Received frame", "Status"};
constexpr int kTopBandHeight = 56;

TFKR58::CommFactory& comm_factory()
{
    static TFKR58::CommFactory factory;
    return factory;
}
} // namespace

void TFKR58::set_comm_factory(CommFactory factory) { comm_factory() = std::move(factory); }

// A click counts when the left button goes down on the panel itself: a press that a child (the
// title label) passes on to its parent, and any other button, do nothing.
bool ClickPanel::is_click_on_panel(const QMouseEvent* event) const
{
    return event->button() == Qt::LeftButton && childAt(event->position().toPoint()) == nullptr;
}

void ClickPanel::mousePressEvent(QMouseEvent* event)
{
    QFrame::mousePressEvent(event);
    if (is_click_on_panel(event)) emit clicked();
}

// The second press of a double click: one more click, not two (QWidget's default would pass it
// on to mousePressEvent as well).
void ClickPanel::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (is_click_on_panel(event)) emit clicked();
    else event->ignore();
}

namespace {
// The service-code edit masks with "*", whatever the style's own password character.
class StarPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};
} // namespace

TFKR58::TFKR58(int tool_type_item, QWidget* parent)
    : QMainWindow(parent), param_image(std::make_unique<frames::ParamImage>()),
      soh_block_(std::make_unique<frames::SohBlock>())
{
    param_image->fill(0);
    setObjectName(QStringLiteral("FKR58"));
    setWindowTitle(QStringLiteral(" "));
    build_window();
    tool_type->setItemIndex(tool_type_item);
    set_dialog_parent(this);
    FormCreate();
}

TFKR58::~TFKR58()
{
    FormDestroy();
    set_dialog_parent(nullptr);
    if (busy_cursor_shown_) QGuiApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------------------------------------
// Window layout

void TFKR58::build_window()
{
    Comm1 = comm_factory() ? comm_factory()(this) : new TComm(this);
    Comm1->setObjectName(QStringLiteral("Comm1"));
    Comm1->SetPort(1);
    Comm1->SetBaudRate(9600);
    Comm1->SetFlowControls(0);
    Comm1->SetReceiveNotifySize(7168);
    Comm1->SetSendNotifySize(8192);
    Comm1->OnCommReceive = [this](TComm* sender, std::uint16_t size) { Comm1CommReceive(sender, size); };

    SendTimer = named_timer(this, "SendTimer", kSendTimerMs, &TFKR58::SendTimerTimer);
    SendTimer->start();
    cursor_timer = named_timer(this, "cursor_timer", kCursorRestoreMs, &TFKR58::cursor_timerTimer);

    Panelbase = new QWidget(this);
    Panelbase->setObjectName(QStringLiteral("Panelbase"));
    setCentralWidget(Panelbase);
    auto* base = new QVBoxLayout(Panelbase);
    base->setContentsMargins(2, 2, 2, 2);
    base->setSpacing(2);

    auto* band = new QWidget(Panelbase);
    band->setFixedHeight(kTopBandHeight);
    build_top_band(band);
    base->addWidget(band);

    PageControl1 = new QTabWidget(Panelbase);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->tabBar()->setExpanding(false);
    PageControl1->setStyleSheet(QStringLiteral("QTabBar::tab { min-width: 92px; }"));
    base->addWidget(PageControl1, 1);
    build_pages();
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (!selecting_page_from_code_) PageControl1Change();
    });

    build_menus();
    build_status_bar();

    // The client area (everything below the menu bar) is fixed at 739 x 578.
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
}

void TFKR58::build_top_band(QWidget* band)
{
    auto* row = new QHBoxLayout(band);
    row->setContentsMargins(0, 0, 0, 0);

    Panel1 = new ClickPanel(band);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setFixedWidth(260);
    auto* title_row = new QHBoxLayout(Panel1);
    Title = new QLabel(Panel1);
    Title->setObjectName(QStringLiteral("Title"));
    QFont title_font = Title->font();
    title_font.setPointSize(14);
    title_font.setBold(true);
    Title->setFont(title_font);
    make_readout(Title, QStringLiteral("Tool name"));
    title_row->addWidget(Title);
    connect(Panel1, &ClickPanel::clicked, this, &TFKR58::Panel1Click);
    row->addWidget(Panel1);

    pwl = new QLineEdit(band);
    pwl->setObjectName(QStringLiteral("pwl"));
    auto* star_style = new StarPasswordStyle;
    star_style->setParent(pwl);
    pwl->setStyle(star_style);
    pwl->setEchoMode(QLineEdit::Password);
    pwl->setFixedWidth(80);
    pwl->setAccessibleName(QStringLiteral("Service code"));
    pwl->hide();
    connect(pwl, &QLineEdit::textChanged, this, &TFKR58::pwlChange);
    row->addWidget(pwl);
    row->addStretch(1);

    Label39 = new QLabel(QStringLiteral("Transmit COMM_ID"), band);
    Label39->setObjectName(QStringLiteral("Label39"));
    IDEdit = new QLineEdit(band);
    IDEdit->setObjectName(QStringLiteral("IDEdit"));
    IDEdit->setFixedWidth(40);
    IDUpDown = new UpDown(IDEdit, 0, 255, 1, true, band);
    IDUpDown->setObjectName(QStringLiteral("IDUpDown"));
    Label39->setBuddy(IDEdit);
    row->addWidget(Label39);
    row->addWidget(IDEdit);
    row->addWidget(IDUpDown);
    row->addSpacing(12);

    auto* facts = new QVBoxLayout;
    TV = new QLabel(QStringLiteral("TV"), band);
    TV->setObjectName(QStringLiteral("TV"));
    Resolution = new QLabel(QStringLiteral("Resolution"), band);
    Resolution->setObjectName(QStringLiteral("Resolution"));
    make_readout(TV, QStringLiteral("TV system"));
    make_readout(Resolution, QStringLiteral("Resolution"));
    facts->addWidget(TV);
    facts->addWidget(Resolution);
    row->addLayout(facts);
    row->addSpacing(12);

    ResetButton = new QPushButton(QStringLiteral("Reset"), band);
    ResetButton->setObjectName(QStringLiteral("ResetButton"));
    ResetButton->hide();
    connect(ResetButton, &QPushButton::clicked, this, &TFKR58::Reset1Click);
    ExitButton = new QPushButton(QStringLiteral("Exit"), band);
    ExitButton->setObjectName(QStringLiteral("ExitButton"));
    connect(ExitButton, &QPushButton::clicked, this, &TFKR58::ExitClick);
    row->addWidget(ResetButton);
    row->addWidget(ExitButton);

    // The start configuration is part of the layout and never shown.
    tool_type = new RadioGroup(QStringLiteral("tool type"), {"Release", "Debug", "Delay"}, band);
    tool_type->setObjectName(QStringLiteral("tool_type"));
    tool_type->hide();
}

void TFKR58::build_menus()
{
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    CameraMenu = menuBar()->addMenu(QStringLiteral("&Camera"));
    ReLoad = CameraMenu->addAction(QStringLiteral("&Load"), this, &TFKR58::ReLoadClick);
    ReLoad->setObjectName(QStringLiteral("ReLoad"));
    Reset1 = CameraMenu->addAction(QStringLiteral("&Reset"), this, &TFKR58::Reset1Click);
    Reset1->setObjectName(QStringLiteral("Reset1"));
    Exit = CameraMenu->addAction(QStringLiteral("&Exit"), this, &TFKR58::ExitClick);
    Exit->setObjectName(QStringLiteral("Exit"));

    HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    Version1 = HelpMenu->addAction(QStringLiteral("&Camera Version"));
    Version1->setObjectName(QStringLiteral("Version1"));
    PCVersion1 = HelpMenu->addAction(QStringLiteral("&PC Version"));
    PCVersion1->setObjectName(QStringLiteral("PCVersion1"));
    HelpMenu->menuAction()->setVisible(false);
}

void TFKR58::build_status_bar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    // The panels keep their fixed widths; a compact font lets a whole 34-digit trace fit in one.
    QFont compact = bar->font();
    compact.setPointSizeF(compact.pointSizeF() * 0.8);
    bar->setFont(compact);
    for (int i = 0; i < 4; ++i) {
        StatusPanel[i] = new QLabel(bar);
        StatusPanel[i]->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        StatusPanel[i]->setFixedWidth(kStatusWidths[i]);
        StatusPanel[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        make_readout(StatusPanel[i], QString::fromLatin1(kStatusWhat[i]));
        bar->addWidget(StatusPanel[i]);
    }
}

void TFKR58::build_pages()
{
    QWidget** sheets[] = {&TabSheet1, &TabSheet2, &TabSheet5, &CopySheet, &TabSheet3};
    const char* const names[] = {"TabSheet1", "TabSheet2", "TabSheet5", "CopySheet", "TabSheet3"};
    for (int i = 0; i < 5; ++i) {
        *sheets[i] = new QWidget(PageControl1);
        (*sheets[i])->setObjectName(QString::fromLatin1(names[i]));
        PageControl1->addTab(*sheets[i], QString::fromLatin1(kPageCaptions[i]));
    }
    build_lens_page();
    build_debug_page();
    build_defect_page();
    build_copy_page();
    build_setup_page();
}

// ---------------------------------------------------------------------------------------------
// Creation, pages, menus

void TFKR58::FormCreate()
{
    apply_tool_type();
    complete2->hide();
    pwl->clear();
    PageControl1->setEnabled(false);
    ResetButton->show();
    move(0, 0);
    kizu_busy = false;
    ctrl_updating = false;
    wdr_level_skip = false;
    dsp_echo_skip = false;
    eep_echo_skip = false;
    pages_form_create();
    Title->setText(QStringLiteral(" Camera Adjust Tool"));
    // The first read series goes out from here, before the message loop runs: a port failure in
    // it is shown like any other, and the program goes on (or ends through its own give-up).
    try {
        Trans_Create();
    } catch (...) {
        show_exception(std::current_exception());
    }
}

void TFKR58::apply_tool_type()
{
    struct Configuration {
        bool tabs[5];
        int active;
        bool show_ptoc_ok2;
    };
    static const Configuration configurations[] = {
        {{false, false, false, false, true}, SetupPage, false},
        {{true, true, true, true, true}, DebugPage, true},
        {{true, false, false, false, false}, LensPage, true},
    };
    const int item = tool_type->itemIndex();
    if (item < 0 || item > 2) return;
    const Configuration& c = configurations[item];
    for (int i = 0; i < 5; ++i) set_tab_visible(i, c.tabs[i]);
    select_page(c.active);
    if (c.show_ptoc_ok2) ptocOk2->show();
}

void TFKR58::FormDestroy() { Comm1->Close(); }

void TFKR58::closeEvent(QCloseEvent* event)
{
    Comm1->Close();
    QMainWindow::closeEvent(event);
}

void TFKR58::select_page(int index)
{
    selecting_page_from_code_ = true;
    PageControl1->setCurrentIndex(index);
    selecting_page_from_code_ = false;
    shown_page_ = active_page();
}

void TFKR58::set_tab_visible(int index, bool visible)
{
    // Hiding the current tab moves the selection; that is not the user's page change either.
    selecting_page_from_code_ = true;
    PageControl1->setTabVisible(index, visible);
    selecting_page_from_code_ = false;
}

int TFKR58::active_page() const { return PageControl1->currentIndex(); }

void TFKR58::ReLoadClick()
{
    reopen_lost_port();
    if (DR_check())
        Trans_init(0);
    else
        dialogs().message(QStringLiteral("Camera Connection changed (DR OFF)"), QStringLiteral("Error"));
}

void TFKR58::reopen_lost_port()
{
    if (!Comm1->IsOpen() || !Comm1->LineLost()) return;
    // An open error here (the device is still away) reaches the application's handler; the next
    // Load tries again.
    CnctDataLink(Comm1->Port(), Comm1->BaudRate());
}

void TFKR58::Reset1Click()
{
    if (!Trans_chk()) return;
    cmd_frame[1] = frames::kCommandReset;
    StxCommand(cmd_frame, 1);
}

void TFKR58::ExitClick()
{
    Comm1->Close();
    close();
}

void TFKR58::PageControl1Change()
{
    struct PageRule {
        bool reset_button;
        bool reload;
    };
    static const PageRule rules[] = {{false, true}, {true, true}, {true, false}, {false, false}, {true, true}};
    const int page = active_page();
    if (shown_page_ != page) page_left(shown_page_);
    shown_page_ = page;
    if (page < 0 || page > 4) return;
    ResetButton->setVisible(rules[page].reset_button);
    if (rules[page].reload) ReLoadClick();
}

void TFKR58::Cursor_set(int cursor)
{
    if (cursor != 0)
        show_busy_cursor();
    else
        enable_timer(cursor_timer);
}

void TFKR58::show_busy_cursor()
{
    // The override cursor is set once and restored once, however many exchanges overlap it.
    if (busy_cursor_shown_) return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    busy_cursor_shown_ = true;
}

void TFKR58::cursor_timerTimer()
{
    cursor_timer->stop();
    if (!busy_cursor_shown_) return;
    QGuiApplication::restoreOverrideCursor();
    busy_cursor_shown_ = false;
}

void TFKR58::Panel1Click()
{
    if (active_page() != DefectPage) return;
    if (pwl->isHidden()) {
        pwl->show();
        hidden_tries = 0;
    } else {
        pwl->hide();
    }
}

void TFKR58::pwlChange()
{
    const QString text = pwl->text();
    if (text == QLatin1String("kwtz") || text == QLatin1String("KWTZ")) {
        set_tab_visible(DebugPage, true);
        CtopOK2->show();
        ptocOk->show();
        pwl->hide();
    } else if (hidden_tries >= 3) {
        pwl->hide();
        hidden_tries = 0;
    } else if (!text.isEmpty()) {
        ++hidden_tries;
    }
}

void TFKR58::pages_form_create()
{
    copy_form_create();
    debug_form_create();
    defect_form_create();
    lens_form_create();
}

void TFKR58::pages_exchange_abandoned()
{
    copy_exchange_abandoned();
    debug_exchange_abandoned();
    defect_exchange_abandoned();
    lens_exchange_abandoned();
}

void TFKR58::page_left(int page)
{
    switch (page) {
    case LensPage: lens_page_left(); break;
    case DebugPage: debug_page_left(); break;
    case DefectPage: defect_page_left(); break;
    case CopyPage: copy_page_left(); break;
    default: break;
    }
}

void TFKR58::end_application(int code)
{
    // Before the message loop runs, exit() would be forgotten; main() checks ended() instead.
    ended_ = true;
    exit_code_ = code;
    SendTimer->stop();
    Comm1->Close();
    hide();
    QCoreApplication::exit(code);
}
