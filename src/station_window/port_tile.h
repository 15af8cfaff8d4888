#pragma once
// One port's tile on the clone station's window: the port and its device, the state in large
// type, the progress with the words done, the camera's title and serial, and the reason of a
// failure. PASS fills the tile green, FAIL and NOT RECORDED red, so it reads from across the
// bench; the word is always there, colour is never the only sign.

#include <QColor>
#include <QFrame>
#include <QString>

class QLabel;
class QLineEdit;
class QProgressBar;

namespace station_window {

// Stopped: no run, or the camera's job was cut short by Stop (the reason says where).
// WaitingToRecord: the job's row cannot be written yet; NotRecorded: the run stopped first.
enum class TileState {
    Stopped,
    Waiting,
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

inline const QColor kPassColour{0x2e, 0x7d, 0x32};
inline const QColor kFailColour{0xc6, 0x28, 0x28};

class PortTile : public QFrame {
    Q_OBJECT
public:
    PortTile(int port, const QString& device, QWidget* parent = nullptr);

    int port() const { return port_; }
    TileState state() const { return state_; }
    QString reason() const;
    QLineEdit* serial_field() const { return serial_field_; }

    // A new state; the verdicts keep the camera's line and reason until the next camera.
    void set_state(TileState state);
    // Done of the total `unit`s ("words", "bytes"); a total of 0 shows the bar busy.
    void set_progress(int done, int total, const QString& unit = QStringLiteral("words"));
    void set_camera(const QString& title, const QString& serial);
    // One short line: why the camera failed, or what the operator does next.
    void set_reason(const QString& reason);
    // Forgets the last camera: its line, reason and progress.
    void clear_camera();
    // Shows or hides the serial field (a barcode scanner types into it; a serial scanned before
    // its camera is plugged in waits for it).
    void show_serial_field(bool show);

signals:
    void state_changed(int port, station_window::TileState state);
    // The operator typed or scanned a serial number and pressed Enter.
    void serial_entered(int port, const QString& serial);

private:
    void paint_state();
    void announce();

    int port_;
    QString device_;
    TileState state_ = TileState::Stopped;
    QLabel* state_label_;
    QProgressBar* progress_;
    QLabel* camera_label_;
    QLineEdit* serial_field_;
    QLabel* reason_label_;
};

} // namespace station_window
