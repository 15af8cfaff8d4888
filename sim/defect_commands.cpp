// The simulated camera's answers to the CCD Defect page's own commands (sub-code 0x36).

#include "camera_model.h"
#include "reply_fields.h"

namespace sim {
namespace {

constexpr std::uint8_t kDefectGroup = 0x36;
constexpr std::uint16_t kXMask = 0x3FF;
constexpr std::uint16_t kYMask = 0x1FF;

// The seeded defective pixels of the simulated sensor.
const DefectPixel kSensorDefects[] = {
    {0x012, 0x005, false, false},
    {0x2A0, 0x0F3, true, false},
    {0x155, 0x0AA, false, true},
    {0x0C8, 0x064, true, true},
};

} // namespace

DefectState::DefectState() : sensor_defects(std::begin(kSensorDefects), std::end(kSensorDefects)) {}

bool DefectState::in_table(const DefectPixel& p) const
{
    for (const DefectEntry& e : entries)
        if (e.enabled && e.x == p.x && e.y == p.y) return true;
    return false;
}

DefectState::Found DefectState::store(std::size_t defect, std::size_t entry)
{
    const DefectPixel& p = sensor_defects[defect];
    entries[entry] = {true, p.fix, p.rev, p.x, p.y};
    last_defect_ = defect;
    last_entry_ = entry;
    have_last_ = true;
    next_defect_ = defect + 1;
    return {kFound, static_cast<std::uint8_t>(entry + 1), p};
}

DefectState::Found DefectState::search_from(std::size_t index)
{
    for (std::size_t d = index; d < sensor_defects.size(); ++d) {
        if (in_table(sensor_defects[d])) continue;
        for (std::size_t e = 0; e < kEntries; ++e)
            if (!entries[e].enabled) return store(d, e);
        break; // the table is full
    }
    next_defect_ = sensor_defects.size();
    return {};
}

DefectState::Found DefectState::search_start() { return search_from(0); }
DefectState::Found DefectState::search_next() { return search_from(next_defect_); }

DefectState::Found DefectState::search_retry()
{
    if (!have_last_) return {};
    return store(last_defect_, last_entry_);
}

std::array<std::uint8_t, 4> DefectState::encoded(std::size_t e) const
{
    const DefectEntry& d = entries[e];
    const int v = (d.y & kYMask) | (d.enabled ? 1 << 9 : 0) | (d.fix ? 1 << 10 : 0) | (d.rev ? 1 << 11 : 0);
    // The unused high bits are set in H, to show that the tool ignores them.
    const int h = (d.x & kXMask) | 0xFC00;
    return {static_cast<std::uint8_t>(h >> 8), static_cast<std::uint8_t>(h & 0xFF), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v & 0xFF)};
}

void DefectState::on_reset()
{
    entries = saved;
    cursor = 0;
    next_defect_ = 0;
    have_last_ = false;
}

std::optional<CameraModel::Handler> CameraModel::find_defect_handler(std::uint8_t command_class, std::uint8_t sub)
{
    if (sub != kDefectGroup) return std::nullopt;
    if (command_class == kClassWrite) return &CameraModel::defect_write;
    if (command_class == kClassRead) return &CameraModel::defect_read;
    return std::nullopt;
}

// 0x23 0x36 item ...: the search, the table's flags and positions, cursor, lens and save.
CameraModel::Outcome CameraModel::defect_write(const frames::Frame& command, frames::Frame& reply)
{
    const std::uint8_t item = command[3];
    if (item == 0x30 || item == 0x31 || item == 0x32) {
        const DefectState::Found found =
            item == 0x30 ? defect_.search_start() : item == 0x31 ? defect_.search_next() : defect_.search_retry();
        reply[4] = found.code;
        reply[5] = found.entry_number;
        put_word(reply, 6, found.pixel.x);
        put_word(reply, 8, found.pixel.y);
        reply[10] = found.pixel.fix ? 1 : 0;
        reply[11] = found.pixel.rev ? 1 : 0;
        return Outcome::Answer;
    }
    echo_command_data(command, reply);
    const std::size_t entry = command[4];
    const bool on = command[5] != 0;
    const auto entry_ok = [&] { return entry < DefectState::kEntries; };
    switch (item) {
    case 0x01: defect_.cursor = command[4]; break;
    case 0x02:
        if (!entry_ok()) break;
        defect_.entries[entry].x = word_at(command, 5) & kXMask;
        defect_.entries[entry].y = word_at(command, 7) & kYMask;
        return Outcome::Answer;
    case 0x03:
        if (entry_ok()) defect_.entries[entry].enabled = on;
        break;
    case 0x10:
        if (entry_ok()) defect_.entries[entry].fix = on;
        break;
    case 0x11:
        if (entry_ok()) defect_.entries[entry].rev = on;
        break;
    case 0x05: defect_.lens = command[4]; return Outcome::Answer;
    case 0x20:
        defect_.saved = defect_.entries;
        ++defect_.save_count;
        return Outcome::Answer;
    default: reply[1] = kReplyRefused; return Outcome::Answer;
    }
    if (item != 0x01 && !entry_ok()) reply[1] = kReplyRefused;
    return Outcome::Answer;
}

// 0x33 0x36 item: the table in three reads (A-C, D-F, G) and the measurement pair.
CameraModel::Outcome CameraModel::defect_read(const frames::Frame& command, frames::Frame& reply)
{
    const std::uint8_t item = command[3];
    if (item >= 0x40 && item <= 0x42) {
        if (item == defect_.refused_table_item) {
            reply[1] = kReplyRefused;
            return Outcome::Answer;
        }
        const std::size_t first = static_cast<std::size_t>(item - 0x40) * 3;
        for (std::size_t i = 0; i < 3 && first + i < DefectState::kEntries; ++i) {
            const auto bytes = defect_.encoded(first + i);
            std::copy(bytes.begin(), bytes.end(), reply.begin() + 4 + static_cast<std::ptrdiff_t>(4 * i));
        }
        // Reply byte 15 is data here (the last byte of entry C or F), not the camera ID.
        return Outcome::Answer;
    }
    if (item == 0x0C || item == 0x0D) {
        // The level around the cursor's entry in the even (0x0C) or odd (0x0D) field.
        const std::size_t entry = defect_.cursor >= 1 && defect_.cursor <= DefectState::kEntries ? defect_.cursor - 1u : 0;
        const DefectEntry& e = defect_.entries[entry];
        const bool odd = item == 0x0D;
        reply[4] = odd ? 2 : 1;
        put_word(reply, 5, e.x);
        put_word(reply, 7, static_cast<std::uint16_t>(e.y * 2 + (odd ? 1 : 0)));
        put_word(reply, 9, odd ? 0x0180 : 0x01A4);
        return Outcome::Answer;
    }
    reply[1] = kReplyRefused;
    return Outcome::Answer;
}

} // namespace sim
