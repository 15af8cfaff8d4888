// The Debug page's menu keys and service commands: the camera's menu keys pressed remotely, the
// presets, the WDR test, the back light without the Setup page's WDR rule, and the service reads.
// Replies to the reads are decoded by the Debug page.

#include "link/hex_text.h"
#include "main_window/mkr58.h"
#include "pages/debug/service_keys.h"
#include "pages/setup/setup_support.h"
#include "widgets/radio_group.h"
#include "widgets/readout.h"
#include "widgets/spin_button.h"
#include "widgets/timers.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>
#include <utility>

using service::MenuKey;
using setup::kRead;
using setup::kWrite;
using setup::low_byte;
using setup::send_setting;

namespace {

using Handler = void (TFKR58::*)();

constexpr std::uint8_t kPreset = 0x30;
constexpr std::uint8_t kPresetSave = 0x01;
constexpr std::uint8_t kBackLight = 0x13;
constexpr std::uint8_t kWdrTest = 0x3A;
constexpr std::uint8_t kWdrTestMode = 0x00;
constexpr std::uint8_t kWdrShutterNo = 0x02;
constexpr std::uint8_t kWdrDataRead = 0x48;
constexpr std::uint8_t kWbInputRead = 0x4C;
constexpr int kWdrTestTimerMs = 200;
constexpr int kWdrShutterMax = 63;

// Hands every character typed on the watched control to `on_key`, with the control as sender.
// A character that presses a menu key goes no further; anything else reaches the control as usual
// (space still clicks a button).
class TypedKeyFilter : public QObject {
public:
    TypedKeyFilter(QObject* parent, std::function<void(QObject*, char)> on_key)
        : QObject(parent), on_key_(std::move(on_key))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (text.size() != 1 || text[0].unicode() > 0x7F) return false;
        const char typed = static_cast<char>(text[0].unicode());
        on_key_(watched, typed);
        return service::menu_key_for_char(typed).has_value();
    }

private:
    std::function<void(QObject*, char)> on_key_;
};

QPushButton* make_button(TFKR58& w, QWidget* parent, const char* name, const char* caption,
                         const char* accessible, Handler click)
{
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(QString::fromLatin1(accessible));
    b->setAutoDefault(false);
    QObject::connect(b, &QPushButton::clicked, &w, click);
    return b;
}

} // namespace

// ---- Layout ----

