#pragma once
// The clone station's window: a face on the station's own code for a line operator. A master-file
// bar, the port ticks with Start/Stop, a line in large type that says what the window waits for
// (which port asks for a serial number) beside this run's counters, one tile per ticked port,
// and the latest records of the station's database. It fits a 1366x768 screen with nine ports
// and their serial fields, and gives a larger screen to the tiles and the records.
//
// Keyboard and scanner: Space starts and stops the run, and Esc stops it from anywhere, a serial
// field included (a scanner never sends Esc, and a serial may hold a space); Tab passes through
// the records table; every control has its mnemonic and a thick frame when it has the focus.
//
// The master file is read when it is chosen, and what was read is what a run writes (and what
// its records name by SHA-256); a change of the file on disk is noticed and said, and the window
// reads it again only when no run goes on (or the operator stops the run for it). A keep file
// beside it names the words each camera keeps of its own; it is read when chosen and again at
// every Start, and goes when another master file is chosen.

#include "records/forwarder.h"
#include "records/records.h"
#include "station/keep_map.h"
#include "station/plant.h"
#include "station_window/records_reader.h"
#include "station_window/run_events.h"
#include "station_window/sounds.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMap>

#include <memory>

class QCheckBox;
class QComboBox;
class QFileSystemWatcher;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QTimer;

namespace station_window {

class PortTile;
class RetestQuestion;
class YieldPanel;

class StationWindow : public QMainWindow, private RunView {
    Q_OBJECT
public:
    // Where the records go comes from the station's settings file; `db_path` (an SQLite path or a
    // server's URI) and `station_name` override it when given.
    explicit StationWindow(const QString& db_path = {}, QWidget* parent = nullptr, const QString& station_name = {});
    ~StationWindow() override;

    // Loads the master file; false (and a message) when it is not a data file.
    bool open_master_file(const QString& path);
    // Shows the window as it was last left, or maximised the first time.
    void show_as_last_left();
    // Takes the keep file for the runs from now on; false (and a message) when it cannot be read,
    // though it stays chosen (and the run refused) until another is chosen or the master changes.
    bool set_keep_file(const QString& path);
    bool running() const { return run_ != nullptr; }
    PortTile* tile(int port) const { return tiles_.value(port); }
    QCheckBox* port_tick(int port) const { return port_ticks_.value(port); }
    int passed() const { return counts_.passed; }
    int failed() const { return counts_.failed; }
    int unverified() const { return counts_.unverified; }
    // Jobs cut short by Stop: neither failed nor counted in the cameras per hour.
    int stopped() const { return counts_.aborted; }
    int unrecorded() const { return counts_.unrecorded; }

    // The controls, for keyboard and test access.
    QPushButton* start_button() const { return start_button_; }
    QPushButton* export_button() const { return export_button_; }
    QCheckBox* serial_box() const { return serial_box_; }
    QCheckBox* verify_box() const { return verify_box_; }
    QCheckBox* sound_box() const { return sound_box_; }
    QTableWidget* records_table() const { return records_table_; }
    QLabel* records_status() const { return records_status_; }
    QLabel* counters_label() const { return counters_label_; }
    QLabel* run_message() const { return run_message_; }
    // What the window waits for, in large type: the port that asks for a serial number, or why
    // Start is not yet possible.
    QLabel* prompt() const { return prompt_label_; }
    // The first steps, in the middle while no port is ticked.
    QLabel* guide() const { return guide_label_; }
    QLabel* file_facts() const { return file_facts_label_; }
    QPushButton* master_button() const { return open_button_; }
    QPushButton* keep_button() const { return keep_button_; }
    QLabel* keep_facts() const { return keep_label_; }
    QLineEdit* operator_field() const { return operator_field_; }
    QLabel* records_where() const { return records_where_; }
    QLabel* forward_status() const { return forward_status_; }
    QPushButton* yield_button() const { return yield_button_; }
    YieldPanel* yield_panel() const { return yield_panel_; }
    // The records table shows the jobs of this serial number (all when empty) with this result
    // (any when empty).
    QLineEdit* serial_filter() const { return serial_filter_; }
    QComboBox* result_filter() const { return result_filter_; }

public slots:
    void start();
    void stop();
    void start_or_stop();
    // Reads the latest records again (off the window's thread); the table fills in when done.
    void refresh_records();

protected:
    // Closing during a run asks first; the run is then stopped (the jobs in progress recorded)
    // and the window closes once it has ended.
    void closeEvent(QCloseEvent* event) override;
    // The port ticks are looked at again whenever the window comes to the front.
    void changeEvent(QEvent* event) override;

private:
    struct Run;

