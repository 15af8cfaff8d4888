// The hidden " Chroma " and "HUE" groups of the Lens Adjust page: direct writes of the chroma gain
// register 0x2B and the hue registers 0x2C..0x2F. The register replies fill their track bars
// whatever page is active, and such a move is written back (with the same value) once the link is
// free: the change handlers enable their timers unconditionally.

#include "main_window/mkr58.h"
#include "pages/lens/service_trim_values.h"
#include "pages/setup/setup_support.h"
#include "widgets/labelled_row.h"
#include "widgets/timers.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>

using setup::kWrite;
using setup::low_byte;
using setup::send_setting;

namespace {

using Handler = void (TFKR58::*)();

constexpr std::uint8_t kRegisterWriteNoEep = 0x0B;
constexpr int kChromaTimerMs = 100;
constexpr int kHueTimerMs = 200;

QSlider* trim_slider(TFKR58& w, QGroupBox* box, QGridLayout* grid, int row, const char* name,
                     const char* caption, int minimum, int maximum, Handler change)
{
    auto* slider = new QSlider(Qt::Horizontal, box);
    slider->setObjectName(QString::fromLatin1(name));
    slider->setRange(minimum, maximum);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    add_labelled_row(grid, row, QString::fromLatin1(caption), slider);
    QObject::connect(slider, &QSlider::valueChanged, &w, change);
    return slider;
}

// The disabled edit beside a track bar that shows the position last sent.
QLineEdit* sent_value_edit(QGroupBox* box, QGridLayout* grid, int row, const char* name, const char* accessible)
{
    auto* edit = new QLineEdit(box);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setAccessibleName(QString::fromLatin1(accessible));
    edit->setEnabled(false);
    edit->setMaximumWidth(40);
    grid->addWidget(edit, row, 2);
    return edit;
}

} // namespace

void TFKR58::build_service_trims(QGridLayout* page)
{
    chroma_grp = new QGroupBox(QStringLiteral(" Chroma "), TabSheet1);
    chroma_grp->setObjectName(QStringLiteral("chroma_grp"));
    auto* chroma_grid = new QGridLayout(chroma_grp);
    CromaRY = trim_slider(*this, chroma_grp, chroma_grid, 0, "CromaRY", "RY", 0, 255, &TFKR58::CromaRYChange);
    CromaBY = trim_slider(*this, chroma_grp, chroma_grid, 1, "CromaBY", "BY", 0, 255, &TFKR58::CromaRYChange);
    RY_Gain = sent_value_edit(chroma_grp, chroma_grid, 0, "RY_Gain", "RY gain sent");
    BY_Gain = sent_value_edit(chroma_grp, chroma_grid, 1, "BY_Gain", "BY gain sent");
    Timercrm = named_timer(this, "Timercrm", kChromaTimerMs, &TFKR58::TimercrmTimer);
    chroma_grp->hide();

    hue_grp = new QGroupBox(QStringLiteral("HUE"), TabSheet1);
    hue_grp->setObjectName(QStringLiteral("hue_grp"));
    auto* hue_grid = new QGridLayout(hue_grp);
    RYP = trim_slider(*this, hue_grp, hue_grid, 0, "RYP", "RY+", -255, 255, &TFKR58::RYPChange);
    BYP = trim_slider(*this, hue_grp, hue_grid, 1, "BYP", "BY+", -255, 255, &TFKR58::BYPChange);
    RYN = trim_slider(*this, hue_grp, hue_grid, 2, "RYN", "RY-", -255, 255, &TFKR58::RYNChange);
    BYN = trim_slider(*this, hue_grp, hue_grid, 3, "BYN", "BY-", -255, 255, &TFKR58::BYNChange);
    RYP_DATA = sent_value_edit(hue_grp, hue_grid, 0, "RYP_DATA", "RY+ sent");
    BYP_DATA = sent_value_edit(hue_grp, hue_grid, 1, "BYP_DATA", "BY+ sent");
    RYN_DATA = sent_value_edit(hue_grp, hue_grid, 2, "RYN_DATA", "RY- sent");
    BYN_DATA = sent_value_edit(hue_grp, hue_grid, 3, "BYN_DATA", "BY- sent");
    TimerRYP = named_timer(this, "TimerRYP", kHueTimerMs, &TFKR58::TimerRYPTimer);
    TimerBYP = named_timer(this, "TimerBYP", kHueTimerMs, &TFKR58::TimerBYPTimer);
    TimerRYN = named_timer(this, "TimerRYN", kHueTimerMs, &TFKR58::TimerRYNTimer);
    TimerBYN = named_timer(this, "TimerBYN", kHueTimerMs, &TFKR58::TimerBYNTimer);
    hue_grp->hide();

    page->addWidget(chroma_grp, 0, 0);
    page->addWidget(hue_grp, 0, 1);
}

// ---- Chroma gains ----

void TFKR58::CromaRYChange() { enable_timer(Timercrm); }

void TFKR58::TimercrmTimer()
{
    if (!Trans_chk()) return;
    const std::uint16_t value = service::chroma_register_value(CromaBY->value(), CromaRY->value());
    (*param_image)[service::kChromaRegister] = value;
    Timercrm->stop();
    send_setting(*this, {kWrite, kRegisterWriteNoEep, service::kChromaRegister, low_byte(value >> 8), low_byte(value)});
    RY_Gain->setText(QString::number(CromaRY->value()));
    BY_Gain->setText(QString::number(CromaBY->value()));
}

// ---- Hue ----

namespace {

// One hue trim tick: the register word keeps its bits 9..15 from the parameter image and takes the
// position's sign and magnitude below them.
void hue_tick(TFKR58& w, QTimer* timer, QSlider* slider, QLineEdit* sent, std::uint8_t reg)
{
    if (!w.Trans_chk()) return;
    const int position = slider->value();
    const std::uint16_t value = service::hue_register_value((*w.param_image)[reg], position);
    (*w.param_image)[reg] = value;
    timer->stop();
    send_setting(w, {kWrite, kRegisterWriteNoEep, reg, low_byte(value >> 8), low_byte(value)});
    sent->setText(QString::number(position));
}

} // namespace

void TFKR58::RYPChange() { enable_timer(TimerRYP); }
void TFKR58::BYPChange() { enable_timer(TimerBYP); }
void TFKR58::RYNChange() { enable_timer(TimerRYN); }
void TFKR58::BYNChange() { enable_timer(TimerBYN); }
void TFKR58::TimerRYPTimer() { hue_tick(*this, TimerRYP, RYP, RYP_DATA, service::kHueRegisterRYP); }
void TFKR58::TimerBYPTimer() { hue_tick(*this, TimerBYP, BYP, BYP_DATA, service::kHueRegisterBYP); }
void TFKR58::TimerRYNTimer() { hue_tick(*this, TimerRYN, RYN, RYN_DATA, service::kHueRegisterRYN); }
void TFKR58::TimerBYNTimer() { hue_tick(*this, TimerBYN, BYN, BYN_DATA, service::kHueRegisterBYN); }