QWidget* TFKR58::build_service_commands(QWidget* parent)
{
    auto* area = new QWidget(parent);
    area->setObjectName(QStringLiteral("service_commands"));
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);

    // The menu keys on a keypad layout: 8 up, 4 left, 5 enter, 6 right, 2 down, 9 "48 AREA Return".
    auto* keys = new QGroupBox(area);
    keys->setAccessibleName(QStringLiteral("Menu keys"));
    auto* key_grid = new QGridLayout(keys);
    key_grid->setContentsMargins(3, 3, 3, 3);
    key_grid->setSpacing(2);
    push_up = make_button(*this, keys, "push_up", "UP", "Menu key UP", &TFKR58::push_upClick);
    push_dn = make_button(*this, keys, "push_dn", "DOWN", "Menu key DOWN", &TFKR58::push_dnClick);
    push_ent = make_button(*this, keys, "push_ent", "ENTER", "Menu key ENTER", &TFKR58::push_entClick);
    push_pre = make_button(*this, keys, "push_pre", "PRE", "Menu key PRE", &TFKR58::push_preClick);
    push_left = make_button(*this, keys, "push_left", "LEFT", "Menu key LEFT", &TFKR58::push_leftClick);
    push_right = make_button(*this, keys, "push_right", "RIGHT", "Menu key RIGHT", &TFKR58::push_rightClick);
    push_long_ent = make_button(*this, keys, "push_long_ent", "48 AREA Return", "Menu key 48 AREA Return",
                                &TFKR58::push_long_entClick);
    push_comm = make_button(*this, keys, "push_comm", "COMM.", "Menu key COMM.", &TFKR58::push_commClick);
    push_pre->hide();
    key_grid->addWidget(push_up, 0, 1);
    key_grid->addWidget(push_long_ent, 0, 2);
    key_grid->addWidget(push_left, 1, 0);
    key_grid->addWidget(push_ent, 1, 1);
    key_grid->addWidget(push_right, 1, 2);
    key_grid->addWidget(push_comm, 2, 0);
    key_grid->addWidget(push_dn, 2, 1);
    key_grid->addWidget(push_pre, 2, 2);
    for (QPushButton* b : {push_up, push_dn, push_ent, push_left, push_right, push_long_ent}) forward_menu_keys(b);
    push_comm->installEventFilter(
        new TypedKeyFilter(push_comm, [this](QObject* sender, char key) { push_commKeyPress(sender, key); }));
    column->addWidget(keys);

    // Presets and the white-balance input read.
    auto* service_row = new QHBoxLayout;
    service_row->setSpacing(2);
    PresetSave = make_button(*this, area, "PresetSave", "PresetSave", "PresetSave", &TFKR58::PresetSaveClick);
    WB_READ = make_button(*this, area, "WB_READ", "WB Input", "WB Input", &TFKR58::WB_READClick);
    WB_INPUT_SEL = new RadioGroup(QStringLiteral("sel"), {"ram", "input"}, area);
    WB_INPUT_SEL->setObjectName(QStringLiteral("WB_INPUT_SEL"));
    WB_INPUT_SEL->setAccessibleName(QStringLiteral("WB input source"));
    WB_INPUT_SEL->setColumns(2);
    // "WB Input" sends this item as its third byte, so one is always chosen.
    WB_INPUT_SEL->setItemIndex(0);
    service_row->addWidget(PresetSave);
    service_row->addWidget(WB_READ);
    service_row->addWidget(WB_INPUT_SEL);
    column->addLayout(service_row);

    auto* wdr_test = new QGroupBox(QStringLiteral("WDR Test"), area);
    wdr_test->setObjectName(QStringLiteral("wdr_test_grp"));
    auto* grid = new QGridLayout(wdr_test);
    grid->setContentsMargins(3, 0, 3, 2);
    grid->setSpacing(2);
    wdr_test_sel = new RadioGroup(QString(), {"Auto", "Fix"}, wdr_test);
    wdr_test_sel->setObjectName(QStringLiteral("wdr_test_sel"));
    wdr_test_sel->setAccessibleName(QStringLiteral("WDR test mode"));
    wdr_test_sel->setColumns(2);
    connect(wdr_test_sel, &RadioGroup::indexChanged, this, &TFKR58::wdr_test_selClick);
    dbg_blcs = new RadioGroup(QStringLiteral("BLC"), {"OFF", "ON", "WDR"}, wdr_test);
    dbg_blcs->setObjectName(QStringLiteral("dbg_blcs"));
    dbg_blcs->setAccessibleName(QStringLiteral("BLC"));
    dbg_blcs->setColumns(3);
    connect(dbg_blcs, &RadioGroup::indexChanged, this, &TFKR58::dbg_blcsClick);

    wdr_test_onlvl = new QSlider(Qt::Horizontal, wdr_test);
    wdr_test_onlvl->setObjectName(QStringLiteral("wdr_test_onlvl"));
    wdr_test_onlvl->setRange(0, kWdrShutterMax);
    wdr_test_onlvl->setSingleStep(1);
    wdr_test_onlvl->setPageStep(1);
    wdr_test_onlvl->setAccessibleName(QStringLiteral("WDR shutter number"));
    connect(wdr_test_onlvl, &QSlider::valueChanged, this, &TFKR58::wdr_test_onlvlChange);
    wdr_test_timer = named_timer(this, "wdr_test_timer", kWdrTestTimerMs, &TFKR58::wdr_test_timerTimer);
    wdr_on_spin = new SpinButton(wdr_test);
    wdr_on_spin->setObjectName(QStringLiteral("wdr_on_spin"));
    wdr_on_spin->setAccessibleName(QStringLiteral("WDR shutter number step"));
    wdr_on_spin->upButton()->setAccessibleName(QStringLiteral("WDR shutter number up"));
    wdr_on_spin->downButton()->setAccessibleName(QStringLiteral("WDR shutter number down"));
    connect(wdr_on_spin, &SpinButton::upClick, this, &TFKR58::wdr_on_spinUpClick);
    connect(wdr_on_spin, &SpinButton::downClick, this, &TFKR58::wdr_on_spinDownClick);

    wdr_test_ontext = new QLineEdit(wdr_test);
    wdr_test_ontext->setObjectName(QStringLiteral("wdr_test_ontext"));
    wdr_test_ontext->setEnabled(false);
    wdr_test_ontext->setMaximumWidth(32);
    wdr_test_ontext->setAccessibleName(QStringLiteral("WDR shutter number, hexadecimal"));
    auto* shutter_caption = new QLabel(QStringLiteral("WDR Shutter no. "), wdr_test);
    wdr_no_dec = new QLabel(wdr_test);
    wdr_no_dec->setObjectName(QStringLiteral("wdr_no_dec"));
    make_readout(wdr_no_dec, QStringLiteral("WDR shutter number, decimal"));
    wdr_no_dec->setMinimumWidth(20);
    shutter_caption->setBuddy(wdr_test_ontext);
    wdr_rd_btn = make_button(*this, wdr_test, "wdr_rd_btn", "Read", "Read WDR data", &TFKR58::wdr_rd_btnClick);

    auto* shutter_row = new QHBoxLayout;
    shutter_row->setSpacing(2);
    shutter_row->addWidget(wdr_test_onlvl, 1);
    shutter_row->addWidget(wdr_on_spin);
    auto* readout_row = new QHBoxLayout;
    readout_row->setSpacing(2);
    readout_row->addWidget(wdr_test_ontext);
    readout_row->addWidget(shutter_caption);
    readout_row->addWidget(wdr_no_dec, 1);
    readout_row->addWidget(wdr_rd_btn);
    grid->addWidget(wdr_test_sel, 0, 0);
    grid->addWidget(dbg_blcs, 0, 1);
    grid->addLayout(shutter_row, 1, 0, 1, 2);
    grid->addLayout(readout_row, 2, 0, 1, 2);
    column->addWidget(wdr_test);
    column->addStretch(1);
    return area;
}

