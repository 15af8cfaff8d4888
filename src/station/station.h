#pragma once
// The station: one thread per port, each with its own serial link and database connection,
// running one job or, in the line mode, a job for every camera plugged in until it is stopped.
// One port's failure never ends another's.

#include "station/jobs.h"
#include "station/output.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
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
};

// Where the station gets each camera's serial number from (typed or scanned by the operator).
class SerialSource {
public:
    virtual ~SerialSource() = default;
    // Called once before the ports run, when serial numbers are asked for.
    virtual void start() {}
    // The serial number of the next camera on `port`, waiting for it on the port's thread;
    // nothing once no more can come (input ended, the station stops).
    virtual std::optional<QString> next(int port) = 0;
    // From any thread: ends every wait in next().
    virtual void stop() = 0;
};

// Lines typed or scanned on standard input, handed out in the order the ports ask for them.
class StdinSerialSource final : public SerialSource {
public:
    void start() override; // reads standard input on a thread of its own
    std::optional<QString> next(int port) override;
    void stop() override;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> lines_;
    bool ended_ = false;
};

class Station {
public:
    // Serial numbers come from `serials` when given, otherwise from standard input.
    Station(const StationSettings& settings, StationEvents& output, SerialSource* serials = nullptr);
    ~Station(); // stops and waits for a run still going
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Runs every port to its end (or until stop()); returns the exit status: 0 every camera
    // passed (or was written unverified), 1 any failed or was aborted, 2 a port could not be set up.
    int run();
    // Starts every port on a thread of its own and returns; `ended` is called on the thread of
    // the last port to end. A window runs the station this way, then calls wait().
    void start(std::function<void()> ended);
    // Waits for every port's thread to end; returns the exit status as run() does.
    int wait();
    // From any thread (a signal handler's notifier): ends every wait and job at once.
    void stop();
    Summary summary() const;

private:
    class Port;
    void note_master_file();
    void count(JobResult result);
    void port_ended();

    const StationSettings& settings_;
    StationEvents& output_;
    StdinSerialSource stdin_serials_;
    SerialSource* serials_;
    std::vector<std::unique_ptr<Port>> ports_;
    QList<QThread*> threads_;
    std::atomic<int> ports_left_{0};
    std::function<void()> ended_;
    std::mutex ports_mutex_;
    QList<Port*> running_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> setup_failed_{false};
    mutable std::mutex summary_mutex_;
    Summary summary_;
};

} // namespace station
