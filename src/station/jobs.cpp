#include "station/jobs.h"

#include "codecs/title_codes.h"
#include "station/port_states.h"

#include <QBuffer>
#include <QElapsedTimer>

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

using port_state::kBooting;
using port_state::kReading;
using port_state::kVerifying;
using port_state::kWriting;

JobOutcome failure(LinkStatus status, const QString& reason) { return {result_of(status), reason, {}}; }

// "camera stopped answering at 0x0155" and its kin, for a step at `where`.
QString link_reason(LinkStatus status, const QString& where)
{
    switch (status) {
    case LinkStatus::TimedOut: return QStringLiteral("camera stopped answering at ") + where;
    case LinkStatus::Refused: return QStringLiteral("camera refused ") + where;
    case LinkStatus::LineLost: return QStringLiteral("line lost at ") + where + QStringLiteral(" (cable pulled?)");
    case LinkStatus::Stopped: return QStringLiteral("stopped at ") + where;
    case LinkStatus::Ok: break;
    }
    return {};
}

struct WordRead {
    LinkStatus status;
    int word = kNotNamed;
};

WordRead read_word(StationLink& link, int address)
{
    const Reply reply = link.exchange({kRead, kEeprom, static_cast<std::uint8_t>(address >> 8),
                                       static_cast<std::uint8_t>(address & 0xFF)});
    if (!reply.ok()) return {reply.status};
    return {LinkStatus::Ok, reply.frame[5] * 256 + reply.frame[6]};
}

// Reads the words at `addresses` into `words`; an empty outcome reason means all were read.
JobOutcome read_words(StationLink& link, const QList<int>& addresses, WordMap& words, const QString& state,
                      const ProgressFn& progress)
{
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const int address = addresses[i];
        const WordRead read = read_word(link, address);
        if (read.status != LinkStatus::Ok) return failure(read.status, link_reason(read.status, address_text(address)));
        words[static_cast<std::size_t>(address)] = read.word;
        if (progress) progress(state, static_cast<int>(i + 1), static_cast<int>(addresses.size()));
    }
    return {};
}

QList<int> addresses_where(const WordMap& words, bool named)
{
    QList<int> addresses;
    for (int a = 0; a < data_file::kWords; ++a)
        if ((words[static_cast<std::size_t>(a)] != kNotNamed) == named) addresses.append(a);
    return addresses;
}

bool failed(const JobOutcome& outcome) { return outcome.result != JobResult::Pass; }

// The batch: the camera's own words for the addresses the file does not name, the block, the reset.
JobOutcome write_block(StationLink& link, const MasterFile& file, const ProgressFn& progress)
{
    WordMap camera;
    camera.fill(0);
    JobOutcome read = read_words(link, addresses_where(file.words, false), camera, kReading, progress);
    if (failed(read)) return read;
    if (progress) progress(kWriting, 0, data_file::kWords);
    const Reply reply = link.send_block(block_image(file.words, camera));
    if (!reply.ok()) return failure(reply.status, link_reason(reply.status, QStringLiteral("the block")));
    if (progress) progress(kWriting, data_file::kWords, data_file::kWords);
    const LinkStatus reset = link.send_reset();
    if (reset != LinkStatus::Ok) return failure(reset, link_reason(reset, QStringLiteral("the reset")));
    return {};
}

QString line_place(const frames::Frame& frame, int line)
{
    if (frame[1] == data_file::kParameterRecord && frame[2] == kEeprom)
        return address_text(frame[3] * 256 + frame[4]);
    return QStringLiteral("line %1").arg(line);
}

