#include "camera_model.h"
#include "reply_fields.h"

#include <algorithm>
#include <optional>

namespace sim {
namespace {

// Register defaults that the tool decodes; everything else comes from factory_word().
struct NamedDefault {
    std::uint16_t addr;
    std::uint16_t value;
};
constexpr NamedDefault kNamedDefaults[] = {
    {0x00, 0x0000},                     // dummy
    {kRegResolution, 0x4C20},           // Hi-Resolution sensor
    {0x23, 0x0100}, {0x24, 0x0100}, {0x25, 0x0100}, // R/G/B gain: unity
    {0x2B, 0x8080},                     // chroma B-Y / R-Y: mid scale
    {0x2C, 0x0012}, {0x2D, 0x0108},     // hue trims, sign and magnitude: +18, -8
    {0x2E, 0x0005}, {0x2F, 0x0110},     // +5, -16
    {kRegTvSystem, 0x0A10},             // timing generator mode, NTSC
};

// The last word, which Camera->PC reads but does not write: each camera's own mark ("Erase all"
// clears it), so that cameras of one line can be told apart by it. Seed 0 holds 0x5AA5; an odd
// factor gives every seed below 65536 a mark of its own.
constexpr std::size_t kLastWord = 0x3FF;
std::uint16_t last_word_mark(std::uint32_t seed)
{
    return static_cast<std::uint16_t>(0x5AA5u ^ (seed * 0x9E37u));
}

// A deterministic, varied but unremarkable filler for the words without a named default; each
// seed gives other words (seed 0 the built-in image).
std::uint16_t factory_word(std::size_t k, std::uint32_t seed)
{
    const auto x = static_cast<std::uint32_t>(k) + seed * 0x2F1Bu;
    return static_cast<std::uint16_t>(((x * 0x9E37u + 0x1D3u) ^ (x << 5)) & 0x3FFFu);
}

frames::Frame frame_from(std::span<const std::uint8_t> unit)
{
    frames::Frame frame{};
    std::copy_n(unit.begin(), frames::kFrameSize, frame.begin());
    return frame;
}

// Accepted reply skeleton: code 0xA0, command bytes 2 and 3 echoed, the command's ID echoed.
frames::Frame reply_skeleton(const frames::Frame& command)
{
    frames::Frame reply{};
    reply[0] = frames::STX;
    reply[1] = frames::kReplyAccepted;
    reply[2] = command[2];
    reply[3] = command[3];
    reply[frames::kIdOffset] = command[frames::kIdOffset];
    return reply;
}

void seal_frame(frames::Frame& frame)
{
    frame[frames::kEtxOffset] = frames::ETX;
    frame[frames::kChecksumOffset] = frames::checksum_of(frame.data(), frames::kChecksumOffset);
}

Bytes refused_reply(const frames::Frame& command)
{
    frames::Frame reply = reply_skeleton(command);
    reply[1] = kReplyRefused;
    seal_frame(reply);
    return Bytes(reply.begin(), reply.end());
}

} // namespace

CameraModel::CameraModel()
{
    restore_factory_image();
}

void CameraModel::restore_factory_image()
{
    const std::uint32_t memory_seed = product_ ? product_->seed : seed_;
    for (std::size_t k = 0; k < kParamWords; ++k) params_[k] = factory_word(k, memory_seed);
    for (const NamedDefault& d : kNamedDefaults) params_[d.addr] = d.value;
    params_[kLastWord] = last_word_mark(seed_);
    if (product_) {
        for (std::size_t k = product_->own_first; k <= product_->own_last && k < kParamWords; ++k)
            params_[k] = factory_word(k, seed_);
    }
    key_presses_.clear();
    reset_count_ = 0;
    setup_.restore_factory();
    lens_ = LensState{};
    power_on_reset();
}

void CameraModel::power_on_reset()
{
    std::copy_n(params_.begin(), kRegisterCount, registers_.begin());
    defect_.on_reset();
}

void CameraModel::set_pal(bool pal)
{
    const auto update = [pal](std::uint16_t& word) {
        word = pal ? (word | kTvSystemPalBit) : (word & ~kTvSystemPalBit);
    };
    update(registers_[kRegTvSystem]);
    update(params_[kRegTvSystem]);
}

void CameraModel::set_hi_resolution(bool hi)
{
    const auto update = [hi](std::uint16_t& word) {
        word = hi ? (word | kResolutionHiBit) : (word & ~kResolutionHiBit);
    };
    update(registers_[kRegResolution]);
    update(params_[kRegResolution]);
}

Bytes CameraModel::answer(std::span<const std::uint8_t> unit)
{
    if (unit.size() == frames::kFrameSize) return answer_frame(frame_from(unit));
    if (unit.size() == frames::kSohBlockSize) return answer_block(unit);
    return {};
}

// The camera's command set. Lookup tries the exact (class, sub-code) first, then (class, any).
std::optional<CameraModel::Handler> CameraModel::find_handler(std::uint8_t command_class,
                                                              std::uint8_t sub)
{
    constexpr int kAnySub = -1;
    struct Row {
        std::uint8_t command_class;
        int sub; // byte 2 of the command, or kAnySub
        Handler handler;
    };
    static constexpr Row kCommands[] = {
        {kClassRead, 0x0A, &CameraModel::read_register},
        {kClassWrite, 0x0A, &CameraModel::write_register_and_eeprom},
        {kClassWrite, 0x0B, &CameraModel::write_register_only},
        {kClassRead, 0x0C, &CameraModel::read_eeprom},
        {kClassWrite, 0x0C, &CameraModel::write_eeprom},
        {kClassWrite, 0x0F, &CameraModel::write_eeprom_and_ram},
        {kClassWrite, 0x32, &CameraModel::press_key},
        {kClassRead, 0x50, &CameraModel::read_setup_group},
        {kClassRead, 0x10, &CameraModel::read_title_block},
        {kClassRead, 0x1F, &CameraModel::read_mask_rect},
        {frames::kCommandReset, kAnySub, &CameraModel::reset},
    };
    for (const auto& find_page_handler : {find_copy_handler, find_debug_handler, find_defect_handler, find_lens_handler,
                                          find_service_handler})
        if (const auto handler = find_page_handler(command_class, sub)) return handler;
    if (command_class == kClassWrite && SetupState::handles_write(sub)) return &CameraModel::write_setting;
    std::optional<Handler> any;
    for (const Row& row : kCommands) {
        if (row.command_class != command_class) continue;
        if (row.sub == sub) return row.handler;
        if (row.sub == kAnySub) any = row.handler;
    }
    return any;
}

Bytes CameraModel::answer_frame(const frames::Frame& command)
{
    const auto handler = find_handler(command[1], command[2]);
    if (!handler) return refused_reply(command);
    frames::Frame reply = reply_skeleton(command);
    if ((this->**handler)(command, reply) == Outcome::Silent) return {};
    seal_frame(reply);
    return Bytes(reply.begin(), reply.end());
}

// Block data byte 2k is the low byte of word k, byte 2k+1 its high byte. A block with another
// code, without its ETX or with a wrong checksum is refused and changes nothing.
Bytes CameraModel::answer_block(std::span<const std::uint8_t> block)
{
    const std::uint8_t* data = block.data() + frames::kSohDataOffset;
    const std::size_t etx_at = frames::kSohDataOffset + frames::kParamEntries;
    const bool intact = block[1] == frames::kSohBlockCode && block[etx_at] == frames::ETX
                        && frames::checksum_of(data, frames::kParamEntries) == block[etx_at + 1];
    if (intact) {
        for (std::size_t k = 0; k < kParamWords; ++k)
            store_param(k, static_cast<std::uint16_t>(data[2 * k] | data[2 * k + 1] << 8));
    }
    Bytes reply{frames::SOH, intact ? frames::kReplyAccepted : kReplyRefused, 0x00, frames::ETX, 0};
    reply[4] = frames::checksum_of(reply.data(), 4);
    return reply;
}

// 0x33 0x0A reg: value big-endian in reply bytes 4 and 5.
CameraModel::Outcome CameraModel::read_register(const frames::Frame& command, frames::Frame& reply)
{
    put_word(reply, 4, registers_[command[3]]);
    return Outcome::Answer;
}

// 0x23 0x0A reg hi lo: the register and its parameter word.
CameraModel::Outcome CameraModel::write_register_and_eeprom(const frames::Frame& command,
                                                            frames::Frame& reply)
{
    write_register_only(command, reply);
    store_param(command[3], registers_[command[3]]);
    return Outcome::Answer;
}

// 0x23 0x0B reg hi lo: the register alone; a reset brings back the stored value.
CameraModel::Outcome CameraModel::write_register_only(const frames::Frame& command,
                                                      frames::Frame& reply)
{
    registers_[command[3]] = word_at(command, 4);
    echo_command_data(command, reply);
    return Outcome::Answer;
}

// 0x33 0x0C ahi alo: reply bytes 3, 4 the address, 5, 6 the word.
CameraModel::Outcome CameraModel::read_eeprom(const frames::Frame& command, frames::Frame& reply)
{
    const std::size_t addr = word_at(command, 3);
    if (addr >= kParamWords) {
        reply[1] = kReplyRefused;
        return Outcome::Answer;
    }
    reply[4] = command[4];
    put_word(reply, 5, params_[addr]);
    return Outcome::Answer;
}

// 0x23 0x0C ahi alo hi lo.
CameraModel::Outcome CameraModel::write_eeprom(const frames::Frame& command, frames::Frame& reply)
{
    echo_command_data(command, reply);
    const std::size_t addr = word_at(command, 3);
    if (addr >= kParamWords) {
        reply[1] = kReplyRefused;
        return Outcome::Answer;
    }
    store_param(addr, word_at(command, 5));
    return Outcome::Answer;
}

// 0x23 0x0F ahi alo hi lo: as 0x0C, and a word that backs a register takes effect at once.
CameraModel::Outcome CameraModel::write_eeprom_and_ram(const frames::Frame& command,
                                                       frames::Frame& reply)
{
    write_eeprom(command, reply);
    const std::size_t addr = word_at(command, 3);
    if (reply[1] == frames::kReplyAccepted && addr < kRegisterCount) registers_[addr] = params_[addr];
    return Outcome::Answer;
}

// 0x23 0x32 key.
CameraModel::Outcome CameraModel::press_key(const frames::Frame& command, frames::Frame& reply)
{
    key_presses_.push_back(command[3]);
    echo_command_data(command, reply);
    return Outcome::Answer;
}

// 0xF3: restart without a reply.
CameraModel::Outcome CameraModel::reset(const frames::Frame&, frames::Frame&)
{
    restart();
    return Outcome::Silent;
}

void CameraModel::restart()
{
    ++reset_count_;
    power_on_reset();
}

// 0x33 0x50 g: setup group g in reply bytes 4..14.
CameraModel::Outcome CameraModel::read_setup_group(const frames::Frame& command, frames::Frame& reply)
{
    if (!SetupState::has_group(command[3])) {
        reply[1] = kReplyRefused;
        return Outcome::Answer;
    }
    const SetupState::Group& group = setup_.group(command[3]);
    std::copy(group.begin(), group.end(), reply.begin() + 4);
    return Outcome::Answer;
}

// 0x33 0x10 0x01 b: title block b, five character codes high byte first in reply bytes 5..14.
CameraModel::Outcome CameraModel::read_title_block(const frames::Frame& command, frames::Frame& reply)
{
    constexpr std::size_t kChars = SetupState::kTitleBlockChars;
    const std::size_t block = command[4];
    if (command[3] != 0x01 || block >= SetupState::kTitleBlocks) {
        reply[1] = kReplyRefused;
        return Outcome::Answer;
    }
    reply[4] = command[4];
    for (std::size_t i = 0; i < kChars; ++i) put_word(reply, 5 + 2 * i, setup_.title()[block * kChars + i]);
    return Outcome::Answer;
}

// 0x33 0x1F 0x10+m: the rectangle of mask m in reply bytes 4..7.
CameraModel::Outcome CameraModel::read_mask_rect(const frames::Frame& command, frames::Frame& reply)
{
    const std::size_t mask = static_cast<std::size_t>(command[3]) - 0x10;
    if (command[3] < 0x10 || mask >= SetupState::kMasks) {
        reply[1] = kReplyRefused;
        return Outcome::Answer;
    }
    const SetupState::MaskRect& rect = setup_.mask_rect(mask);
    std::copy(rect.begin(), rect.end(), reply.begin() + 4);
    return Outcome::Answer;
}

// 0x23 with a Setup page sub-code: the setting changes and the command is echoed.
CameraModel::Outcome CameraModel::write_setting(const frames::Frame& command, frames::Frame& reply)
{
    echo_command_data(command, reply);
    switch (setup_.write(command)) {
    case SetupState::Result::Accepted: break;
    case SetupState::Result::Refused: reply[1] = kReplyRefused; break;
    case SetupState::Result::NoExternalSync: reply[1] = frames::kReplySecondAnswer; break;
    }
    return Outcome::Answer;
}

} // namespace sim
