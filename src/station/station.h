#pragma once
// The station: one thread per port, each with its own serial link and database connection,
// running one job or, in the line mode, a job for every camera plugged in until it is stopped.
// One port's failure never ends another's.

#include "station/jobs.h"
#include "station/output.h"

#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace station {

struct StationSettings {
    JobSettings job;
    QList<int> ports{1};
    std::uint8_t camera_id = 1;
    bool loop = false;
    bool ask_serial = false; // read each camera's serial number from standard input
    QString db_path;
};

// Lines typed or scanned on standard input, handed out in the order the ports ask for them.
class SerialSource {
public:
    void start(); // reads standard input on a thread of its own
    // The next line; nothing once input has ended or the station stops.
    std::optional<QString> next();
    void stop();

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> lines_;
    bool ended_ = false;
};

class Station {
public:
    Station(const StationSettings& settings, Output& output);

    // Runs every port to its end (or until stop()); returns the exit status: 0 every camera
    // passed (or was written unverified), 1 any failed or was aborted, 2 a port could not be set up.
    int run();
    // From any thread (a signal handler's notifier): ends every wait and job at once.
    void stop();
    Summary summary() const;

private:
    class Port;
    void count(JobResult result);

    const StationSettings& settings_;
    Output& output_;
    SerialSource serials_;
    std::mutex ports_mutex_;
    QList<Port*> running_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> setup_failed_{false};
    mutable std::mutex summary_mutex_;
    Summary summary_;
};

} // namespace station
