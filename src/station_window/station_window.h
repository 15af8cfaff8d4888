#pragma once
// The clone station's window: a face on the station's own code for a line operator. A master-file
// bar, the port ticks, Start/Stop with this run's counters, one tile per ticked port, and the
// latest records of the station's database.

#include "records/records.h"
#include "station_window/run_events.h"
#include "station_window/sounds.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMap>

#include <memory>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace station_window {

class PortTile;

class StationWindow : public QMainWindow, private RunView {
    Q_OBJECT
public:
    // `db_path`: the records' database; empty for the station's default.
    explicit StationWindow(const QString& db_path = {}, QWidget* parent = nullptr);
    ~StationWindow() override;

    // Loads the master file; false (and a message) when it is not a data file.
    bool open_master_file(const QString& path);
    bool running() const { return run_ != nullptr; }
    PortTile* tile(int port) const { return tiles_.value(port); }
    QCheckBox* port_tick(int port) const { return port_ticks_.value(port); }
    int passed() const { return passed_; }
    int failed() const { return failed_; }

    // The controls, for keyboard and test access.
    QPushButton* start_button() const { return start_button_; }
    QPushButton* export_button() const { return export_button_; }
    QCheckBox* serial_box() const { return serial_box_; }
    QCheckBox* sound_box() const { return sound_box_; }
    QTableWidget* records_table() const { return records_table_; }
    QLabel* counters_label() const { return counters_label_; }

public slots:
    void start();
    void stop();
    void start_or_stop();

private:
    struct Run;

    QWidget* build_master_bar();
    QWidget* build_ports_row();
    QWidget* build_run_row();
    QWidget* build_records();
    void keep_space_for(QWidget* control);
    void choose_master_file();
    void export_csv();
    void rebuild_tiles();
    void lock_settings(bool locked);
    void show_counters();
    void refresh_records();
    void run_ended();
    void remember();
    void restore();

    void port_state(int port, const QString& state) override;
    void port_progress(int port, const QString& state, int done, int total) override;
    void camera_finished(const station::CameraReport& report) override;
    void camera_unrecorded(const station::CameraReport& report, const QString& why) override;
    void scan_refused(int port, const QString& serial, const QString& why) override;
    void port_note(int port, const QString& text) override;
    void port_error(int port, const QString& text) override;

    station::Records records_;
    QString db_path_;
    std::unique_ptr<station::MasterFile> master_;
    std::unique_ptr<Run> run_;
    Sounds sounds_;
    QElapsedTimer run_clock_;
    int passed_ = 0;
    int failed_ = 0;
    int finished_ = 0;

    QPushButton* open_button_ = nullptr;
    QLabel* file_label_ = nullptr;
    QLabel* file_facts_label_ = nullptr;
    QComboBox* mode_box_ = nullptr;
    QCheckBox* verify_box_ = nullptr;
    QMap<int, QCheckBox*> port_ticks_;
    QCheckBox* serial_box_ = nullptr;
    QCheckBox* sound_box_ = nullptr;
    QPushButton* start_button_ = nullptr;
    QLabel* counters_label_ = nullptr;
    QTimer* counters_timer_ = nullptr; // cameras per hour go down while none finishes
    QGridLayout* tiles_layout_ = nullptr;
    QMap<int, PortTile*> tiles_;
    QTableWidget* records_table_ = nullptr;
    QPushButton* export_button_ = nullptr;
};

} // namespace station_window