void TFKR58::forward_menu_keys(QWidget* control)
{
    control->installEventFilter(
        new TypedKeyFilter(control, [this](QObject* sender, char key) { push_upKeyPress(sender, key); }));
}

// ---- Menu keys ----

void TFKR58::push_upClick() { SW_push(static_cast<std::uint8_t>(MenuKey::Up)); }
void TFKR58::push_dnClick() { SW_push(static_cast<std::uint8_t>(MenuKey::Down)); }
void TFKR58::push_entClick() { SW_push(static_cast<std::uint8_t>(MenuKey::Enter)); }
void TFKR58::push_preClick() { SW_push(static_cast<std::uint8_t>(MenuKey::Enter)); }
void TFKR58::push_leftClick() { SW_push(static_cast<std::uint8_t>(MenuKey::Left)); }
void TFKR58::push_rightClick() { SW_push(static_cast<std::uint8_t>(MenuKey::Right)); }
void TFKR58::push_long_entClick() { SW_push(static_cast<std::uint8_t>(MenuKey::LongEnter)); }
void TFKR58::push_commClick() { SW_push(static_cast<std::uint8_t>(MenuKey::Comm)); }

void TFKR58::push_upKeyPress(QObject*, char key)
{
    const std::optional<MenuKey> pressed = service::menu_key_for_char(key);
    if (!pressed) return;
    switch (*pressed) {
    case MenuKey::Down: push_dnClick(); break;
    case MenuKey::Up: push_upClick(); break;
    case MenuKey::Enter: push_entClick(); break;
    case MenuKey::Left: push_leftClick(); break;
    case MenuKey::Right: push_rightClick(); break;
    case MenuKey::LongEnter: push_long_entClick(); break;
    case MenuKey::Comm: push_commClick(); break;
    }
}

void TFKR58::push_commKeyPress(QObject* sender, char key) { push_upKeyPress(sender, key); }

// ---- Service commands ----

void TFKR58::PresetSaveClick() { send_setting(*this, {kWrite, kPreset, kPresetSave}); }

// The camera counts the test modes from 1: 1 Auto, 2 Fix.
void TFKR58::wdr_test_selClick()
{
    const int item = wdr_test_sel->itemIndex();
    if (item < 0) return;
    send_setting(*this, {kWrite, kWdrTest, kWdrTestMode, low_byte(item + 1)});
}

void TFKR58::wdr_test_onlvlChange()
{
    // A position the Debug page's decoder wrote from a reply is consumed here, not sent back.
    if (wdr_level_skip) {
        wdr_level_skip = false;
        return;
    }
    enable_timer(wdr_test_timer);
}

void TFKR58::wdr_test_timerTimer()
{
    if (wdr_level_skip) {
        wdr_level_skip = false;
        return;
    }
    if (!Trans_chk()) return;
    wdr_test_timer->stop();
    const std::uint8_t shutter = low_byte(wdr_test_onlvl->value());
    send_setting(*this, {kWrite, kWdrTest, kWdrShutterNo, shutter});
    wdr_test_ontext->setText(hex_byte_text(shutter));
    wdr_no_dec->setText(QString::number(shutter));
}

void TFKR58::wdr_on_spinUpClick()
{
    if (wdr_test_onlvl->value() < wdr_test_onlvl->maximum()) wdr_test_onlvl->setValue(wdr_test_onlvl->value() + 1);
}

void TFKR58::wdr_on_spinDownClick()
{
    if (wdr_test_onlvl->value() != 0) wdr_test_onlvl->setValue(wdr_test_onlvl->value() - 1);
}

// "Read" of the WDR Test group: the WDR data read 0x33 0x48.
void TFKR58::wdr_rd_btnClick() { send_setting(*this, {kRead, kWdrDataRead}); }

// The back light mode straight to the camera: no WDR rule, and blc_saved stays as it was.
void TFKR58::dbg_blcsClick()
{
    const int item = dbg_blcs->itemIndex();
    if (item < 0) return;
    send_setting(*this, {kWrite, kBackLight, 0x00, low_byte(item)});
}

void TFKR58::WB_READClick() { send_setting(*this, {kRead, kWbInputRead, low_byte(WB_INPUT_SEL->itemIndex())}); }
