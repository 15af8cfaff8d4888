#include "station_window/port_tile.h"

#include "widgets/readout.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QVBoxLayout>

namespace station_window {
namespace {

constexpr int kStateFontPoints = 26;

bool is_verdict(TileState state)
{
    return state == TileState::Pass || state == TileState::Fail || state == TileState::Unverified
           || state == TileState::NotRecorded;
}

} // namespace

QString state_word(TileState state)
{
    switch (state) {
    case TileState::Stopped: return QStringLiteral("Stopped");
    case TileState::Waiting: return QStringLiteral("Waiting for camera");
    case TileState::ScanSerial: return QStringLiteral("Scan serial number");
    case TileState::Writing: return QStringLiteral("Writing");
    case TileState::Restarting: return QStringLiteral("Restarting");
    case TileState::Verifying: return QStringLiteral("Verifying");
    case TileState::WaitingToRecord: return QStringLiteral("Waiting to record");
    case TileState::Pass: return QStringLiteral("PASS");
    case TileState::Fail: return QStringLiteral("FAIL");
    case TileState::Unverified: return QStringLiteral("UNVERIFIED");
    case TileState::NotRecorded: return QStringLiteral("NOT RECORDED");
    case TileState::NoPort: return QStringLiteral("No port");
    }
    return {};
}

PortTile::PortTile(int port, const QString& device, QWidget* parent)
    : QFrame(parent), port_(port), device_(device), state_label_(new QLabel(this)), progress_(new QProgressBar(this)),
      camera_label_(new QLabel(this)), serial_field_(new QLineEdit(this)), reason_label_(new QLabel(this))
{
    setObjectName(QStringLiteral("tile%1").arg(port));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::TabFocus); // so that a screen reader user can land on it and hear its state
    setMinimumWidth(280);

    auto* header = new QLabel(QStringLiteral("COM%1   %2").arg(port).arg(device), this);
    make_readout(header, QStringLiteral("Port"));
    header->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // a long device path must not widen the window
    QFont large = state_label_->font();
    large.setPointSize(kStateFontPoints);
    large.setBold(true);
    state_label_->setFont(large);
    state_label_->setAlignment(Qt::AlignCenter);
    make_readout(state_label_, QStringLiteral("COM%1 state").arg(port));
    progress_->setAccessibleName(QStringLiteral("COM%1 progress").arg(port));
    set_progress(0, 1);
    make_readout(camera_label_, QStringLiteral("COM%1 camera").arg(port));
    serial_field_->setPlaceholderText(QStringLiteral("Scan or type the serial number, then Enter"));
    serial_field_->setAccessibleName(QStringLiteral("COM%1 serial number").arg(port));
    serial_field_->hide();
    connect(serial_field_, &QLineEdit::returnPressed, this, [this] {
        const QString serial = serial_field_->text().trimmed();
        serial_field_->clear();
        emit serial_entered(port_, serial);
    });
    make_readout(reason_label_, QStringLiteral("COM%1 reason").arg(port));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(header);
    layout->addWidget(state_label_);
    layout->addWidget(progress_);
    layout->addWidget(camera_label_);
    layout->addWidget(serial_field_);
    layout->addWidget(reason_label_);
    set_state(TileState::Stopped);
}

QString PortTile::reason() const { return reason_label_->toolTip(); } // the whole line, not the elided one

void PortTile::set_state(TileState state)
{
    const bool new_camera = is_verdict(state_) && !is_verdict(state);
    state_ = state;
    state_label_->setText(state_word(state));
    if (new_camera) clear_camera();
    paint_state();
    announce();
    emit state_changed(port_, state);
}

void PortTile::set_progress(int done, int total, const QString& unit)
{
    progress_->setFormat(QStringLiteral("%v / %m ") + unit);
    progress_->setRange(0, total);
    progress_->setValue(std::min(done, total));
}

void PortTile::set_camera(const QString& title, const QString& serial)
{
    QString text = QStringLiteral("Title \"%1\"").arg(title);
    if (!serial.isEmpty()) text += QStringLiteral("   Serial %1").arg(serial);
    camera_label_->setText(text);
}

void PortTile::set_reason(const QString& reason)
{
    // One short line: the full text stays in the tooltip and the records.
    reason_label_->setToolTip(reason);
    reason_label_->setText(fontMetrics().elidedText(reason, Qt::ElideRight, std::max(width() - 20, 240)));
    announce();
}

void PortTile::clear_camera()
{
    set_reason({});
    set_progress(0, 1);
    camera_label_->clear();
}

void PortTile::show_serial_field(bool show) { serial_field_->setVisible(show); }

void PortTile::paint_state()
{
    QPalette colours = parentWidget() ? parentWidget()->palette() : QPalette();
    const bool pass = state_ == TileState::Pass;
    if (pass || state_ == TileState::Fail || state_ == TileState::NotRecorded) {
        colours.setColor(QPalette::Window, pass ? kPassColour : kFailColour);
        colours.setColor(QPalette::WindowText, Qt::white);
    }
    setPalette(colours);
}

// Assistive tools hear the tile's state and reason as its name and value.
void PortTile::announce()
{
    setAccessibleName(QStringLiteral("COM%1: %2").arg(port_).arg(state_word(state_)));
    setAccessibleDescription(reason_label_->text());
    QAccessibleEvent name_changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&name_changed);
    QAccessibleValueChangeEvent value_changed(this, state_word(state_));
    QAccessible::updateAccessibility(&value_changed);
}

} // namespace station_window