// Single mode: every line of the file goes out as it stands, as the Copy page replays it; the
// reset line ends the replay.
JobOutcome replay_lines(StationLink& link, const MasterFile& file, const ProgressFn& progress)
{
    QByteArray bytes = file.bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    qint64 pos = 0;
    frames::Frame frame{};
    data_file::Line line;
    for (int number = 1; data_file::read_line(buffer, pos, bytes.size(), line) == data_file::ReadStatus::Line; ++number) {
        if (data_file::frame_from_line(line, frame) != data_file::LineFrame::Converted) break;
        if (frame[1] == frames::kCommandReset) {
            const LinkStatus reset = link.send_reset();
            if (reset != LinkStatus::Ok) return failure(reset, link_reason(reset, QStringLiteral("the reset")));
            break;
        }
        const Reply reply = link.exchange(frame, frames::kMaxCommandLength);
        if (!reply.ok()) return failure(reply.status, link_reason(reply.status, line_place(frame, number)));
        if (progress) progress(kWriting, static_cast<int>(pos), static_cast<int>(bytes.size()));
    }
    return {};
}

JobOutcome wait_for_boot(StationLink& link, int timeout_ms, const ProgressFn& progress)
{
    if (progress) progress(kBooting, 0, 0);
    if (wait_until_answering(link, timeout_ms)) return {};
    if (link.stopped()) return failure(LinkStatus::Stopped, QStringLiteral("stopped while the camera restarted"));
    if (link.line_lost()) return failure(LinkStatus::LineLost, QStringLiteral("line lost while the camera restarted"));
    return failure(LinkStatus::TimedOut,
                   QStringLiteral("camera did not answer within %1 s after its reset").arg(timeout_ms / 1000.0));
}

JobOutcome verify(StationLink& link, const MasterFile& file, const ProgressFn& progress)
{
    WordMap camera;
    camera.fill(kNotNamed);
    JobOutcome read = read_words(link, addresses_where(file.words, true), camera, kVerifying, progress);
    if (failed(read)) return read;
    JobOutcome outcome;
    outcome.differing = differing_addresses(file.words, camera);
    if (outcome.differing.isEmpty()) return outcome;
    outcome.result = JobResult::FailVerify;
    outcome.reason = difference_text(outcome.differing, file.words, camera);
    return outcome;
}

JobOutcome write_and_verify(StationLink& link, const JobSettings& settings, const ProgressFn& progress)
{
    const MasterFile& file = *settings.file;
    JobOutcome written = settings.single ? replay_lines(link, file, progress) : write_block(link, file, progress);
    if (failed(written)) return written;
    if (!settings.verify) return {JobResult::Unverified, QStringLiteral("written, not read back"), {}};
    JobOutcome boot = wait_for_boot(link, settings.boot_timeout_ms, progress);
    if (failed(boot)) return boot;
    return verify(link, file, progress);
}

JobOutcome save(StationLink& link, const QString& path, const ProgressFn& progress)
{
    WordMap words;
    JobOutcome read = read_memory(link, words, progress);
    if (failed(read)) return read;
    frames::ParamImage image{};
    for (std::size_t a = 0; a < words.size(); ++a) image[a] = words[a];
    if (!data_file::save_file(path, data_file::camera_file(image)))
        return {JobResult::Aborted, QStringLiteral("%1: cannot write the file").arg(path), {}};
    return {};
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
    case LinkStatus::LineLost: return JobResult::FailLink;
    case LinkStatus::Stopped: return JobResult::Aborted;
    }
    return JobResult::Aborted;
}

bool wait_until_answering(StationLink& link, int timeout_ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!link.stopped() && !link.line_lost()) {
        const qint64 sent = clock.elapsed();
        if (link.probe()) return true;
        const qint64 next = sent + kProbeIntervalMs;
        if (next > timeout_ms) return false;
        const qint64 wait = next - clock.elapsed();
        if (wait > 0 && !link.pause(static_cast<int>(wait))) return false;
    }
    return false;
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
    switch (settings.command) {
    case Command::Save: return save(link, settings.save_path, progress);
    case Command::Write: return write_and_verify(link, settings, progress);
    case Command::Verify: return verify(link, *settings.file, progress);
    }
    return {};
}

} // namespace station