    QWidget* build_master_bar();
    QWidget* build_ports_row();
    QWidget* build_run_row();
    QWidget* build_prompt_row();
    QWidget* build_middle();
    QWidget* build_records();
    QWidget* build_plant_row();
    void add_records_filters(QWidget* box, QHBoxLayout* head);
    station::JobFilter records_filter() const;
    void open_yield();
    void ask_before_retests(station::StationSettings& settings);
    void start_forwarding();
    bool operator_named();
    void check_records_then_run();
    void records_checked(const station::StartCheck& check);
    void begin_run();
    void run_over();
    void choose_master_file();
    void add_keep_controls(QWidget* bar, QHBoxLayout* row);
    void choose_keep_file();
    bool show_keep_file(station::KeepMap& map, QString* error);
    void clear_keep_file();
    bool keep_map_for_run(station::KeepMap& map);
    void export_csv();
    void rebuild_tiles();
    void fit_to_tiles();
    void refresh_ports();
    void lock_settings(bool locked);
    QString start_blocker() const;
    void show_readiness();
    void show_prompt();
    void no_longer_asking(int port);
    void show_run_message(const QString& text);
    void show_counters();
    void show_records(const QList<station::JobRow>& rows, const QString& error);
    void write_csv(const QList<station::JobRow>& rows, const QString& error);
    void check_master_file();
    void master_file_changed(const QString& sha256);
    void stop_for(const QString& cause);
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

    station::RecordsPlan plan_;
    QString plan_error_; // the settings file or the database named cannot be used: no run starts
    std::unique_ptr<station::Forwarder> forwarder_;
    RecordsReader* reader_ = nullptr;
    bool reread_records_ = false; // a refresh was asked for while a read went on
    std::unique_ptr<station::MasterFile> master_;
    QFileSystemWatcher* master_watch_ = nullptr;
    QString ignored_master_sha_; // a change on disk the operator chose to leave for this run
    bool reload_master_after_run_ = false;
    bool close_after_run_ = false;
    std::unique_ptr<Run> run_;
    Sounds sounds_;
    QElapsedTimer run_clock_;
    qint64 run_ms_ = 0; // how long the last run went, once it has ended
    int asking_port_ = 0; // the port whose tile asks for a serial number; 0: none
    QMap<int, bool> port_present_; // whether each port's device existed when last looked at
    station::Summary counts_; // this run's cameras

    QPushButton* open_button_ = nullptr;
    QLabel* file_label_ = nullptr;
    QLabel* file_facts_label_ = nullptr;
    QString keep_path_; // empty: none
    QPushButton* keep_button_ = nullptr;
    QLabel* keep_label_ = nullptr;
    QComboBox* mode_box_ = nullptr;
    QCheckBox* verify_box_ = nullptr;
    QMap<int, QCheckBox*> port_ticks_;
    QTimer* ports_timer_ = nullptr;
    QCheckBox* serial_box_ = nullptr;
    QCheckBox* sound_box_ = nullptr;
    QPushButton* start_button_ = nullptr;
    QLabel* prompt_label_ = nullptr;
    QLabel* counters_label_ = nullptr;
    QTimer* counters_timer_ = nullptr; // cameras per hour go down while none finishes
    QLabel* run_message_ = nullptr;    // what the operator must know about the run as a whole
    QStackedWidget* middle_ = nullptr;
    QLabel* guide_label_ = nullptr;
    QGridLayout* tiles_layout_ = nullptr;
    QMap<int, PortTile*> tiles_;
    QTableWidget* records_table_ = nullptr;
    QLabel* records_status_ = nullptr; // why the table shows no (new) rows
    QTimer* records_retry_timer_ = nullptr;
    QPushButton* export_button_ = nullptr;
    QLineEdit* operator_field_ = nullptr;
    QLabel* records_where_ = nullptr;
    QLabel* forward_status_ = nullptr; // how many records wait for the server, and since when
    QPushButton* yield_button_ = nullptr;
    YieldPanel* yield_panel_ = nullptr; // made when first opened
    QLineEdit* serial_filter_ = nullptr;
    QComboBox* result_filter_ = nullptr;
};

} // namespace station_window
