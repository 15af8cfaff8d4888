#include "station_window/port_tile.h"

#include "station_window/fitted_label.h"
#include "widgets/readout.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QVBoxLayout>

namespace station_window {
namespace {

// The least type of each part, for a tile of nine on a 1366x768 screen; the state word and the
// next action grow with the tile up to the most.
constexpr int kHeaderPoints = 11;
constexpr int kStateLeastPoints = 18;
constexpr int kStateMostPoints = 110;
constexpr int kActionLeastPoints = 14;
constexpr int kActionMostPoints = 48;
constexpr int kCameraPoints = 12;
constexpr int kSerialPoints = 14;
constexpr int kReasonPoints = 14;
constexpr int kReasonLines = 2; // a failure's reason is two lines in a tile of nine
constexpr int kMinimumWidth = 240;

const QColor kDarkText{0x21, 0x21, 0x21};

bool is_verdict(TileState state)
{
    return state == TileState::Pass || state == TileState::Fail || state == TileState::Unverified
           || state == TileState::NotRecorded;
}

// A state in which a camera that is not the last verdict's is on the port.
bool begins_job(TileState state)
{
    return state == TileState::WaitingForTurn || state == TileState::ScanSerial || state == TileState::Writing || state == TileState::Restarting
           || state == TileState::Verifying || state == TileState::WaitingToRecord;
}

bool shows_progress(TileState state)
{
    return state == TileState::Writing || state == TileState::Restarting || state == TileState::Verifying;
}

// The tick and the cross: PASS and FAIL differ in shape as well as in colour.
QString mark(TileState state)
{
    switch (state) {
    case TileState::Pass: return QStringLiteral("\u2714 ");
    case TileState::Fail: return QStringLiteral("\u2718 ");
    default: return {};
    }
}

void set_points(QWidget* widget, int points, bool bold = false)
{
    QFont type = widget->font();
    type.setPointSize(points);
    type.setBold(bold);
    widget->setFont(type);
}

} // namespace

QString state_word(TileState state)
{
    switch (state) {
    case TileState::Stopped: return QStringLiteral("STOPPED: not writing");
    case TileState::Waiting: return QStringLiteral("Waiting for camera");
    case TileState::WaitingForTurn: return QStringLiteral("Camera found");
    case TileState::ScanSerial: return QStringLiteral("Serial number");
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

QString next_action(TileState state)
{
    switch (state) {
    case TileState::Stopped: return QStringLiteral("Press Start to write");
    case TileState::Waiting: return QStringLiteral("Plug in a camera");
    case TileState::WaitingForTurn: return QStringLiteral("Wait: another port asks first");
    case TileState::ScanSerial: return QStringLiteral("Scan the serial number");
    case TileState::Writing:
    case TileState::Restarting:
    case TileState::Verifying:
    case TileState::WaitingToRecord: return QStringLiteral("Leave the camera plugged in");
    case TileState::Pass:
    case TileState::Unverified: return QStringLiteral("Unplug the camera");
    case TileState::Fail: return QStringLiteral("Put the camera in the reject box");
    case TileState::NotRecorded: return QStringLiteral("Set the camera aside: its record is incomplete");
    case TileState::NoPort: return QStringLiteral("Check the adapter and its cable");
    }
    return {};
}

TileColours tile_colours(TileState state)
{
    switch (state) {
    case TileState::Stopped: return {kStoppedColour, kDarkText};
    case TileState::Waiting: return {QColor(0xf5, 0xf5, 0xf5), kDarkText};
    case TileState::ScanSerial: return {QColor(0x90, 0xca, 0xf9), Qt::black};
    case TileState::WaitingForTurn:
    case TileState::Writing:
    case TileState::Restarting:
    case TileState::Verifying: return {QColor(0xe3, 0xf2, 0xfd), kDarkText};
    case TileState::WaitingToRecord: return {QColor(0xff, 0xe0, 0xb2), kDarkText};
    case TileState::Pass: return {kPassColour, Qt::black};
    case TileState::Fail:
    case TileState::NotRecorded: return {kFailColour, Qt::white};
    case TileState::Unverified:
    case TileState::NoPort: return {kAmberColour, Qt::black};
    }
    return {kStoppedColour, kDarkText};
}

PortTile::PortTile(int port, const QString& device, QWidget* parent)
    : QFrame(parent), port_(port), header_(new QLabel(this)),
      state_label_(new FittedLabel(kStateLeastPoints, kStateMostPoints, 1, this)),
      action_label_(new FittedLabel(kActionLeastPoints, kActionMostPoints, 2, this)), progress_(new QProgressBar(this)),
      camera_label_(new QLabel(this)), serial_field_(new QLineEdit(this)), reason_view_(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("tile%1").arg(port));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::TabFocus); // so that a screen reader user can land on it and hear its state
    setMinimumWidth(kMinimumWidth);

    make_readout(header_, QStringLiteral("Port"));
    header_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // a long device path must not widen the window
    set_points(header_, kHeaderPoints, true);
    set_device(device);
    set_points(state_label_, kStateLeastPoints, true);
    make_readout(state_label_, QStringLiteral("COM%1 state").arg(port));
    set_points(action_label_, kActionLeastPoints, true);
    make_readout(action_label_, QStringLiteral("COM%1 next").arg(port));
    progress_->setAccessibleName(QStringLiteral("COM%1 progress").arg(port));
    set_points(camera_label_, kCameraPoints);
    camera_label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Either shows in the same row, so the tile keeps its height when one gives way to the other.
    const int row_height = std::max(progress_->sizeHint().height(), camera_label_->sizeHint().height());
    progress_->setMinimumHeight(row_height);
    camera_label_->setMinimumHeight(row_height);
    make_readout(camera_label_, QStringLiteral("COM%1 camera").arg(port));
    set_points(serial_field_, kSerialPoints);
    serial_field_->setPlaceholderText(QStringLiteral("Serial number"));
    serial_field_->setAccessibleName(QStringLiteral("COM%1 serial number").arg(port));
    QPalette field = serial_field_->palette(); // its own white field on any fill
    field.setColor(QPalette::Base, Qt::white);
    field.setColor(QPalette::Text, Qt::black);
    serial_field_->setPalette(field);
    serial_field_->hide();
    connect(serial_field_, &QLineEdit::returnPressed, this, [this] {
        const QString serial = serial_field_->text().trimmed();
        serial_field_->clear();
        emit serial_entered(port_, serial);
    });
    // The whole reason, wrapped, readable and selectable by keyboard; a long one scrolls.
    set_points(reason_view_, kReasonPoints);
    reason_view_->setReadOnly(true);
    reason_view_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    reason_view_->setFrameShape(QFrame::NoFrame);
    reason_view_->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }")); // on the tile's fill
    reason_view_->setTabChangesFocus(true);
    reason_view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    reason_view_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    reason_view_->setMinimumHeight(kReasonLines * reason_view_->fontMetrics().lineSpacing()
                                   + 2 * static_cast<int>(reason_view_->document()->documentMargin()) + 2);
    reason_view_->setAccessibleName(QStringLiteral("COM%1 reason").arg(port));
    reason_view_->setFocusPolicy(Qt::NoFocus); // a Tab stop only while it holds a reason

