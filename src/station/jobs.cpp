#include "station/jobs.h"

#include "codecs/title_codes.h"
#include "station/fingerprint.h"
#include "station/port_states.h"

#include <QElapsedTimer>

#include <algorithm>
#include <optional>

namespace station {
namespace {

constexpr std::uint8_t kRead = 0x33;
constexpr std::uint8_t kEeprom = data_file::kParameterSubCode;
constexpr std::uint8_t kTitle = 0x10;
constexpr std::uint8_t kSetupGroup = 0x50;
constexpr std::uint8_t kCommGroup = 0x06;
constexpr std::size_t kCommIdByte = 9;
constexpr int kProbeIntervalMs = 500;
// A camera acts on its reset at once or a moment later; one that still answers this long after
// it ignored the reset.
constexpr int kResetIgnoredAfterMs = 1000;
// Between two probes that a camera not yet silent after its reset answered.
constexpr int kAnsweredProbeGapMs = 50;
// Between the repeats of a probe once the camera is silent after its reset: how late at most the
// station learns that it is back.
constexpr int kRestartProbeEveryMs = 50;

using port_state::kBooting;
using port_state::kReading;
using port_state::kVerifying;
using port_state::kWriting;

JobOutcome failure(LinkStatus status, const QString& reason) { return {result_of(status), reason, {}, {}}; }

// "camera stopped answering at 0x0155" and its kin, for a step at `where`.
QString link_reason(LinkStatus status, const QString& where)
{
    switch (status) {
    case LinkStatus::TimedOut: return QStringLiteral("camera stopped answering at ") + where;
    case LinkStatus::Refused: return QStringLiteral("camera refused ") + where;
    case LinkStatus::LineLost: return QStringLiteral("line lost at ") + where + QStringLiteral(" (cable pulled?)");
    case LinkStatus::CameraLeft: return QStringLiteral("the camera left at ") + where + QStringLiteral(" (DSR dropped)");
    case LinkStatus::Stopped: return QStringLiteral("stopped at ") + where;
    case LinkStatus::Ok: break;
    }
    return {};
}

bool failed(const JobOutcome& outcome) { return outcome.result != JobResult::Pass; }

// Reads the words at `addresses` into `words`; an empty outcome reason means all were read.
JobOutcome read_words(StationLink& link, const QList<int>& addresses, WordMap& words, const QString& state,
                      const ProgressFn& progress)
{
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const int address = addresses[i];
        const Reply reply = link.read_word(address);
        if (!reply.ok()) return failure(reply.status, link_reason(reply.status, address_text(address)));
        words[static_cast<std::size_t>(address)] = StationLink::word_of(reply);
        if (progress) progress(state, static_cast<int>(i + 1), static_cast<int>(addresses.size()));
    }
    return {};
}

// The camera's own words as read in one pass: those that identify it and its other kept words.
struct OwnFingerprint {
    Fingerprint identity;
    Fingerprint kept;
    // Every own word, for the block's entries that the write does not set.
    WordMap words() const
    {
        WordMap all;
        all.fill(0);
        for (const Fingerprint* part : {&identity, &kept})
            for (const auto& [address, word] : part->words()) all[static_cast<std::size_t>(address)] = word;
        return all;
    }
};

JobOutcome read_own_words(StationLink& link, const OwnWords& own, OwnFingerprint& fingerprint, const QString& state,
                          const ProgressFn& progress)
{
    WordMap words;
    words.fill(kNotNamed);
    JobOutcome read = read_words(link, own.all(), words, state, progress);
    if (failed(read)) return read;
    fingerprint = OwnFingerprint{};
    for (int address : own.identity) fingerprint.identity.add(address, words[static_cast<std::size_t>(address)]);
    for (int address : own.kept) fingerprint.kept.add(address, words[static_cast<std::size_t>(address)]);
    return {};
}

JobOutcome send_reset(StationLink& link)
{
    const LinkStatus reset = link.send_reset();
    if (reset != LinkStatus::Ok) return failure(reset, link_reason(reset, QStringLiteral("the reset")));
    return {};
}

// The batch: the block of the words the write sets and the camera's own for the others, the reset.
JobOutcome write_block(StationLink& link, const WordMap& written, const OwnFingerprint& own, const ProgressFn& progress)
{
    if (progress) progress(kWriting, 0, data_file::kWords);
    const Reply reply = link.send_block(block_image(written, own.words()));
    if (!reply.ok()) return failure(reply.status, link_reason(reply.status, QStringLiteral("the block")));
    if (progress) progress(kWriting, data_file::kWords, data_file::kWords);
    return send_reset(link);
}

// Single mode: each word record of the file as its own EEPROM write, in the file's order, but
// none for a kept address; then the reset: the file's own reset line, or the station's when the
// file has none.
JobOutcome replay_records(StationLink& link, const MasterFile& file, const KeepMap& keep, const ProgressFn& progress)
{
    QList<WordRecord> sent;
    for (const WordRecord& r : file.records)
        if (!keep.contains(r.address)) sent.append(r);
    const int total = static_cast<int>(sent.size());
    for (int i = 0; i < total; ++i) {
        const WordRecord& r = sent[i];
        const Reply reply = link.exchange({data_file::kParameterRecord, kEeprom, static_cast<std::uint8_t>(r.address >> 8),
                                           static_cast<std::uint8_t>(r.address & 0xFF), static_cast<std::uint8_t>(r.word >> 8),
                                           static_cast<std::uint8_t>(r.word & 0xFF)});
        if (!reply.ok()) return failure(reply.status, link_reason(reply.status, address_text(r.address)));
        if (progress) progress(kWriting, i + 1, total);
    }
    return send_reset(link);
}

// The camera counts as restarted once it was seen to go silent after its reset and then to
// answer again. Answers before the silence come from a camera that has not acted on the reset
// yet (or never will). Silence is a probe unanswered for its whole 0.3 s; from then on the camera
// is restarting and answers nothing until it is back, so the probe is repeated every 50 ms and
// the first answer to any repeat is the camera back.
JobOutcome wait_for_restart(StationLink& link, int address, int timeout_ms, const ProgressFn& progress)
{
    if (progress) progress(kBooting, 0, 0);
    QElapsedTimer since_reset;
    since_reset.start();
    bool went_silent = false;
    while (true) {
        const std::optional<int> answer =
            went_silent ? link.probe_repeating(address, kRestartProbeEveryMs, kProbeTimeoutMs) : link.probe(address);
        if (link.stopped()) return failure(LinkStatus::Stopped, QStringLiteral("stopped while the camera restarted"));
        if (link.camera_left())
            return failure(LinkStatus::CameraLeft, QStringLiteral("the camera left while it restarted (DSR dropped)"));
        if (link.line_lost()) return failure(LinkStatus::LineLost, QStringLiteral("line lost while the camera restarted"));
        if (answer && went_silent) return {};
        if (!answer) went_silent = true;
        if (answer && since_reset.elapsed() >= std::min(kResetIgnoredAfterMs, timeout_ms))
            return {JobResult::FailRefused,
                    QStringLiteral("camera ignored its reset: it went on answering for %1 s").arg(since_reset.elapsed() / 1000.0),
                    {}, {}};
        if (since_reset.elapsed() >= timeout_ms)
            return failure(LinkStatus::TimedOut,
                           QStringLiteral("camera did not answer within %1 s after its reset").arg(timeout_ms / 1000.0));
        if (answer && !link.pause(kAnsweredProbeGapMs))
            return failure(LinkStatus::Stopped, QStringLiteral("stopped while the camera restarted"));
    }
}

// Reads back every word `expected` names and compares.
JobOutcome verify(StationLink& link, const WordMap& expected, const ProgressFn& progress)
{
    WordMap camera;
    camera.fill(kNotNamed);
    QList<int> named;
    for (int a = 0; a < data_file::kWords; ++a)
        if (expected[static_cast<std::size_t>(a)] != kNotNamed) named.append(a);
    JobOutcome read = read_words(link, named, camera, kVerifying, progress);
    if (failed(read)) return read;
    JobOutcome outcome;
    outcome.differing = differing_addresses(expected, camera);
    if (outcome.differing.isEmpty()) return outcome;
    outcome.result = JobResult::FailVerify;
    outcome.reason = difference_text(outcome.differing, expected, camera);
    return outcome;
}

// A kept word that is not what the camera held before the write fails the job, named first.
void add_kept_changes(const Fingerprint& before, const Fingerprint& after, JobOutcome& outcome)
{
    const QList<int> changed = before.changed_in(after);
    if (changed.isEmpty() || (failed(outcome) && outcome.result != JobResult::FailVerify)) return;
    const QString kept = before.kept_change_to(after);
    outcome.reason = outcome.reason.isEmpty() ? kept : kept + QStringLiteral("; ") + outcome.reason;
    outcome.result = JobResult::FailVerify;
    outcome.differing += changed;
    std::sort(outcome.differing.begin(), outcome.differing.end());
}

// After the restart: the same camera (the words that identify it unchanged), its title and COMM
// ID as it now holds them, every word the write set, and every kept word as it was.
JobOutcome verify_after_restart(StationLink& link, const WordMap& written, const OwnWords& own,
                                const OwnFingerprint& before, const ProgressFn& progress)
{
    OwnFingerprint after;
    JobOutcome read = read_own_words(link, own, after, kVerifying, progress);
    if (failed(read)) return read;
    if (const QString change = before.identity.change_to(after.identity); !change.isEmpty())
        return {JobResult::FailLink, change, {}, {}};
    CameraIdentity identity;
    JobOutcome identified = read_identity(link, identity);
    if (failed(identified)) return identified;
    JobOutcome outcome = verify(link, written, progress);
    outcome.identity = identity;
    add_kept_changes(before.kept, after.kept, outcome);
    return outcome;
}

JobOutcome write_and_verify(StationLink& link, const JobSettings& settings, const ProgressFn& progress)
{
    const MasterFile& file = *settings.file;
    const WordMap written = written_words(file, settings.keep);
    const OwnWords own = own_words(file, settings.keep);
    OwnFingerprint before;
    JobOutcome read = read_own_words(link, own, before, kReading, progress);
    if (failed(read)) return read;
    JobOutcome done = settings.single ? replay_records(link, file, settings.keep, progress)
                                      : write_block(link, written, before, progress);
    if (failed(done)) return done;
    if (!settings.verify) return {JobResult::Unverified, QStringLiteral("written, not read back"), {}, {}};
    JobOutcome boot = wait_for_restart(link, probe_address(settings), settings.boot_timeout_ms, progress);
    if (failed(boot)) return boot;
    return verify_after_restart(link, written, own, before, progress);
}

JobOutcome save(StationLink& link, const QString& path, const ProgressFn& progress)
{
    WordMap words;
    JobOutcome read = read_memory(link, words, progress);
    if (failed(read)) return read;
    frames::ParamImage image{};
    for (std::size_t a = 0; a < words.size(); ++a) image[a] = words[a];
    const QByteArray file = data_file::camera_file(image);
    if (!data_file::save_file(path, file))
        return {JobResult::Aborted, QStringLiteral("%1: cannot write the file").arg(path), {}, {}};
    JobOutcome saved;
    saved.file_sha256 = sha256_text(file);
    return saved;
}

std::optional<QString> read_title(StationLink& link, LinkStatus& status)
{
    QString title;
    for (int block = 0; block < kTitleBlocks; ++block) {
        const Reply reply = link.exchange({kRead, kTitle, 0x01, static_cast<std::uint8_t>(block)});
        status = reply.status;
        if (!reply.ok()) return std::nullopt;
        for (int i = 0; i < kTitleBlockChars; ++i) {
            const auto at = static_cast<std::size_t>(5 + 2 * i);
            title += title_code_char(static_cast<std::uint16_t>(reply.frame[at] * 256 + reply.frame[at + 1]));
        }
    }
    return title;
}

// A title shorter than 20 characters reads back padded with spaces.
QString without_trailing_spaces(QString text)
{
    while (text.endsWith(QLatin1Char(' '))) text.chop(1);
    return text;
}

} // namespace

