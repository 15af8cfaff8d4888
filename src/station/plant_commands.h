#pragma once
// The commands of camera-station that read or change the plant's records rather than cameras:
// `records` (from the server when one is set, across stations), `approve` and `approved`; and
// the forwarding of a run's records to the server.

#include "records/forwarder.h"
#include "station/command_line.h"
#include "station/plant.h"

#include <memory>

namespace station {

// Each returns the exit status: 0 done, 1 the output was closed early, 2 a set-up error.
int list_records(const Options& options, const RecordsPlan& plan);
int approve_master(const Options& options, const RecordsPlan& plan);
int list_approvals(const Options& options, const RecordsPlan& plan);

// A run's records sent to the server while it runs (nothing without a server); what the
// forwarder reports becomes a note of the run.
class RunForwarding {
public:
    RunForwarding(const RecordsPlan& plan, StationEvents& events);
    ~RunForwarding();
    RunForwarding(const RunForwarding&) = delete;
    RunForwarding& operator=(const RunForwarding&) = delete;

    // At the end of the run: sends what waits for a short while, then says what is left.
    void finish();

private:
    void report(const ForwardStatus& status);

    StationEvents& events_;
    std::unique_ptr<Forwarder> forwarder_;
    std::mutex mutex_;
    QString last_text_;
    bool reported_ = false;
};

} // namespace station
