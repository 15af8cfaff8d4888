// The Debug page: the layout of its groups. The handlers are in debug_controls.cpp, the reply
// decoding in debug_decode.cpp; the menu keys and service commands come from service_commands.cpp.

#include "main_window/mkr58.h"
#include "widgets/labelled_row.h"
#include "widgets/radio_group.h"
#include "widgets/readout.h"
#include "widgets/spin_button.h"
#include "widgets/timers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

using Handler = void (TFKR58::*)();

// Builds the page's controls with their names, texts and handlers. Initial texts are set before
// the handler is connected, so building sends nothing.
class DebugBuilder {
public:
    explicit DebugBuilder(TFKR58& w) : w_(w) {}

    QGroupBox* group(QWidget* parent, const char* name, const char* caption)
    {
        auto* box = new QGroupBox(QString::fromUtf8(caption), parent);
        box->setObjectName(QString::fromLatin1(name));
        return box;
    }

    QLineEdit* edit(QWidget* parent, const char* name, const char* text, int max_length, const char* accessible,
                    Handler change)
    {
        auto* e = new QLineEdit(QString::fromUtf8(text), parent);
        e->setObjectName(QString::fromLatin1(name));
        e->setMaxLength(max_length);
        e->setAccessibleName(QString::fromUtf8(accessible));
        // Room for the longest text plus a margin; the field is never wider than it needs.
        e->setFixedWidth(e->fontMetrics().horizontalAdvance(QString(std::max(max_length, 4), QLatin1Char('D'))) + 14);
        if (change) QObject::connect(e, &QLineEdit::textChanged, &w_, change);
        return e;
    }

    QPushButton* button(QWidget* parent, const char* name, const char* caption, const char* accessible, Handler click)
    {
        auto* b = new QPushButton(QString::fromUtf8(caption), parent);
        b->setObjectName(QString::fromLatin1(name));
        b->setAccessibleName(QString::fromUtf8(accessible));
        if (click) QObject::connect(b, &QPushButton::clicked, &w_, click);
        return b;
    }

    QCheckBox* check(QWidget* parent, const char* name, const char* caption, const char* accessible)
    {
        auto* c = new QCheckBox(QString::fromUtf8(caption), parent);
        c->setObjectName(QString::fromLatin1(name));
        c->setAccessibleName(QString::fromUtf8(accessible));
        return c;
    }

    SpinButton* spin(QWidget* parent, const char* name, const char* accessible, Handler up, Handler down)
    {
        auto* s = new SpinButton(parent);
        s->setObjectName(QString::fromLatin1(name));
        s->setAccessibleName(QString::fromUtf8(accessible));
        s->upButton()->setAccessibleName(QString::fromUtf8(accessible) + QStringLiteral(" up"));
        s->downButton()->setAccessibleName(QString::fromUtf8(accessible) + QStringLiteral(" down"));
        QObject::connect(s, &SpinButton::upClick, &w_, up);
        QObject::connect(s, &SpinButton::downClick, &w_, down);
        return s;
    }

    // A read-out label showing "xxxx" (or "xx") until the camera answers.
    QLabel* readout(QWidget* parent, const char* name, const char* text, const char* accessible)
    {
        auto* l = new QLabel(QString::fromLatin1(text), parent);
        l->setObjectName(QString::fromLatin1(name));
        make_readout(l, QString::fromUtf8(accessible));
        l->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        return l;
    }

    QPlainTextEdit* memo(QWidget* parent, const char* name, const char* accessible)
    {
        auto* m = new QPlainTextEdit(parent);
        m->setObjectName(QString::fromLatin1(name));
        m->setAccessibleName(QString::fromUtf8(accessible));
        m->setReadOnly(true);
        m->setLineWrapMode(QPlainTextEdit::NoWrap);
        m->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        return m;
    }

private:
    TFKR58& w_;
};

QGridLayout* grid_in(QGroupBox* box)
{
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(4, 2, 4, 4);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    return grid;
}

QLabel* caption_for(QWidget* control, const char* caption)
{
    auto* label = new QLabel(QString::fromUtf8(caption), control->parentWidget());
    label->setBuddy(control);
    return label;
}

// A row of captioned controls in one line of a grid, starting at column 0.
void add_row(QGridLayout* grid, int row, std::initializer_list<QWidget*> widgets)
{
    auto* line = new QHBoxLayout;
    line->setSpacing(4);
    for (QWidget* w : widgets) line->addWidget(w);
    line->addStretch(1);
    grid->addLayout(line, row, 0, 1, -1);
}

// One read-out of a grid: the label it fills, its name and first text, its caption and place.
struct ReadoutCell {
    QLabel** label;
    const char* name;
    const char* text;
    const char* caption;
    int row;
    int column;
};

