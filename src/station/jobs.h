#pragma once
// What the station does with one camera over its link: save its memory to a data file, write a
// data file into it (as the Copy page's batch or single mode does) and prove it by reading every
// word the file names back after the camera restarted, or only the read-back.

#include "records/records.h"
#include "station/keep_map.h"
#include "station/master_file.h"
#include "station/station_link.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace station {

enum class Command { Save, Write, Verify };

struct JobSettings {
    Command command = Command::Write;
    bool single = false;          // write: replay the file line by line instead of the block
    bool verify = true;           // write: read back afterwards
    int boot_timeout_ms = 15000;  // how long a camera may stay silent after its reset
    const MasterFile* file = nullptr; // write and verify
    KeepMap keep;                 // write and verify: the words each camera keeps of its own
    QString save_path;            // save
};

// Called at every step: the state (the job steps of port_states.h) and the words
// done of the total of that state.
using ProgressFn = std::function<void(const QString& state, int done, int total)>;

struct JobOutcome {
    JobResult result = JobResult::Pass;
    QString reason;          // one line; empty for a pass
    QList<int> differing;    // every address whose read-back differed
    // The title and COMM ID read again after the camera's restart, when the job got that far.
    std::optional<CameraIdentity> identity;
    QString file_sha256{}; // save: the SHA-256 of the file written
};

// Reads the title (four blocks) and the communication ID. A refused read leaves that item
// unknown; a camera that does not answer fails with the link's outcome.
JobOutcome read_identity(StationLink& link, CameraIdentity& identity);

// Runs one job on the camera at the other end of `link`.
JobOutcome run_job(StationLink& link, const JobSettings& settings, const ProgressFn& progress);

// Reads all 1024 words of the camera's memory, as Camera->PC does.
JobOutcome read_memory(StationLink& link, WordMap& words, const ProgressFn& progress);

// The address the probes of a job read: the word it watches the camera by, when it has one.
int probe_address(const JobSettings& settings);

// Probes (reads the word at `address`) every 0.5 s until the camera answers, at most
// `timeout_ms`.
bool wait_until_answering(StationLink& link, int address, int timeout_ms);
// "no camera answered on /dev/ttyUSB0 within 15 s": why a wait for a camera ended.
QString no_camera_reason(const QString& device, int timeout_ms);

// The result a link outcome gives a job.
JobResult result_of(LinkStatus status);

} // namespace station
