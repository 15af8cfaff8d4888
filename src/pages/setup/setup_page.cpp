// The Setup page: the camera's user settings, one control per setting, in the page's groups.

#include "main_window/mkr58.h"
#include "widgets/labelled_row.h"
#include "pages/areas/area_grid.h"
#include "pages/setup/setup_support.h"
#include "widgets/radio_group.h"
#include "widgets/spin_button.h"
#include "widgets/timers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

namespace {

using Handler = void (TFKR58::*)();

// Calls `on_key` with the character of every Enter pressed on the watched control.
class EnterKeyFilter : public QObject {
public:
    EnterKeyFilter(QObject* parent, std::function<void(char)> on_key) : QObject(parent), on_key_(std::move(on_key)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                on_key_('\r');
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(char)> on_key_;
};

// Builds the page's controls with their names, ranges and handlers.
class SetupBuilder {
public:
    explicit SetupBuilder(TFKR58& w) : w_(w) {}

    QTimer* timer(const char* name, int interval_ms, Handler tick = nullptr)
    {
        return named_timer(&w_, name, interval_ms, tick);
    }

    QGroupBox* group(QWidget* parent, const char* caption, const char* name = nullptr)
    {
        auto* box = new QGroupBox(QString::fromUtf8(caption), parent);
        if (name) box->setObjectName(QString::fromLatin1(name));
        return box;
    }

    RadioGroup* radio(QWidget* parent, const char* name, const char* caption, const QStringList& items,
                      int columns, Handler click)
    {
        auto* g = new RadioGroup(QString::fromUtf8(caption), {}, parent);
        g->setObjectName(QString::fromLatin1(name));
        g->setColumns(columns);
        g->setItems(items);
        g->layout()->setContentsMargins(3, 0, 3, 0);
        if (!*caption) {
            // Inside a captioned group box a second frame would only take room.
            g->setAccessibleName(QString::fromLatin1(name));
            g->setFlat(true);
        }
        if (click) QObject::connect(g, &RadioGroup::indexChanged, &w_, click);
        return g;
    }

    QSlider* slider(QWidget* parent, const char* name, int minimum, int maximum, Handler change, int tick = 1)
    {
        auto* s = new QSlider(Qt::Horizontal, parent);
        s->setObjectName(QString::fromLatin1(name));
        s->setRange(minimum, maximum);
        s->setSingleStep(1);
        s->setPageStep(1);
        s->setTickInterval(tick);
        s->setTickPosition(QSlider::TicksBelow);
        if (change) QObject::connect(s, &QSlider::valueChanged, &w_, change);
        return s;
    }

    QComboBox* combo(QWidget* parent, const char* name, const QStringList& items, Handler change)
    {
        auto* c = new QComboBox(parent);
        c->setObjectName(QString::fromLatin1(name));
        c->addItems(items);
        c->setCurrentIndex(-1);
        if (change) QObject::connect(c, &QComboBox::currentIndexChanged, &w_, change);
        return c;
    }

    QCheckBox* check(QWidget* parent, const char* name, const char* caption, Handler click)
    {
        auto* c = new QCheckBox(QString::fromUtf8(caption), parent);
        c->setObjectName(QString::fromLatin1(name));
        if (click) QObject::connect(c, &QCheckBox::toggled, &w_, click);
        return c;
    }

    QPushButton* button(QWidget* parent, const char* name, const char* caption, Handler click)
    {
        auto* b = new QPushButton(QString::fromUtf8(caption), parent);
        b->setObjectName(QString::fromLatin1(name));
        if (click) QObject::connect(b, &QPushButton::clicked, &w_, click);
        return b;
    }

