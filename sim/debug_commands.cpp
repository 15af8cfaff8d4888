// The simulated camera's answers to the Debug page's own commands: RAM, area samples, the AGC,
// WDR, shutter and white-balance read-outs, and the OSD test value.

#include "camera_model.h"
#include "reply_fields.h"

namespace sim {
namespace {

std::size_t address_in(const frames::Frame& command) { return static_cast<std::size_t>(command[3] << 8 | command[4]); }

// A slow triangle wave 0..span..0 over `moment`, for values that drift and come back.
unsigned drift(std::uint32_t moment, unsigned span)
{
    const unsigned phase = moment % (2 * span);
    return phase < span ? phase : 2 * span - phase;
}

} // namespace

std::optional<CameraModel::Handler> CameraModel::find_debug_handler(std::uint8_t command_class, std::uint8_t sub)
{
    if (command_class == kClassRead) {
        switch (sub) {
        case 0x0D: return &CameraModel::read_ram;
        case 0x35: return &CameraModel::read_area_sample;
        case 0x45: return &CameraModel::read_agc_data;
        case 0x48: return &CameraModel::read_wdr_data;
        case 0x49: return &CameraModel::read_shutter_data;
        case 0x4C: return &CameraModel::read_wb_input;
        default: return std::nullopt;
        }
    }
    if (command_class == kClassWrite) {
        if (sub == 0x0D) return &CameraModel::write_ram;
        if (sub == 0x0E) return &CameraModel::write_osd_test;
    }
    return std::nullopt;
}

// 0x33 0x0D ahi alo 0x01: reply bytes 3, 4 the address, 5 and 6 the bytes at it and after it.
CameraModel::Outcome CameraModel::read_ram(const frames::Frame& command, frames::Frame& reply)
{
    const std::size_t address = address_in(command);
    if (!DebugState::in_ram(address)) {
        reply[1] = kReplyRefused;
        return Outcome::Answer;
    }
    if (address == DebugState::kRamCounter) ++debug_.ram_at(address);
    reply[4] = command[4];
    reply[5] = debug_.ram_at(address);
    reply[6] = DebugState::in_ram(address + 1) ? debug_.ram_at(address + 1) : 0;
    return Outcome::Answer;
}

// 0x23 0x0D ahi alo data: one byte.
CameraModel::Outcome CameraModel::write_ram(const frames::Frame& command, frames::Frame& reply)
{
    std::copy(command.begin() + 2, command.begin() + frames::kIdOffset, reply.begin() + 2);
    const std::size_t address = address_in(command);
    if (!DebugState::in_ram(address)) {
        reply[1] = kReplyRefused;
        return Outcome::Answer;
    }
    debug_.ram_at(address) = command[5];
    return Outcome::Answer;
}

// 0x33 0x35 n: the level of measuring area n (0..47) in reply bytes 4, 5.
CameraModel::Outcome CameraModel::read_area_sample(const frames::Frame& command, frames::Frame& reply)
{
    const unsigned area = command[3];
    if (area >= DebugState::kAreas) {
        reply[1] = kReplyRefused;
        return Outcome::Answer;
    }
    if (area == 0) ++debug_.moment;
    // Brighter towards the top rows, with a little flicker per pass.
    const unsigned row = area / 8;
    const unsigned column = area % 8;
    put_word(reply, 4, 0x0300 + (5 - row) * 0x40 + column * 4 + drift(debug_.moment + area, 8));
    return Outcome::Answer;
}

// 0x33 0x45 0x0B: the AGC state: bytes 4, 5 the gain, 6 the WDR number, 7 the flag, then the
// contrast, iris, normal and average levels, a word each.
CameraModel::Outcome CameraModel::read_agc_data(const frames::Frame& command, frames::Frame& reply)
{
    if (command[3] != 0x0B) {
        reply[1] = kReplyRefused;
        return Outcome::Answer;
    }
    const std::uint32_t t = ++debug_.moment;
    const unsigned level = drift(t, 64);
    put_word(reply, 4, 0x0080 + level * 4);
    reply[6] = service_.wdr_shutter_no;
    reply[7] = level > 48 ? 1 : 0;
    put_word(reply, 8, 0x0200 + drift(t, 16));
    put_word(reply, 10, 0x0400 - level * 8);
    put_word(reply, 12, 0x0180 + level);
    put_word(reply, 14, 0x0170 + level + drift(t, 4));
    return Outcome::Answer;
}

// 0x33 0x48: byte 3 the shutter number, then DSP registers 89h, 81h, 0Dh, 8Fh, 67h, 66h as the
// WDR works with them; the front gain drifts with the picture.
CameraModel::Outcome CameraModel::read_wdr_data(const frames::Frame&, frames::Frame& reply)
{
    const std::uint32_t t = ++debug_.moment;
    reply[3] = service_.wdr_shutter_no;
    put_word(reply, 4, registers_[0x89] ^ drift(t, 16));
    put_word(reply, 6, registers_[0x81]);
    put_word(reply, 8, registers_[0x0D]);
    put_word(reply, 10, registers_[0x8F]);
    put_word(reply, 12, registers_[0x67]);
    put_word(reply, 14, registers_[0x66]);
    return Outcome::Answer;
}

// 0x33 0x49: byte 3 the shutter number, then timing registers 43h..46h; the normal H-shutter
// follows the light.
CameraModel::Outcome CameraModel::read_shutter_data(const frames::Frame&, frames::Frame& reply)
{
    const std::uint32_t t = ++debug_.moment;
    reply[3] = service_.wdr_shutter_no;
    put_word(reply, 4, registers_[0x43]);
    put_word(reply, 6, registers_[0x44]);
    put_word(reply, 8, (registers_[0x45] + drift(t, 32)) & 0xFFFF);
    put_word(reply, 10, registers_[0x46]);
    return Outcome::Answer;
}

// 0x33 0x4C sel: the white-balance R-G and B-G inputs, from RAM (0) or at the input (1).
CameraModel::Outcome CameraModel::read_wb_input(const frames::Frame& command, frames::Frame& reply)
{
    const std::uint32_t t = ++debug_.moment;
    const unsigned offset = command[3] == 0 ? 0 : 0x10;
    put_word(reply, 4, 0x0180 + offset + drift(t, 24));
    put_word(reply, 6, 0x0140 + offset + drift(t + 7, 24));
    return Outcome::Answer;
}

// 0x23 0x0E 0x00 lo or 0x23 0x0E 0x01 hi lo: the OSD test value.
CameraModel::Outcome CameraModel::write_osd_test(const frames::Frame& command, frames::Frame& reply)
{
    std::copy(command.begin() + 2, command.begin() + frames::kIdOffset, reply.begin() + 2);
    if (command[3] > 1) {
        reply[1] = kReplyRefused;
        return Outcome::Answer;
    }
    debug_.osd_test_16bit = command[3] == 1;
    debug_.osd_test = debug_.osd_test_16bit ? static_cast<std::uint16_t>(command[4] << 8 | command[5]) : command[4];
    return Outcome::Answer;
}

} // namespace sim
