#pragma once
// One port's tile on the clone station's window: the port and the device it resolves to, the
// state in large type with what the operator does next, the progress while a camera is written,
// the camera's title and serial, and the reason of a failure, wrapped and never cut. The state
// word and the next action take the largest type the tile has room for, so they read from a
// metre away on a small screen and on a large one.
//
// A verdict belongs to one camera: it stays only while that camera is on the port. PASS is a
// light green fill with a tick, FAIL a dark red one with a cross: they differ in lightness and
// mark, not in hue alone, for an operator who does not tell red from green. Grey means that no
// run writes on the port; amber, that a camera or the port needs a look (UNVERIFIED, No port).

#include <QColor>
#include <QFrame>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;

namespace station_window {

class FittedLabel;

// Stopped: no run writes on the port, or the camera's job was cut short by Stop (the reason
// says where). WaitingForTurn: a camera is on the port, whose serial number is asked for once
// the port that asks now has its own. WaitingToRecord: the job's row cannot be written yet;
// NotRecorded: the run stopped first.
enum class TileState {
    Stopped,
    Waiting,
    WaitingForTurn,
    ScanSerial,
    Writing,
    Restarting,
    Verifying,
    WaitingToRecord,
    Pass,
    Fail,
    Unverified,
    NotRecorded,
    NoPort
};

// "Waiting for camera", "PASS", ...: the word a tile shows for a state.
QString state_word(TileState state);
// "Unplug the camera", ...: what the operator does next in a state.
QString next_action(TileState state);

struct TileColours {
    QColor fill;
    QColor text;
};
TileColours tile_colours(TileState state);

inline const QColor kPassColour{0x81, 0xc7, 0x84};
inline const QColor kFailColour{0xb7, 0x1c, 0x1c};
inline const QColor kAmberColour{0xff, 0xb3, 0x00};
inline const QColor kStoppedColour{0x9e, 0x9e, 0x9e};

class PortTile : public QFrame {
    Q_OBJECT
public:
    PortTile(int port, const QString& device, QWidget* parent = nullptr);

    int port() const { return port_; }
    TileState state() const { return state_; }
    QString device() const { return device_; }
    QString reason() const;
    QString action() const;
    QString camera() const;
    QLabel* state_label() const;
    QLineEdit* serial_field() const { return serial_field_; }

    void set_device(const QString& device);
    // A new state; leaving a verdict forgets its camera (its line, reason and progress).
    void set_state(TileState state);
    // Done of the total `unit`s ("words", "bytes"); a total of 0 shows the bar busy.
    void set_progress(int done, int total, const QString& unit = QStringLiteral("words"));
    void set_camera(const QString& title, const QString& serial);
    // Why the camera failed, or what the operator should know: wrapped, never cut.
    void set_reason(const QString& reason);
    // Forgets the last camera: its line, reason and progress.
    void clear_camera();
    // The run has ended: the tile turns grey and says so. A verdict it showed is kept only as
    // what happened before the stop, in the reason; NOT RECORDED and No port stay, since they
    // tell what is still to be done.
    void show_stopped();
    // The camera of the last verdict, taken for gone after missed probes, answers again: its
    // verdict is shown again. Nothing when a job began since.
    void show_last_verdict();
    // Shows or hides the serial field (a barcode scanner types into it).
    void show_serial_field(bool show);

signals:
    void state_changed(int port, station_window::TileState state);
    // The operator typed or scanned a serial number and pressed Enter.
    void serial_entered(int port, const QString& serial);

private:
    struct Verdict {
        TileState state;
        QString camera;
        QString reason;
    };

    void paint_state();
    void announce();

    int port_;
    QString device_;
    TileState state_ = TileState::Stopped;
    std::optional<Verdict> last_verdict_;
    QLabel* header_;
    FittedLabel* state_label_;
    FittedLabel* action_label_;
    QProgressBar* progress_;
    QLabel* camera_label_;
    QLineEdit* serial_field_;
    QPlainTextEdit* reason_view_;
};

} // namespace station_window