    // A captioned control on one row of a grid: the label is the control's buddy.
    QLabel* labelled_row(QGridLayout* grid, int row, const char* caption, QWidget* control)
    {
        return add_labelled_row(grid, row, QString::fromUtf8(caption), control);
    }

private:
    TFKR58& w_;
};

QVBoxLayout* column_in(QHBoxLayout* row)
{
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    row->addLayout(column);
    return column;
}

QGridLayout* grid_in(QGroupBox* box)
{
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(3, 0, 3, 2);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(0);
    return grid;
}

} // namespace

void TFKR58::build_setup_page()
{
    auto* outer = new QVBoxLayout(TabSheet3);
    outer->setContentsMargins(0, 0, 0, 0);
    setup_scroll = new QScrollArea(TabSheet3);
    setup_scroll->setObjectName(QStringLiteral("setup_scroll"));
    setup_scroll->setFrameShape(QFrame::NoFrame);
    setup_scroll->setWidgetResizable(true);
    outer->addWidget(setup_scroll);
    Panel4 = new QWidget;
    Panel4->setObjectName(QStringLiteral("Panel4"));
    setup_scroll->setWidget(Panel4);

    SetupBuilder b(*this);
    auto* row = new QHBoxLayout(Panel4);
    row->setContentsMargins(3, 3, 3, 3);
    row->setSpacing(4);
    QWidget* p = Panel4;

    // ---- Column 1: exposure, gain, sync ----
    QVBoxLayout* col = column_in(row);
    {
        QGroupBox* box = b.group(p, "ALC/AES");
        QGridLayout* g = grid_in(box);
        Lens = b.radio(box, "Lens", "", {"ALC", "AES"}, 2, &TFKR58::LensClick);
        g->addWidget(Lens, 0, 0, 1, 2);
        DC_LVL = b.slider(box, "DC_LVL", 0, 8, &TFKR58::DC_LVLChange);
        b.labelled_row(g, 1, "ALC ", DC_LVL);
        ELCLVL = b.slider(box, "ELCLVL", 0, 8, &TFKR58::ELCLVLChange);
        b.labelled_row(g, 2, "AES ", ELCLVL);
        col->addWidget(box);
    }
    {
        QGroupBox* box = b.group(p, "Shutter speed");
        QGridLayout* g = grid_in(box);
        Shutter_NT = b.combo(box, "Shutter_NT",
                             {"OFF", "1/100", "1/125", "1/250", "1/500", "1/1000", "1/2000", "1/4000", "1/10000"},
                             &TFKR58::Shutter_NTChange);
        Shutter_PAL = b.combo(box, "Shutter_PAL",
                              {"OFF", "1/120", "1/125", "1/250", "1/500", "1/1000", "1/2000", "1/4000", "1/10000"},
                              &TFKR58::Shutter_NTChange);
        Shutter_NT->setAccessibleName(QStringLiteral("Shutter speed"));
        Shutter_PAL->setAccessibleName(QStringLiteral("Shutter speed"));
        // Both lie on the same spot; the TV system decides which one shows.
        g->addWidget(Shutter_NT, 0, 0);
        g->addWidget(Shutter_PAL, 0, 0);
        Shutter_PAL->hide();
        col->addWidget(box);
    }
    {
        QGroupBox* box = b.group(p, "Sense up");
        QGridLayout* g = grid_in(box);
        SenseUp = b.combo(box, "SenseUp", {"OFF", "x2", "x4", "x6", "x8", "x12", "x16", "x32", "x64"},
                          &TFKR58::SenseUpChange);
        SenseUp->setMaxVisibleItems(10);
        SenseUp->setAccessibleName(QStringLiteral("Sense up"));
        g->addWidget(SenseUp, 0, 0);
        col->addWidget(box);
    }
    {
        QGroupBox* box = b.group(p, "AGC");
        QGridLayout* g = grid_in(box);
        AGC_SEL = b.radio(box, "AGC_SEL", "", {"OFF", "ON"}, 2, &TFKR58::AGC_SELClick);
        g->addWidget(AGC_SEL, 0, 0, 1, 2);
        AGC_MAX = b.slider(box, "AGC_MAX", 0, 8, &TFKR58::AGC_MAXChange);
        b.labelled_row(g, 1, "Max", AGC_MAX);
        AGC_MAN = b.slider(box, "AGC_MAN", 0, 14, nullptr);
        b.labelled_row(g, 2, "Fix", AGC_MAN)->hide();
        AGC_MAN->hide();
        DNR_SEL = b.radio(box, "DNR_SEL", "DNR", {"OFF", "ON"}, 2, &TFKR58::DNR_SELClick);
        g->addWidget(DNR_SEL, 3, 0, 1, 2);
        col->addWidget(box);
    }
    {
        QGroupBox* box = b.group(p, "SYNC");
        QGridLayout* g = grid_in(box);
        SYNC = b.radio(box, "SYNC", "", {"INT", "EXT"}, 2, &TFKR58::SYNCClick);
        g->addWidget(SYNC, 0, 0, 1, 2);
        V_PHASE = b.slider(box, "V_PHASE", 0, 0, &TFKR58::V_PHASEChange, 10);
        b.labelled_row(g, 1, "Phase ", V_PHASE);
        col->addWidget(box);
    }
    col->addStretch(1);

    // ---- Column 2: white balance, aperture, chroma, zoom, factory settings ----
    col = column_in(row);
    {
        QGroupBox* box = b.group(p, "W/B");
        QGridLayout* g = grid_in(box);
        wb_select = b.radio(box, "wb_select", "", {"ATW", "AWB", "IN Door", "OUT Door", "Manual"}, 1,
                            &TFKR58::wb_selectClick);
        g->addWidget(wb_select, 0, 0, 1, 2);
        AWC = b.button(box, "AWC", "One push", &TFKR58::AWCClick);
        g->addWidget(AWC, 1, 0, 1, 2);
        atw_ofs_lvl = b.slider(box, "atw_ofs_lvl", 0, 8, &TFKR58::atw_ofs_lvlChange);
        b.labelled_row(g, 2, "ATW Level ", atw_ofs_lvl);
        wb_manu_r = b.slider(box, "wb_manu_r", 0, 8, &TFKR58::wb_manu_rChange);
        b.labelled_row(g, 3, "Manual R  ", wb_manu_r);
        wb_manu_b = b.slider(box, "wb_manu_b", 0, 8, &TFKR58::wb_manu_bChange);
        b.labelled_row(g, 4, "Manual B ", wb_manu_b);
        col->addWidget(box);
    }
    {
        QGroupBox* box = b.group(p, "Aperture");
        QGridLayout* g = grid_in(box);
        ENH_H = b.slider(box, "ENH_H", 0, 8, &TFKR58::ENH_HChange);
        b.labelled_row(g, 0, "H ", ENH_H);
        ENH_V = b.slider(box, "ENH_V", 0, 8, &TFKR58::ENH_VChange);
        b.labelled_row(g, 1, "V ", ENH_V);
        col->addWidget(box);
    }
    {
        QGroupBox* box = b.group(p, "Chroma");
        QGridLayout* g = grid_in(box);
        r_y_lvl = b.slider(box, "r_y_lvl", 0, 8, &TFKR58::r_y_lvlChange);
        b.labelled_row(g, 0, "R - Y Level ", r_y_lvl);
        b_y_lvl = b.slider(box, "b_y_lvl", 0, 8, &TFKR58::b_y_lvlChange);
        b.labelled_row(g, 1, "B - Y Level ", b_y_lvl);
        col->addWidget(box);
    }
    {
        QGroupBox* box = b.group(p, "Zoom", "ZOOM_GRP");
        ZOOM_GRP = box;
        QGridLayout* g = grid_in(box);
        Zoom = b.radio(box, "Zoom", "", {"OFF", "ON"}, 2, &TFKR58::ZoomClick);
        g->addWidget(Zoom, 0, 0, 1, 2);
        ZoomBar = b.slider(box, "ZoomBar", 0, 8, &TFKR58::ZoomBarChange);
        b.labelled_row(g, 1, "Level ", ZoomBar);
        col->addWidget(box);
    }
    Preset = b.button(p, "Preset", "Default", &TFKR58::PresetClick);
    col->addWidget(Preset);
    col->addStretch(1);

    // ---- Column 3: back light, WDR, freeze and flips ----
    col = column_in(row);
    blcs = b.radio(p, "blcs", "Back light", {"OFF", "ON", "WDR"}, 2, &TFKR58::blcsClick);
    {
        // Hidden until the camera reports its back light; its place is kept meanwhile.
        QSizePolicy policy = blcs->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        blcs->setSizePolicy(policy);
        blcs->hide();
    }
    col->addWidget(blcs);
    {
        blc_grp = b.group(p, "Back light Area", "blc_grp");
        QGridLayout* g = grid_in(blc_grp);
        Panel5 = areas::build_grid(blc_grp, QStringLiteral("Panel5"), QStringLiteral("BLCCheck"),
                                   QStringLiteral("Back light area"), BLCCheck, [this] { BLCCheck01Click(); });
        g->addWidget(Panel5, 0, 0, 1, 2, Qt::AlignHCenter);
        blc_lvl = b.slider(blc_grp, "blc_lvl", 0, 8, &TFKR58::blc_lvlChange);
        b.labelled_row(g, 1, "Level  ", blc_lvl);
        col->addWidget(blc_grp);
    }
    {
        wdr_grp = b.group(p, "WDR Area", "wdr_grp");
        QGridLayout* g = grid_in(wdr_grp);
        wdr_panel = areas::build_grid(wdr_grp, QStringLiteral("wdr_panel"), QStringLiteral("WDRCheck"),
                                      QStringLiteral("WDR area"), WDRCheck, [this] { WDRCheck01Click(); });
        g->addWidget(wdr_panel, 0, 0, 1, 2, Qt::AlignHCenter);
        wdr_eff_lvl = b.slider(wdr_grp, "wdr_eff_lvl", 0, 8, &TFKR58::wdr_eff_lvlChange);
        b.labelled_row(g, 1, "Level  ", wdr_eff_lvl);
        col->addWidget(wdr_grp);
    }
    FREEZE = b.check(p, "FREEZE", "Freeze", &TFKR58::FREEZEClick);
    col->addWidget(FREEZE);
    FRZ_MODE = b.radio(p, "FRZ_MODE", "Freeze mode", {"Field", "Frame"}, 2, &TFKR58::FRZ_MODEClick);
    col->addWidget(FRZ_MODE);
    {
        auto* flips = new QHBoxLayout;
        h_rev = b.check(p, "h_rev", "H Rev.", &TFKR58::h_revClick);
        v_rev = b.check(p, "v_rev", "V Rev.", &TFKR58::v_revClick);
        h_rev->installEventFilter(new EnterKeyFilter(h_rev, [this](char key) { h_revKeyPress(key); }));
        v_rev->installEventFilter(new EnterKeyFilter(v_rev, [this](char key) { v_revKeyPress(key); }));
        flips->addWidget(h_rev);
        flips->addWidget(v_rev);
        col->addLayout(flips);
    }
    Nega = b.check(p, "Nega", "Nega", &TFKR58::NegaClick);
    col->addWidget(Nega);
    col->addStretch(1);

    // ---- Column 4: motion detection, priority, gamma ----
    col = column_in(row);
    {
        mot_grp = b.group(p, "Motion detect", "mot_grp");
        QGridLayout* g = grid_in(mot_grp);
        mot_sel = b.radio(mot_grp, "mot_sel", "", {"OFF", "ON"}, 2, &TFKR58::mot_selClick);
        g->addWidget(mot_sel, 0, 0, 1, 2);
        mot_panel = areas::build_grid(mot_grp, QStringLiteral("mot_panel"), QStringLiteral("MOTCheck"),
                                      QStringLiteral("Motion area"), MOTCheck, [this] { MOTCheck01Click(); });
        g->addWidget(mot_panel, 1, 0, 1, 2, Qt::AlignHCenter);
        mot_lvl = b.slider(mot_grp, "mot_lvl", 0, 8, &TFKR58::mot_lvlChange);
        b.labelled_row(g, 2, "Level  ", mot_lvl);
        mot_time = b.radio(mot_grp, "mot_time", "Time", {" 1sec", " 2sec", " 3sec", " 5sec", "10sec", "30sec", "60sec"},
                           2, &TFKR58::mot_timeClick);
        g->addWidget(mot_time, 3, 0, 1, 2);
        mot_osd = b.radio(mot_grp, "mot_osd", "OSD", {"OFF", "ON"}, 2, &TFKR58::mot_osdClick);
        g->addWidget(mot_osd, 4, 0, 1, 2);
        col->addWidget(mot_grp);
    }
    Priority = b.radio(p, "Priority", "Priority", {"AGC-Sense", "Sense-AGC"}, 1, &TFKR58::PriorityClick);
    col->addWidget(Priority);
    GAMMA = b.radio(p, "GAMMA", "Gamma", {"Gamma.1", "Gamma.2"}, 1, &TFKR58::GAMMAClick);
    col->addWidget(GAMMA);
    col->addStretch(1);

    // ---- Column 5: title, communication, masks, language ----
    col = column_in(row);
    {
        QGroupBox* box = b.group(p, "Camera ID");
        QGridLayout* g = grid_in(box);
        Ctitle = b.radio(box, "Ctitle", "", {"OFF", "ON"}, 2, &TFKR58::CtitleClick);
        g->addWidget(Ctitle, 0, 0, 1, 2);
        ID_POSI = b.radio(box, "ID_POSI", "Position", {"Up-Left", "Up-Right", "Down-Left", "Down-Right"}, 1,
                          &TFKR58::ID_POSIClick);
        g->addWidget(ID_POSI, 1, 0, 1, 2);
        CName = new QLineEdit(box);
        CName->setObjectName(QStringLiteral("CName"));
        CName->setMaxLength(20);
        CName->setAccessibleName(QStringLiteral("Camera title"));
        g->addWidget(CName, 2, 0);
        SetTitle = b.button(box, "SetTitle", "Set", &TFKR58::SetTitleClick);
        SetTitle->setMaximumWidth(44);
        g->addWidget(SetTitle, 2, 1);
        col->addWidget(box);
    }
    {
        QGroupBox* box = b.group(p, "COMM.");
        QGridLayout* g = grid_in(box);
        COMM_MODE = b.radio(box, "COMM_MODE", "Mode", {"1:1", "1:N"}, 2, &TFKR58::COMM_MODEClick);
        g->addWidget(COMM_MODE, 0, 0, 1, 4);
        COMM_ID = new QLineEdit(box);
        COMM_ID->setObjectName(QStringLiteral("COMM_ID"));
        COMM_ID->setFixedWidth(40);
        COMM_ID_UPDN = new UpDown(COMM_ID, 1, 239, 239, true, box);
        COMM_ID_UPDN->setObjectName(QStringLiteral("COMM_ID_UPDN"));
        auto* id_label = new QLabel(QStringLiteral("ID "), box);
        id_label->setBuddy(COMM_ID);
        COMM_ID_SET_BTN = b.button(box, "COMM_ID_SET_BTN", "Set", &TFKR58::COMM_ID_SET_BTNClick);
        COMM_ID_SET_BTN->setMinimumWidth(36);
        COMM_ID_SET_BTN->setMaximumWidth(44);
        g->addWidget(id_label, 1, 0);
        g->addWidget(COMM_ID, 1, 1);
        g->addWidget(COMM_ID_UPDN, 1, 2);
        g->addWidget(COMM_ID_SET_BTN, 1, 3);
        col->addWidget(box);
    }
    {
        GroupBox6 = b.group(p, "Mask", "GroupBox6");
        QGridLayout* g = grid_in(GroupBox6);
        MaskA = b.check(GroupBox6, "MaskA", "Mask A", &TFKR58::MaskAClick);
        MaskB = b.check(GroupBox6, "MaskB", "Mask B", &TFKR58::MaskBClick);
        MaskC = b.check(GroupBox6, "MaskC", "Mask C", &TFKR58::MaskCClick);
        MaskD = b.check(GroupBox6, "MaskD", "Mask D", &TFKR58::MaskDClick);
        g->addWidget(MaskA, 0, 0);
        g->addWidget(MaskB, 0, 1);
        g->addWidget(MaskC, 1, 0);
        g->addWidget(MaskD, 1, 1);
        mask = b.combo(GroupBox6, "mask", {"Mask A", "Mask B", "Mask C", "Mask D"}, &TFKR58::maskChange);
        // Picking the mask already selected raises no change but opens its window again; after a
        // pick that changed the selection the second call only raises the open window once more.
        QObject::connect(mask, &QComboBox::activated, this, &TFKR58::maskChange);
        mask->setAccessibleName(QStringLiteral("Mask to edit"));
        g->addWidget(mask, 2, 0, 1, 2);
        col->addWidget(GroupBox6);
    }
    LANGUAGE = b.radio(p, "LANGUAGE", "Language", {"English", "Chinese", "Japanese"}, 1, &TFKR58::LANGUAGEClick);
    col->addWidget(LANGUAGE);
    col->addStretch(1);

    DCTimer = b.timer("DCTimer", 300, &TFKR58::DCTimerTimer);
    LensTimer = b.timer("LensTimer", 300, &TFKR58::LensTimerTimer);
    AGCTimer = b.timer("AGCTimer", 300, &TFKR58::AGCTimerTimer);
    ATWTimer = b.timer("ATWTimer", 200, &TFKR58::ATWTimerTimer);
    wb_manu_r_timer = b.timer("wb_manu_r_timer", 200, &TFKR58::wb_manu_r_timerTimer);
    wb_manu_b_timer = b.timer("wb_manu_b_timer", 200, &TFKR58::wb_manu_b_timerTimer);
    blc_lvl_timer = b.timer("blc_lvl_timer", 200, &TFKR58::blc_lvl_timerTimer);
    wdr_eff_Timer = b.timer("wdr_eff_Timer", 100, &TFKR58::wdr_eff_TimerTimer);
    mot_Timer = b.timer("mot_Timer", 500, &TFKR58::mot_TimerTimer);
    ZoomTimer = b.timer("ZoomTimer", 100, &TFKR58::ZoomTimerTimer);
    ENH_H_timer = b.timer("ENH_H_timer", 200, &TFKR58::ENH_H_timerTimer);
    ENH_V_timer = b.timer("ENH_V_timer", 200, &TFKR58::ENH_V_timerTimer);
    r_y_timer = b.timer("r_y_timer", 200, &TFKR58::r_y_timerTimer);
    b_y_timer = b.timer("b_y_timer", 200, &TFKR58::b_y_timerTimer);
    V_PHASE_timer = b.timer("V_PHASE_timer", 200, &TFKR58::V_PHASE_timerTimer);
    PRESET_timer = b.timer("PRESET_timer", 3000, &TFKR58::PRESET_timerTimer);
    mask_on_timer = b.timer("mask_on_timer", 100, &TFKR58::mask_on_timerTimer);
}
