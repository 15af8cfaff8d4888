// The CCD Defect page: the camera's table of seven defect entries, the camera-side search, and the
// working position on a picture of the sensor with which entries are moved by hand.

#include "link/hex_text.h"
#include "main_window/mkr58.h"
#include "pages/defect/defect_codec.h"
#include "pages/defect/defect_picture.h"
#include "widgets/radio_group.h"
#include "widgets/timers.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <climits>

namespace {

constexpr int kPictureWidth = 200;
constexpr int kPictureHeight = 150;
constexpr int kMarkerSize = 6;
constexpr QPoint kMarkerStart{12, 18};
constexpr int kAutoWriteMs = 100;
constexpr int kPositionEditWidth = 56;

using Handler = void (TFKR58::*)();

// Hands every key with a character to the page's shared key handler; the keys it acts on go no
// further, so that a button does not also react to them.
class StepKeyFilter : public QObject {
public:
    explicit StepKeyFilter(TFKR58& w) : QObject(&w), w_(w) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const QString text = static_cast<QKeyEvent*>(event)->text();
            if (text.size() == 1 && text[0].unicode() < 128) {
                const char key = static_cast<char>(text[0].unicode());
                if (defect::key_action(key) != defect::KeyAction::None) {
                    w_.kizu_upKeyPress(key);
                    return true;
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TFKR58& w_;
};

class DefectBuilder {
public:
    explicit DefectBuilder(TFKR58& w) : w_(w) {}

    QPushButton* button(QWidget* parent, const char* name, const char* caption, Handler click)
    {
        auto* b = new QPushButton(QString::fromUtf8(caption), parent);
        b->setObjectName(QString::fromLatin1(name));
        b->setAccessibleName(QString::fromUtf8(caption));
        if (click) QObject::connect(b, &QPushButton::clicked, &w_, click);
        return b;
    }

    QCheckBox* check(QWidget* parent, const char* name, const QString& caption, const QString& accessible)
    {
        auto* c = new QCheckBox(caption, parent);
        c->setObjectName(QString::fromLatin1(name));
        c->setAccessibleName(accessible);
        return c;
    }

    // A display-only edit of hexadecimal text.
    QLineEdit* shown_value(QWidget* parent, const char* name, const QString& accessible, int max_length = 4)
    {
        auto* e = new QLineEdit(parent);
        e->setObjectName(QString::fromLatin1(name));
        e->setAccessibleName(accessible);
        e->setMaxLength(max_length);
        e->setEnabled(false);
        e->setFixedWidth(kPositionEditWidth);
        return e;
    }

    RadioGroup* radio(QWidget* parent, const char* name, const char* caption, const QStringList& items, int columns)
    {
        auto* g = new RadioGroup(QString::fromUtf8(caption), {}, parent);
        g->setObjectName(QString::fromLatin1(name));
        g->setAccessibleName(QString::fromUtf8(caption));
        g->setColumns(columns);
        g->setItems(items);
        return g;
    }

private:
    TFKR58& w_;
};

QLabel* caption_label(QWidget* parent, const char* caption, QWidget* buddy = nullptr)
{
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    if (buddy) label->setBuddy(buddy);
    return label;
}

} // namespace

DefectRow DefectPageMembers::kizu_row(int entry) const
{
    switch (entry) {
    case 0: return {Defect_A, a_fix, a_rev, a_x, a_y};
    case 1: return {Defect_B, b_fix, b_rev, b_x, b_y};
    case 2: return {Defect_C, c_fix, c_rev, c_x, c_y};
    case 3: return {Defect_D, d_fix, d_rev, d_x, d_y};
    case 4: return {Defect_E, e_fix, e_rev, e_x, e_y};
    case 5: return {Defect_F, f_fix, f_rev, f_x, f_y};
    case 6: return {Defect_G, g_fix, g_rev, g_x, g_y};
    default: return {};
    }
}

void TFKR58::build_defect_page()
{
    DefectBuilder b(*this);
    auto* page = new QHBoxLayout(TabSheet5);
    page->setContentsMargins(6, 6, 6, 6);
    page->setSpacing(8);

    // ---- Left: selection, search, and the controls that are never shown ----
    auto* left = new QVBoxLayout;
    page->addLayout(left);
    Kizu_abc = b.radio(TabSheet5, "Kizu_abc", "KIZU Select", {"A", "B", "C", "D", "E", "F", "G"}, 2);
    Kizu_abc->setItemIndex(0);
    connect(Kizu_abc, &RadioGroup::indexChanged, this, &TFKR58::kizu_selClick);
    left->addWidget(Kizu_abc);
    kizu_start = b.button(TabSheet5, "kizu_start", "Start", &TFKR58::kizu_startClick);
    kizu_next = b.button(TabSheet5, "kizu_next", "Next", &TFKR58::kizu_nextClick);
    kizu_retry = b.button(TabSheet5, "kizu_retry", "Retry", &TFKR58::kizu_retryClick);
    for (QPushButton* button : {kizu_start, kizu_next, kizu_retry}) left->addWidget(button);

    kizu_rtn = b.radio(TabSheet5, "kizu_rtn", "Return code", {"Success", "Not found"}, 1);
    kizu_rtn_x = b.shown_value(TabSheet5, "kizu_rtn_x", QStringLiteral("Found X"));
    kizu_rtn_y = b.shown_value(TabSheet5, "kizu_rtn_y", QStringLiteral("Found Y"));
    kizu_rtn_fix = b.check(TabSheet5, "kizu_rtn_fix", QStringLiteral("FIX"), QStringLiteral("Found FIX"));
    kizu_rtn_rev = b.check(TabSheet5, "kizu_rtn_rev", QStringLiteral("REV"), QStringLiteral("Found REV"));
    for (QWidget* result : std::initializer_list<QWidget*>{kizu_rtn, kizu_rtn_x, kizu_rtn_y, kizu_rtn_fix, kizu_rtn_rev}) {
        result->setEnabled(false);
        result->hide();
        left->addWidget(result);
    }

    Panel10 = new QFrame(TabSheet5);
    Panel10->setObjectName(QStringLiteral("Panel10"));
    {
        auto* grid = new QGridLayout(Panel10);
        Even = new QLabel(QStringLiteral("1"), Panel10);
        Even->setObjectName(QStringLiteral("Even"));
        Odd = new QLabel(QStringLiteral("2"), Panel10);
        Odd->setObjectName(QStringLiteral("Odd"));
        grid->addWidget(Even, 0, 1);
        grid->addWidget(Odd, 0, 2);
        QLineEdit** cells[3][2] = {{&kin_x1, &kin_x2}, {&kin_y1, &kin_y2}, {&kin_p1, &kin_p2}};
        const char* rows[] = {"X", "Y", "Pk"};
        const char* names[3][2] = {{"kin_x1", "kin_x2"}, {"kin_y1", "kin_y2"}, {"kin_p1", "kin_p2"}};
        for (int r = 0; r < 3; ++r) {
            grid->addWidget(caption_label(Panel10, rows[r]), r + 1, 0);
            for (int c = 0; c < 2; ++c) {
                *cells[r][c] = b.shown_value(Panel10, names[r][c], QStringLiteral("%1 %2").arg(QLatin1String(rows[r])).arg(c + 1));
                grid->addWidget(*cells[r][c], r + 1, c + 1);
            }
        }
    }
    Panel10->hide();
    left->addWidget(Panel10);

    Kizu_save = b.button(TabSheet5, "Kizu_save", "Save", &TFKR58::Kizu_saveClick);
    KizuRead = b.button(TabSheet5, "KizuRead", "Auto", &TFKR58::KizuReadClick);
    kizu_lns_sel = b.radio(TabSheet5, "kizu_lns_sel", "Lens", {"Open", "Close"}, 1);
    connect(kizu_lns_sel, &RadioGroup::indexChanged, this, &TFKR58::kizu_lns_selClick);
    for (QWidget* hidden : std::initializer_list<QWidget*>{Kizu_save, KizuRead, kizu_lns_sel}) {
        hidden->hide();
        left->addWidget(hidden);
    }
    left->addStretch(1);

    // ---- Right: "Manual", the table and the working position ----
    fine_adj = new QGroupBox(QStringLiteral("Manual"), TabSheet5);
    fine_adj->setObjectName(QStringLiteral("fine_adj"));
    page->addWidget(fine_adj, 1);
    auto* manual = new QGridLayout(fine_adj);
    manual->setHorizontalSpacing(16);

    auto* table = new QGridLayout;
    table->setVerticalSpacing(2);
    table->setHorizontalSpacing(12);
    manual->addLayout(table, 0, 0, Qt::AlignTop);
    const char* headers[] = {"Defect", "FIX ", "REV ", "X ", "Y "};
    for (int c = 0; c < 5; ++c) table->addWidget(caption_label(fine_adj, headers[c]), 0, c);
    QCheckBox** enabled[] = {&Defect_A, &Defect_B, &Defect_C, &Defect_D, &Defect_E, &Defect_F, &Defect_G};
    QCheckBox** fix[] = {&a_fix, &b_fix, &c_fix, &d_fix, &e_fix, &f_fix, &g_fix};
    QCheckBox** rev[] = {&a_rev, &b_rev, &c_rev, &d_rev, &e_rev, &f_rev, &g_rev};
    QLineEdit** xs[] = {&a_x, &b_x, &c_x, &d_x, &e_x, &f_x, &g_x};
    QLineEdit** ys[] = {&a_y, &b_y, &c_y, &d_y, &e_y, &f_y, &g_y};
    for (int e = 0; e < defect::kEntries; ++e) {
        const QString letter(QChar('A' + e));
        const QByteArray lower = letter.toLower().toLatin1();
        *enabled[e] = b.check(fine_adj, QByteArray("Defect_" + letter.toLatin1()).constData(), letter,
                              QStringLiteral("Defect %1").arg(letter));
        *fix[e] = b.check(fine_adj, QByteArray(lower + "_fix").constData(), QString(), QStringLiteral("%1 FIX").arg(letter));
        *rev[e] = b.check(fine_adj, QByteArray(lower + "_rev").constData(), QString(), QStringLiteral("%1 REV").arg(letter));
        *xs[e] = b.shown_value(fine_adj, QByteArray(lower + "_x").constData(), QStringLiteral("%1 X").arg(letter));
        *ys[e] = b.shown_value(fine_adj, QByteArray(lower + "_y").constData(), QStringLiteral("%1 Y").arg(letter));
        const std::pair<QCheckBox*, std::uint8_t> boxes[] = {
            {*enabled[e], defect::kItemEnabled}, {*fix[e], defect::kItemFix}, {*rev[e], defect::kItemRev}};
        for (int c = 0; c < 3; ++c) {
            const auto [box, item] = boxes[c];
            connect(box, &QCheckBox::toggled, this, [this, item, e] { kizu_flagClick(item, e); });
            table->addWidget(box, e + 1, c);
        }
        table->addWidget(*xs[e], e + 1, 3);
        table->addWidget(*ys[e], e + 1, 4);
    }

    auto* side = new QVBoxLayout;
    manual->addLayout(side, 0, 1, Qt::AlignTop);
    kizu_load = b.button(fine_adj, "kizu_load", "Load", &TFKR58::kizu_loadClick);
    kizu_load->setFixedWidth(100);
    side->addWidget(kizu_load);
    kizu_sel = b.check(fine_adj, "kizu_sel", QStringLiteral("Cursor Display"), QStringLiteral("Cursor Display"));
    connect(kizu_sel, &QCheckBox::toggled, this, &TFKR58::kizu_selClick);
    side->addWidget(kizu_sel);
    KFFX = b.check(fine_adj, "KFFX", QStringLiteral("FIX"), QStringLiteral("Selected FIX"));
    connect(KFFX, &QCheckBox::toggled, this, &TFKR58::KFFXClick);
    KFRV = b.check(fine_adj, "KFRV", QStringLiteral("REV"), QStringLiteral("Selected REV"));
    connect(KFRV, &QCheckBox::toggled, this, &TFKR58::KFRVClick);
    KFFX->hide();
    KFRV->hide();
    side->addWidget(KFFX);
    side->addWidget(KFRV);

    // The sensor picture; its marker stands at (12, 18) until the first reply places it.
    Panel9 = new QFrame(fine_adj);
    Panel9->setObjectName(QStringLiteral("Panel9"));
    Panel9->setFrameStyle(QFrame::Box | QFrame::Plain);
    Panel9->setLineWidth(1);
    Panel9->setFixedSize(kPictureWidth + 2, kPictureHeight + 2);
    Shape1 = new SensorPicture(Panel9);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setAccessibleName(QStringLiteral("Sensor picture"));
    Shape1->setGeometry(1, 1, kPictureWidth, kPictureHeight);
    Shape1->on_mouse_up = [this](QPoint p) { Shape1MouseUp(p.x(), p.y()); };
    Shape2 = new MarkerShape(Shape1);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setAccessibleName(QStringLiteral("Working position marker"));
    Shape2->setGeometry(kMarkerStart.x(), kMarkerStart.y(), kMarkerSize, kMarkerSize);
    manual->addWidget(Panel9, 1, 0, Qt::AlignLeft | Qt::AlignTop);

    auto* moves = new QGridLayout;
    manual->addLayout(moves, 1, 1, Qt::AlignTop);
    kizu_ax = b.shown_value(fine_adj, "kizu_ax", QStringLiteral("Working position X"));
    kizu_ay = b.shown_value(fine_adj, "kizu_ay", QStringLiteral("Working position Y"));
    moves->addWidget(caption_label(fine_adj, "X", kizu_ax), 0, 0);
    moves->addWidget(kizu_ax, 0, 1, 1, 2);
    moves->addWidget(caption_label(fine_adj, "Y", kizu_ay), 1, 0);
    moves->addWidget(kizu_ay, 1, 1, 1, 2);
    kizu_up = b.button(fine_adj, "kizu_up", "Up", &TFKR58::kizu_upClick);
    kizu_down = b.button(fine_adj, "kizu_down", "Down", &TFKR58::kizu_downClick);
    kizu_left = b.button(fine_adj, "kizu_left", "Left", &TFKR58::kizu_leftClick);
    kizu_right = b.button(fine_adj, "kizu_right", "Right", &TFKR58::kizu_rightClick);
    moves->addWidget(kizu_up, 2, 1);
    moves->addWidget(kizu_left, 3, 0);
    moves->addWidget(kizu_right, 3, 2);
    moves->addWidget(kizu_down, 4, 1);
    SpinEdit1 = new QSpinBox(fine_adj);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setAccessibleName(QStringLiteral("Step"));
    SpinEdit1->setRange(INT_MIN, INT_MAX); // no bounds
    SpinEdit1->setValue(1);
    moves->addWidget(caption_label(fine_adj, "Step", SpinEdit1), 5, 0);
    moves->addWidget(SpinEdit1, 5, 1, 1, 2);
    for (QPushButton* arrow : {kizu_up, kizu_down, kizu_left, kizu_right}) arrow->setFixedWidth(64);
    SpinEdit1->setFixedWidth(110);
    manual->setColumnStretch(2, 1);
    manual->setRowStretch(2, 1);

    auto* keys = new StepKeyFilter(*this);
    for (QWidget* w : std::initializer_list<QWidget*>{kizu_up, kizu_down, kizu_left, kizu_right, kizu_sel})
        w->installEventFilter(keys);

    kizu_auto_timer = named_timer(this, "kizu_auto_timer", kAutoWriteMs, &TFKR58::kizu_auto_timerTimer);
    kizu_auto_timer->setSingleShot(true);
}

void TFKR58::kizu_marker_set()
{
    // The marker follows the working position after every reply, whatever page is active.
    const int x = hex_text_value(kizu_ax->text());
    const int y = hex_text_value(kizu_ay->text());
    Shape2->move(defect::marker_offset(x, Shape1->width(), ccd_x_max),
                 defect::marker_offset(y, Shape1->height(), ccd_y_max));
}