    // The camera line and the progress bar share a row: the bar shows only while a camera is
    // written, the line with its verdict.
    auto* camera_row = new QHBoxLayout;
    camera_row->addWidget(camera_label_);
    camera_row->addWidget(progress_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 4, 5, 4);
    layout->setSpacing(3);
    layout->addWidget(header_);
    layout->addWidget(state_label_, 4);
    layout->addWidget(action_label_, 2);
    layout->addLayout(camera_row);
    layout->addWidget(serial_field_);
    layout->addWidget(reason_view_, 2);
    set_progress(0, 1);
    set_state(TileState::Stopped);
}

QString PortTile::reason() const { return reason_view_->toPlainText(); }

QString PortTile::action() const { return action_label_->text(); }

QString PortTile::camera() const { return camera_label_->text(); }

QLabel* PortTile::state_label() const { return state_label_; }

void PortTile::set_device(const QString& device)
{
    device_ = device;
    header_->setText(QStringLiteral("COM%1   %2").arg(port_).arg(device));
}

void PortTile::set_state(TileState state)
{
    if (is_verdict(state_) && !is_verdict(state)) {
        last_verdict_ = Verdict{state_, camera(), reason()};
        clear_camera();
    }
    if (begins_job(state)) last_verdict_.reset();
    state_ = state;
    state_label_->show_text(mark(state) + state_word(state));
    action_label_->show_text(next_action(state));
    progress_->setVisible(shows_progress(state));
    camera_label_->setVisible(!shows_progress(state));
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
    reason_view_->setPlainText(reason);
    reason_view_->setFocusPolicy(reason.isEmpty() ? Qt::NoFocus : Qt::StrongFocus);
    announce();
}

void PortTile::clear_camera()
{
    set_reason({});
    set_progress(0, 1);
    camera_label_->clear();
}

void PortTile::show_stopped()
{
    if (state_ == TileState::Stopped || state_ == TileState::NotRecorded || state_ == TileState::NoPort) return;
    const bool verdict = is_verdict(state_);
    set_state(TileState::Stopped);
    QString before;
    if (verdict && last_verdict_) {
        before = QStringLiteral("Before the stop: %1 (%2)").arg(state_word(last_verdict_->state), last_verdict_->camera);
        if (!last_verdict_->reason.isEmpty()) before += QStringLiteral(": ") + last_verdict_->reason;
    }
    set_reason(before);
    last_verdict_.reset();
}

void PortTile::show_last_verdict()
{
    if (is_verdict(state_) || !last_verdict_) return;
    const Verdict verdict = *last_verdict_;
    set_state(verdict.state);
    camera_label_->setText(verdict.camera);
    set_reason(verdict.reason);
}

void PortTile::show_serial_field(bool show) { serial_field_->setVisible(show); }

void PortTile::paint_state()
{
    const TileColours colours = tile_colours(state_);
    QPalette palette = parentWidget() ? parentWidget()->palette() : QPalette();
    palette.setColor(QPalette::Window, colours.fill);
    palette.setColor(QPalette::WindowText, colours.text);
    palette.setColor(QPalette::Text, colours.text);
    setPalette(palette);
    // A style sheet above the tile (the window's focus frames) keeps the palette from reaching
    // its children by itself.
    for (QWidget* part : std::initializer_list<QWidget*>{header_, state_label_, action_label_, camera_label_, reason_view_})
        part->setPalette(palette);
}

// Assistive tools hear the tile's state and reason as its name and value.
void PortTile::announce()
{
    setAccessibleName(QStringLiteral("COM%1: %2").arg(port_).arg(state_word(state_)));
    setAccessibleDescription(reason());
    QAccessibleEvent name_changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&name_changed);
    QAccessibleValueChangeEvent value_changed(this, state_word(state_));
    QAccessible::updateAccessibility(&value_changed);
}

} // namespace station_window