// Builds the read-outs into a grid, each after its caption; an assistive tool reads each as the
// prefix and the caption, with its value.
void place_readouts(DebugBuilder& b, QWidget* parent, QGridLayout* grid, const char* accessible_prefix,
                    std::initializer_list<ReadoutCell> cells)
{
    grid->setHorizontalSpacing(2);
    for (const ReadoutCell& c : cells) {
        const QString accessible = QString::fromLatin1(accessible_prefix) + QString::fromLatin1(c.caption).trimmed();
        *c.label = b.readout(parent, c.name, c.text, accessible.toUtf8().constData());
        grid->addWidget(caption_for(*c.label, c.caption), c.row, c.column);
        grid->addWidget(*c.label, c.row, c.column + 1);
    }
}

} // namespace

void TFKR58::build_debug_page()
{
    auto* outer = new QVBoxLayout(TabSheet2);
    outer->setContentsMargins(0, 0, 0, 0);
    debug_scroll = new QScrollArea(TabSheet2);
    debug_scroll->setObjectName(QStringLiteral("debug_scroll"));
    debug_scroll->setFrameShape(QFrame::NoFrame);
    debug_scroll->setWidgetResizable(true);
    outer->addWidget(debug_scroll);
    panel_dbg = new QWidget;
    panel_dbg->setObjectName(QStringLiteral("panel_dbg"));
    debug_scroll->setWidget(panel_dbg);

    DebugBuilder b(*this);
    QWidget* p = panel_dbg;
    auto* columns = new QHBoxLayout(p);
    columns->setContentsMargins(3, 3, 3, 3);
    columns->setSpacing(4);
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    // ---- Column 1: DSP, EEPROM, OSD, raw command and the read-outs ----
    auto* col = new QVBoxLayout;
    col->setSpacing(2);
    columns->addLayout(col);
    {
        GroupBox3 = b.group(p, "GroupBox3", " DSP");
        QGridLayout* g = grid_in(GroupBox3);
        DspAdr = new QComboBox(GroupBox3);
        DspAdr->setObjectName(QStringLiteral("DspAdr"));
        DspAdr->setAccessibleName(QStringLiteral("DSP register"));
        DspAdr->addItems(debug::dsp_register_names());
        DspAdr->setMaxVisibleItems(16);
        // Styles that open a drop-down list as a menu ignore the visible count; a scrolling list
        // keeps it.
        DspAdr->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
        DspAdr->setCurrentIndex(-1);
        DspAdr->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        DspAdr->setMinimumContentsLength(14);
        connect(DspAdr, &QComboBox::currentIndexChanged, this, &TFKR58::DspAdrChange);
        g->addWidget(DspAdr, 0, 0, 1, -1);
        DspData = b.edit(GroupBox3, "DspData", "Data", 4, "DSP register value", &TFKR58::DspDataChange);
        DspDatSpin = b.spin(GroupBox3, "DspDatSpin", "DSP value step", &TFKR58::DspDatSpinUpClick,
                            &TFKR58::DspDatSpinDownClick);
        DspRadix = b.edit(GroupBox3, "DspRadix", "FFFF", 4, "DSP mask", &TFKR58::DspRadixChange);
        add_row(g, 1, {DspData, DspDatSpin, caption_for(DspRadix, "Mask"), DspRadix});
        NoWrite = b.check(GroupBox3, "NoWrite", "NoWrite(EEP)", "Write without EEPROM");
        g->addWidget(NoWrite, 2, 0, 1, -1);
        col->addWidget(GroupBox3);
    }
    {
        GroupBox4 = b.group(p, "GroupBox4", "EEPROM");
        QGridLayout* g = grid_in(GroupBox4);
        eepadr = b.edit(GroupBox4, "eepadr", "0000", 4, "EEPROM address", &TFKR58::eepadrChange);
        CSpinButton6 = b.spin(GroupBox4, "CSpinButton6", "EEPROM address step", &TFKR58::CSpinButton6UpClick,
                              &TFKR58::CSpinButton6DownClick);
        add_row(g, 0, {caption_for(eepadr, "Address"), eepadr, CSpinButton6});
        Eepdata = b.edit(GroupBox4, "Eepdata", "Data", 4, "EEPROM value", &TFKR58::EepdataChange);
        CSpinButton7 = b.spin(GroupBox4, "CSpinButton7", "EEPROM value step", &TFKR58::CSpinButton7UpClick,
                              &TFKR58::CSpinButton7DownClick);
        eepRadix = b.edit(GroupBox4, "eepRadix", "FFFF", 4, "EEPROM mask", &TFKR58::eepRadixChange);
        add_row(g, 1, {caption_for(Eepdata, "Data"), Eepdata, CSpinButton7, caption_for(eepRadix, "Mask"), eepRadix});
        EEP_RAM = b.check(GroupBox4, "EEP_RAM", "&& RAM", "EEPROM and RAM");
        Button2 = b.button(GroupBox4, "Button2", "Erase all", "Erase all", &TFKR58::Button2Click);
        // A character typed on "Erase all" presses the menu key it maps to, as on the key buttons.
        forward_menu_keys(Button2);
        add_row(g, 2, {EEP_RAM, Button2});
        col->addWidget(GroupBox4);
    }
    {
        auto* box = b.group(p, "GroupBoxOSD", "OSD");
        QGridLayout* g = grid_in(box);
        OSD = new RadioGroup(QString(), {"8bit", "16bit"}, box);
        OSD->setObjectName(QStringLiteral("OSD"));
        OSD->setAccessibleName(QStringLiteral("OSD test value width"));
        OSD->setFlat(true);
        OSD->setColumns(2);
        OSD->setItemIndex(0);
        osdt = b.edit(box, "osdt", "osdt", 4, "OSD test value", &TFKR58::osdtChange);
        add_row(g, 0, {OSD, osdt});
        col->addWidget(box);
    }
    {
        GroupBox7 = b.group(p, "GroupBox7", "Command");
        QGridLayout* g = grid_in(GroupBox7);
        Label5 = new QLabel(QStringLiteral("+0  +1  +2  +3  +4  +5  +6  +7  +8  "), GroupBox7);
        Label5->setObjectName(QStringLiteral("Label5"));
        Label5->setFont(fixed);
        g->addWidget(Label5, 0, 0, 1, -1);
        SendBuffer = new QLineEdit(QStringLiteral("SendBuffer"), GroupBox7);
        SendBuffer->setObjectName(QStringLiteral("SendBuffer"));
        SendBuffer->setAccessibleName(QStringLiteral("Raw command bytes"));
        SendBuffer->setFont(fixed);
        Label5->setBuddy(SendBuffer);
        g->addWidget(SendBuffer, 1, 0);
        RamSend = b.button(GroupBox7, "RamSend", "Send", "Send raw command", &TFKR58::RamSendClick);
        g->addWidget(RamSend, 1, 1);
        col->addWidget(GroupBox7);
    }
    auto* readouts = new QHBoxLayout;
    readouts->setSpacing(2);
    col->addLayout(readouts);
    {
        GroupBox11 = b.group(p, "GroupBox11", "WDR DATA");
        place_readouts(b, GroupBox11, grid_in(GroupBox11), "WDR data ",
                       {{&disp_89, "disp_89", "xxxx", "89h ", 0, 0},   {&disp_8f, "disp_8f", "xxxx", "8Fh ", 0, 2},
                        {&disp_81, "disp_81", "xxxx", "81h ", 1, 0},   {&disp_0d, "disp_0d", "xxxx", "0Dh ", 1, 2},
                        {&disp_81_gbn, "disp_81_gbn", "xx", "GBN", 2, 0}, {&disp_0d_gby, "disp_0d_gby", "xx", "GBY", 2, 2},
                        {&disp_81_gkn, "disp_81_gkn", "xx", "GKN", 3, 0}, {&disp_0d_gky, "disp_0d_gky", "xx", "GKY", 3, 2},
                        {&disp_81_gsn, "disp_81_gsn", "xx", "GSN", 4, 0}, {&disp_0d_gsy, "disp_0d_gsy", "xx", "GSY", 4, 2},
                        {&disp_67, "disp_67", "xxxx", "67h ", 5, 0},   {&disp_66, "disp_66", "xxxx", "66h ", 5, 2}});
        readouts->addWidget(GroupBox11, 0, Qt::AlignTop);
    }
    auto* shutter_and_wb = new QVBoxLayout;
    readouts->addLayout(shutter_and_wb);
    {
        GroupBox5 = b.group(p, "GroupBox5", "Shutter DATA");
        QGridLayout* g = grid_in(GroupBox5);
        place_readouts(b, GroupBox5, g, "Shutter data ",
                       {{&disp_43, "disp_43", "xxxx", "43h ", 0, 0}, {&disp_44, "disp_44", "xxxx", "44h ", 0, 2},
                        {&disp_45, "disp_45", "xxxx", "45h ", 1, 0}, {&disp_46, "disp_46", "xxxx", "46h ", 1, 2}});
        sht_rd_btn = b.button(GroupBox5, "sht_rd_btn", "Read", "Read shutter data", &TFKR58::sht_rd_btnClick);
        g->addWidget(sht_rd_btn, 2, 0, 1, -1);
        shutter_and_wb->addWidget(GroupBox5);
    }
    {
        auto* wb = new QGridLayout;
        place_readouts(b, p, wb, "White balance input ",
                       {{&rg_input, "rg_input", "xxxx", "RG ", 0, 0}, {&bg_input, "bg_input", "xxxx", "BG ", 0, 2}});
        wb->setColumnStretch(4, 1);
        shutter_and_wb->addLayout(wb);
        shutter_and_wb->addStretch(1);
    }
    readouts->addStretch(1);
    col->addStretch(1);

    // ---- Column 2: RAM, menu keys and service commands ----
    col = new QVBoxLayout;
    col->setSpacing(2);
    columns->addLayout(col);
    {
        GroupBox9 = b.group(p, "GroupBox9", " RAM ");
        QGridLayout* g = grid_in(GroupBox9);
        ramAdr = b.edit(GroupBox9, "ramAdr", "E800", 4, "RAM dump address", &TFKR58::ramAdrChange);
        RamCount = b.edit(GroupBox9, "RamCount", "10", 2, "RAM dump size", &TFKR58::RamCountChange);
        RamRepeat = b.check(GroupBox9, "RamRepeat", "Repeat", "Repeat");
        add_row(g, 0, {caption_for(ramAdr, "Address  "), ramAdr, caption_for(RamCount, "Size"), RamCount, RamRepeat});

        // The header, the address column and the dump share one fixed-pitch font so that the
        // columns line up.
        Label30 = new QLabel(QStringLiteral("+0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F"), GroupBox9);
        Label30->setObjectName(QStringLiteral("Label30"));
        Label30->setFont(fixed);
        RdAdr = b.memo(GroupBox9, "RdAdr", "RAM dump addresses");
        RdAdr->setFrameShape(QFrame::NoFrame);
        RdAdr->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        RdAdr->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        RdAdr->setFocusPolicy(Qt::NoFocus);
        const QFontMetrics metrics(fixed);
        RdAdr->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("EEEE")) + 10);
        Memo1 = b.memo(GroupBox9, "Memo1", "RAM dump");
        Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        // A long AGC log keeps its latest lines only.
        Memo1->setMaximumBlockCount(10000);
        Memo1->setMinimumWidth(metrics.horizontalAdvance(QString(48, QLatin1Char('0'))) + 24);
        Memo1->setFixedHeight(metrics.lineSpacing() * 11);
        // The address column follows the dump when it scrolls.
        connect(Memo1->verticalScrollBar(), &QScrollBar::valueChanged, RdAdr->verticalScrollBar(),
                &QScrollBar::setValue);
        auto* header = new QHBoxLayout;
        header->addSpacing(RdAdr->width() + 4 + static_cast<int>(Memo1->document()->documentMargin()) +
                           Memo1->frameWidth());
        header->addWidget(Label30);
        header->addStretch(1);
        g->addLayout(header, 1, 0, 1, -1);
        // The address column lines up with the dump's text inside its frame.
        RdAdr->setFixedHeight(Memo1->height());
        RdAdr->setContentsMargins(0, Memo1->frameWidth(), 0, Memo1->frameWidth());
        g->addWidget(RdAdr, 2, 0, Qt::AlignTop);
        g->addWidget(Memo1, 2, 1);
        g->setColumnStretch(1, 1);

        ramAdrwr = b.edit(GroupBox9, "ramAdrwr", "E800", 4, "RAM write address", nullptr);
        ram_send_buff = b.edit(GroupBox9, "ram_send_buff", "00", 2, "RAM write data", nullptr);
        btn_ram_w = b.button(GroupBox9, "btn_ram_w", "Write", "Write RAM byte", &TFKR58::btn_ram_wClick);
        add_row(g, 3, {caption_for(ramAdrwr, "Address"), ramAdrwr, caption_for(ram_send_buff, "Data "),
                       ram_send_buff, btn_ram_w});
        samp = b.button(GroupBox9, "samp", "Area samp", "Area samp", &TFKR58::sampClick);
        WD_RP_TIME = b.edit(GroupBox9, "WD_RP_TIME", "1", 3, "AGC log pause", nullptr);
        wd_agc = b.button(GroupBox9, "wd_agc", "WD AGC", "WD AGC", &TFKR58::wd_agcClick);
        add_row(g, 4, {samp, wd_agc, caption_for(WD_RP_TIME, "Time"), WD_RP_TIME});
        col->addWidget(GroupBox9);
    }
    WD_Timer = named_timer(this, "WD_Timer", 1, &TFKR58::WD_TimerTimer);

    // The menu keys and service commands (service_commands.cpp).
    col->addWidget(build_service_commands(p));
    col->addStretch(1);
}
