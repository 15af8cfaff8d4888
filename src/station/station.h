#pragma once
// The station: one thread per port, each with its own serial link and database connection,
// running one job or, in the line mode, a job for every camera plugged in until it is stopped.
// One port's failure never ends another's.

#include "station/jobs.h"
#include "station/output.h"
#include "station/serial_numbers.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

namespace station {

struct StationSettings {
    JobSettings job;
    QList<int> ports{1};
    std::uint8_t camera_id = 1;
    bool loop = false;
    bool ask_serial = false; // ask for each camera's serial number before its job
    QString db_path;
    // Named in every record.
    QString station_name;
    QString operator_name;
    bool forward = false; // the records are a journal whose rows wait for the plant's server
    // Asked on the port's thread before a camera that already passed with this master is written
    // again: true writes it (the record says the retest was confirmed), false leaves it as it is.
    // Unset: such a camera is not written.
    std::function<bool(int port, const QString& serial)> confirm_retest;
};

// Every camera written has its record: a port begins the job's row before it writes anything
// into the camera, and gives the job's result only once the row is completed. While the database
// is locked by another program or full, the port waits to record (it tries again every second and
// takes no new camera); a failure that waiting cannot mend (the file deleted, no permission)
// stops the station. A job whose row is still incomplete when the station stops is reported as
// not recorded, with the result it would have had, and the run exits with 1.
class Station : private SerialArbiter::Listener {
public:
    // Serial numbers come from `serials` when given (the window's tiles), otherwise from
    // standard input.
    Station(const StationSettings& settings, StationEvents& output, SerialArbiter* serials = nullptr);
    ~Station() override; // stops and waits for a run still going
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Runs every port to its end (or until stop()); returns the exit status: 0 every camera
    // passed (or was written unverified), 1 any failed, was stopped or not recorded, or the
    // input ended before a camera that waited was named, 2 a port could not be set up.
    int run();
    // Starts every port on a thread of its own and returns; `ended` is called on the thread of
    // the last port to end. A window runs the station this way, then calls wait().
    void start(std::function<void()> ended);
    // Waits for every port's thread to end; returns the exit status as run() does.
    int wait();
    // From any thread (a signal's notifier, a broken output): ends every wait and job at once;
    // the jobs cut short are recorded as aborted, their reason naming `cause` ("interrupted").
    void stop(const QString& cause = {});
    Summary summary() const;

private:
    class Port;
    void note_master_file();
    void count(JobResult result);
    void count_unrecorded();
    void port_ended();
    QString stop_cause() const;
    // A write to the records failed in a way that waiting does not mend.
    void records_broken(int port, const QString& error);
    // The input of serial numbers has ended (a run that asks for them).
    bool input_ended() const { return settings_.ask_serial && serials_->ended(); }

    // SerialArbiter::Listener
    void asking(int port) override;
    void queued(int port) override;
    void refused(int at_port, const QString& serial, const QString& why) override;
    void scanned(int at_port) override;

    const StationSettings& settings_;
    StationEvents& output_;
    std::shared_ptr<SerialArbiter> stdin_serials_; // shared with the thread reading standard input
    SerialArbiter* serials_;
    std::vector<std::unique_ptr<Port>> ports_;
    QList<QThread*> threads_;
    std::atomic<int> ports_left_{0};
    std::function<void()> ended_;
    std::mutex ports_mutex_;
    QList<Port*> running_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> setup_failed_{false};
    std::atomic<bool> camera_unnamed_{false}; // a camera waited for a serial the input never gave
    std::atomic<bool> records_broken_{false};
    std::atomic<bool> retest_declined_{false}; // a camera that passed already was not written again
    bool input_on_terminal_ = false; // serial numbers typed on the terminal the output may be shown on
    mutable std::mutex summary_mutex_;
    Summary summary_;
    QString stop_cause_;
};

} // namespace station