JobResult result_of(LinkStatus status)
{
    switch (status) {
    case LinkStatus::Ok: return JobResult::Pass;
    case LinkStatus::Refused: return JobResult::FailRefused;
    case LinkStatus::TimedOut:
    case LinkStatus::LineLost:
    case LinkStatus::CameraLeft: return JobResult::FailLink;
    case LinkStatus::Stopped: return JobResult::Aborted;
    }
    return JobResult::Aborted;
}

int probe_address(const JobSettings& settings)
{
    const std::optional<int> watched = settings.file ? watched_address(*settings.file, settings.keep) : std::nullopt;
    return watched.value_or(kLastAddress);
}

bool wait_until_answering(StationLink& link, int address, int timeout_ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!link.stopped() && !link.line_lost()) {
        const qint64 sent = clock.elapsed();
        if (link.probe(address)) return true;
        const qint64 next = sent + kProbeIntervalMs;
        if (next > timeout_ms) return false;
        const qint64 wait = next - clock.elapsed();
        if (wait > 0 && !link.pause(static_cast<int>(wait))) return false;
    }
    return false;
}

QString no_camera_reason(const QString& device, int timeout_ms)
{
    return QStringLiteral("no camera answered on %1 within %2 s").arg(device).arg(timeout_ms / 1000.0);
}

