// The Lens Adjust page: the DC-lens offset set by hand or by the automatic procedure that reads
// the lens level and nudges the offset until the level stays near zero, and the hidden sensor
// timing delays, which the page's read series reads and writes back.

#include "link/hex_text.h"
#include "main_window/mkr58.h"
#include "pages/lens/lens_auto_step.h"
#include "pages/setup/setup_support.h"
#include "widgets/dialogs.h"
#include "widgets/labelled_row.h"
#include "widgets/readout.h"
#include "widgets/spin_button.h"
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
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

using setup::kRead;
using setup::kWrite;
using setup::low_byte;
using setup::send_setting;

namespace {

using Handler = void (TFKR58::*)();

constexpr std::uint8_t kAutoStart = 0x12;
constexpr std::uint8_t kDelays = 0x42;
constexpr std::uint8_t kOffset = 0x43;
constexpr std::uint8_t kLevel = 0x46;
constexpr std::uint8_t kEnd = 0x01;
constexpr int kOffsetMin = 0x50;
constexpr int kOffsetMax = 0xB0;
constexpr int kLevelPauseMs = 200;
constexpr int kDelayWriteMs = 50;

// The arrow keys on the offset edit step it like the arrows beside it.
class OffsetKeys : public QObject {
public:
    explicit OffsetKeys(TFKR58& w) : QObject(&w), w_(w) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Up) {
                w_.CSpinButton5UpClick();
                return true;
            }
            if (key == Qt::Key_Down) {
                w_.CSpinButton5DownClick();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TFKR58& w_;
};

QGroupBox* group(QWidget* parent, const char* name, const char* caption)
{
    auto* box = new QGroupBox(QString::fromUtf8(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QPushButton* button(TFKR58& w, QWidget* parent, const char* name, const char* caption, const char* accessible,
                    Handler click)
{
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(QString::fromUtf8(accessible));
    QObject::connect(b, &QPushButton::clicked, &w, click);
    return b;
}

QLineEdit* delay_edit(QGroupBox* box, QGridLayout* grid, int row, const char* name, const char* caption)
{
    auto* edit = new QLineEdit(QStringLiteral("0"), box);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setAccessibleName(QString::fromLatin1(caption).trimmed());
    edit->setMaxLength(1);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]?")), edit));
    add_labelled_row(grid, row, QString::fromLatin1(caption), edit);
    return edit;
}

// The value of a one-digit delay edit; -1 unless it holds exactly one hexadecimal digit.
int delay_digit(const QLineEdit* edit)
{
    const QString text = edit->text();
    return text.size() == 1 ? hex_digit_value(text[0]) : -1;
}

} // namespace

void TFKR58::build_lens_page()
{
    auto* page = new QGridLayout(TabSheet1);
    // The hidden chroma and hue trims (service_trims.cpp) take columns 0 and 1 of the first row.
    build_service_trims(page);

    GroupBox21 = group(TabSheet1, "GroupBox21", "Lens Adjust");
    auto* frame = new QHBoxLayout(GroupBox21);

    // "Auto": start, the running mark that also stops, and the hidden dead band.
    lens_auto_grp = group(GroupBox21, "lens_auto_grp", "Auto");
    auto* autos = new QVBoxLayout(lens_auto_grp);
    lens_auto_stt = button(*this, lens_auto_grp, "lens_auto_stt", "Auto Start", "Auto Start", &TFKR58::lens_auto_sttClick);
    ref_check = new QCheckBox(QStringLiteral("Force Stop"), lens_auto_grp);
    ref_check->setObjectName(QStringLiteral("ref_check"));
    ref_check->setAccessibleName(QStringLiteral("Force Stop"));
    connect(ref_check, &QCheckBox::toggled, this, &TFKR58::ref_checkClick);
    threash = new QSpinBox(lens_auto_grp);
    threash->setObjectName(QStringLiteral("threash"));
    threash->setAccessibleName(QStringLiteral("Dead band"));
    threash->setRange(INT_MIN, INT_MAX);
    threash->setEnabled(false);
    threash->hide();
    autos->addWidget(lens_auto_stt);
    autos->addWidget(ref_check);
    autos->addWidget(threash);
    autos->addStretch(1);

    // "Manual": the offset as two hexadecimal digits with its arrows.
    lens_mnl_grp = group(GroupBox21, "lens_mnl_grp", "Manual");
    auto* manual = new QVBoxLayout(lens_mnl_grp);
    GroupBox10 = group(lens_mnl_grp, "GroupBox10", "DC Lens offset");
    auto* offset_row = new QHBoxLayout(GroupBox10);
    pwm_ref = new QLineEdit(QStringLiteral("00"), GroupBox10);
    pwm_ref->setObjectName(QStringLiteral("pwm_ref"));
    pwm_ref->setAccessibleName(QStringLiteral("DC Lens offset"));
    pwm_ref->setMaxLength(2);
    // Only hexadecimal digits can be typed: the text is the byte written.
    pwm_ref->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,2}")), pwm_ref));
    pwm_ref->setFixedWidth(pwm_ref->fontMetrics().horizontalAdvance(QStringLiteral("DDDD")) + 14);
    pwm_ref->installEventFilter(new OffsetKeys(*this));
    connect(pwm_ref, &QLineEdit::textChanged, this, &TFKR58::pwm_refChange);
    CSpinButton5 = new SpinButton(GroupBox10);
    CSpinButton5->setObjectName(QStringLiteral("CSpinButton5"));
    CSpinButton5->setAccessibleName(QStringLiteral("DC Lens offset step"));
    CSpinButton5->upButton()->setAccessibleName(QStringLiteral("DC Lens offset up"));
    CSpinButton5->downButton()->setAccessibleName(QStringLiteral("DC Lens offset down"));
    connect(CSpinButton5, &SpinButton::upClick, this, &TFKR58::CSpinButton5UpClick);
    connect(CSpinButton5, &SpinButton::downClick, this, &TFKR58::CSpinButton5DownClick);
    offset_row->addWidget(pwm_ref);
    offset_row->addWidget(CSpinButton5);
    offset_row->addStretch(1);
    manual->addWidget(GroupBox10);
    manual->addStretch(1);

    // The level read-out stays usable while the procedure runs: "Read" is the way out of a
    // procedure that waits after an error reply, so it sits outside "Manual", which is disabled
    // while the procedure runs.
    auto* level = new QVBoxLayout;
    rens_ref_read = button(*this, GroupBox21, "rens_ref_read", "Read", "Read lens level", &TFKR58::rens_ref_readClick);
    lens_ref = new QLabel(QStringLiteral("_"), GroupBox21);
    lens_ref->setObjectName(QStringLiteral("lens_ref"));
    make_readout(lens_ref, QStringLiteral("Lens level"));
    lens_ref->setAlignment(Qt::AlignCenter);
    lens_ref->setMinimumWidth(48);
    level->addWidget(rens_ref_read);
    level->addWidget(lens_ref);
    level->addStretch(1);

    frame->addWidget(lens_auto_grp);
    frame->addWidget(lens_mnl_grp);
    frame->addLayout(level);
    Lens_tim = named_timer(this, "Lens_tim", kLevelPauseMs, &TFKR58::Lens_timTimer);

    // The hidden sensor timing delays; the delay replies fill them whatever page is active.
    delay_grp = group(TabSheet1, "delay_grp", "Delay");
    auto* delay_grid = new QGridLayout(delay_grp);
    rg_delay = delay_edit(delay_grp, delay_grid, 0, "rg_delay", "RG Delay  ");
    rg_width = delay_edit(delay_grp, delay_grid, 1, "rg_width", "RG Width  ");
    shp_delay = delay_edit(delay_grp, delay_grid, 2, "shp_delay", "SHP Delay  ");
    shd_delay = delay_edit(delay_grp, delay_grid, 3, "shd_delay", "SHD Delay  ");
    for (QLineEdit* edit : {rg_delay, rg_width, shp_delay, shd_delay})
        connect(edit, &QLineEdit::textChanged, this, &TFKR58::rg_delayChange);
    delay_grp->hide();
    RG_delayTimer = named_timer(this, "RG_delayTimer", kDelayWriteMs, &TFKR58::RG_delayTimerTimer);

    load_dly = button(*this, TabSheet1, "load_dly", "Load", "Load", &TFKR58::load_dlyClick);
    load_dly->hide();

    page->addWidget(GroupBox21, 1, 0, 1, 3, Qt::AlignLeft | Qt::AlignTop);
    page->addWidget(delay_grp, 0, 2);
    page->addWidget(load_dly, 2, 0);
    page->setRowStretch(3, 1);
    page->setColumnStretch(3, 1);
}

// ---- Manual offset ----

void TFKR58::pwm_refChange()
{
    if (!Trans_chk() || pwm_ref->text().size() != 2) return;
    send_setting(*this, {kWrite, kOffset, low_byte(hex_text_value(pwm_ref->text())), kEnd});
}

// The arrows keep the offset within 50..B0; an unchanged text sends nothing.
void TFKR58::CSpinButton5UpClick()
{
    pwm_ref->setText(hex_byte_text(std::min(hex_text_value(pwm_ref->text()) + lens_step, kOffsetMax)));
}

void TFKR58::CSpinButton5DownClick()
{
    pwm_ref->setText(hex_byte_text(std::max(hex_text_value(pwm_ref->text()) - lens_step, kOffsetMin)));
}

void TFKR58::rens_ref_readClick() { send_setting(*this, {kRead, kLevel}); }

// ---- The automatic adjustment ----

void TFKR58::lens_auto_sttClick() { send_setting(*this, {kRead, kAutoStart}); }

void TFKR58::ref_checkClick()
{
    const bool running = ref_check->isChecked();
    lens_auto_stt->setEnabled(!running);
    lens_mnl_grp->setEnabled(!running);
}

void TFKR58::Lens_timTimer()
{
    Lens_tim->stop();
    rens_ref_readClick();
}

void TFKR58::lens_auto_step(int level)
{
    const lens::AutoStep step =
        lens::auto_step(level, {lens_over_count, lens_settle_count, lens_reversals, lens_last_dir}, threash->value());
    lens_over_count = step.counters.over_count;
    lens_settle_count = step.counters.settle_count;
    lens_reversals = step.counters.reversals;
    lens_last_dir = step.counters.last_dir;
    threash->setValue(step.band);
    switch (step.action) {
    case lens::AutoAction::ReadAgain:
    case lens::AutoAction::WidenBand: enable_timer(Lens_tim); break;
    case lens::AutoAction::RaiseOffset: CSpinButton5UpClick(); break;
    case lens::AutoAction::LowerOffset: CSpinButton5DownClick(); break;
    case lens::AutoAction::Finish: ref_check->setChecked(false); break;
    case lens::AutoAction::None: break;
    }
}

void TFKR58::Trans_end_cstm()
{
    if (reply_frame[1] != frames::kReplyAccepted) {
        // A running procedure waits here: no reading is scheduled until "Read" or "Force Stop".
        dialogs().message(QStringLiteral(" Error "), QStringLiteral("ERR"));
        return;
    }
    if (cmd_frame[1] == kRead) {
        switch (reply_frame[2]) {
        case kAutoStart:
            if (reply_frame[4] != 0) {
                dialogs().message(QStringLiteral("ALC/AES selection is not ALC."), QStringLiteral("Setting ERROR."));
                break;
            }
            ref_check->setChecked(true);
            lens_settle_count = lens_over_count = lens_reversals = lens_last_dir = 0;
            threash->setValue(0);
            rens_ref_readClick();
            break;
        case kOffset: {
            // Shown, not written back: the read series is still running.
            setup::ControlUpdate quiet(*this);
            pwm_ref->setText(hex_byte_text(reply_frame[3]));
            break;
        }
        case kLevel: {
            const int level = static_cast<std::int8_t>(reply_frame[3]);
            lens_ref->setText(QString::number(level));
            if (ref_check->isChecked()) lens_auto_step(level);
            break;
        }
        default: break;
        }
    } else if (cmd_frame[1] == kWrite && cmd_frame[2] == kOffset && ref_check->isChecked()) {
        enable_timer(Lens_tim);
    }
}

// ---- Timing delays ----

void TFKR58::rg_delayChange() { enable_timer(RG_delayTimer); }

void TFKR58::RG_delayTimerTimer()
{
    if (!Trans_chk()) return; // retried at the next tick
    RG_delayTimer->stop();
    const int width = delay_digit(rg_width);
    const int shd = delay_digit(shd_delay);
    const int shp = delay_digit(shp_delay);
    const int rg = delay_digit(rg_delay);
    if (width < 0 || shd < 0 || shp < 0 || rg < 0) return;
    send_setting(*this, {kWrite, kDelays, low_byte(width * 16 + shd), low_byte(shp * 16 + rg), kEnd});
}

void TFKR58::load_dlyClick() { ReLoadClick(); }

// ---- Page hooks ----

void TFKR58::lens_form_create() { lens_step = 1; }

// The procedure waits after a time-out, as after an error reply.
void TFKR58::lens_exchange_abandoned() {}

// Replies are decoded by the page that is shown: a procedure left running would read the level
// on another page. Leaving the page ends it.
void TFKR58::lens_page_left()
{
    Lens_tim->stop();
    ref_check->setChecked(false);
}