JobOutcome read_identity(StationLink& link, CameraIdentity& identity)
{
    LinkStatus status = LinkStatus::Ok;
    if (const std::optional<QString> title = read_title(link, status)) identity.title = without_trailing_spaces(*title);
    if (status != LinkStatus::Ok && status != LinkStatus::Refused)
        return failure(status, link_reason(status, QStringLiteral("the title read")));
    const Reply comm = link.exchange({kRead, kSetupGroup, kCommGroup});
    if (comm.ok()) identity.comm_id = comm.frame[kCommIdByte];
    if (comm.status != LinkStatus::Ok && comm.status != LinkStatus::Refused)
        return failure(comm.status, link_reason(comm.status, QStringLiteral("the COMM ID read")));
    return {};
}

JobOutcome read_memory(StationLink& link, WordMap& words, const ProgressFn& progress)
{
    words.fill(kNotNamed);
    QList<int> all;
    for (int a = 0; a < data_file::kWords; ++a) all.append(a);
    return read_words(link, all, words, kReading, progress);
}

JobOutcome run_job(StationLink& link, const JobSettings& settings, const ProgressFn& progress)
{
    JobOutcome outcome;
    switch (settings.command) {
    case Command::Save: outcome = save(link, settings.save_path, progress); break;
    case Command::Write: outcome = write_and_verify(link, settings, progress); break;
    case Command::Verify: outcome = verify(link, written_words(*settings.file, settings.keep), progress); break;
    }
    // The last read may have come just before the camera was pulled.
    if (!failed(outcome) && link.camera_left())
        return failure(LinkStatus::CameraLeft, QStringLiteral("the camera left during the job (DSR dropped)"));
    return outcome;
}

} // namespace station
