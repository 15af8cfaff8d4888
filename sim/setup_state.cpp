#include "setup_state.h"

#include <algorithm>

namespace sim {
namespace {

constexpr std::uint8_t kNoItem = 0xFF; // settings whose value follows the sub-code directly

constexpr std::uint8_t kTitle = 0x10;
constexpr std::uint8_t kTitleBlockItem = 0x01;
constexpr std::uint8_t kBackLight = 0x13;
constexpr std::uint8_t kWhiteBalance = 0x15;
constexpr std::uint8_t kSync = 0x16;
constexpr std::uint8_t kMotion = 0x19;
constexpr std::uint8_t kDefault = 0x1E;
constexpr std::uint8_t kMask = 0x1F;
constexpr std::uint8_t kCommunication = 0x28;
constexpr std::uint8_t kOnePushItem = 0x04;
constexpr std::uint8_t kMaskRectItem = 0x10; // 0x10 + mask: the rectangle; 0..3: on/off

constexpr std::size_t kGroupCount = 11;
constexpr std::size_t kAreaBytes = 6;

// Factory settings, reply bytes 4..14 of each group.
constexpr std::array<SetupState::Group, kGroupCount> kFactory = {{
    // 0: title ON, position Down-Left, sense-up x6, ALC, ALC level 5, AES level 3, shutter OFF,
    //    AGC ON, AGC maximum 6, DNR ON
    {1, 2, 3, 0, 5, 3, 0, 1, 6, 1, 0},
    // 1: back-light areas (a block in the middle), back light ON, level 4
    {0x00, 0x3C, 0x7E, 0x7E, 0x3C, 0x00, 1, 4, 0, 0, 0},
    // 2: WDR areas (the border), WDR level 5, zoom OFF, zoom level 2, aperture H 4, V 3
    {0xFF, 0x81, 0x81, 0x81, 0x81, 0xFF, 5, 0, 2, 4, 3},
    // 3: AWB, ATW level 4, manual R 5, manual B 3, (unused), R-Y 4, B-Y 6
    {1, 4, 5, 3, 0, 4, 6, 0, 0, 0, 0},
    // 4: motion areas (a diagonal), motion ON, level 7, time " 3sec", OSD ON
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 1, 7, 2, 1, 0},
    // 5: freeze off, frame, Gamma.1, English
    {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    // 6: INT, V phase 0x0150 of 0x0200, communication ID 17, mode 1:1, ID range 1..239
    {0, 0x01, 0x50, 0x02, 0x00, 17, 0, 1, 239, 0, 0},
    // 7: H Rev. off, V Rev. on, Nega off, Sense-AGC, masks A and C on
    {0, 1, 0, 1, 1, 0, 1, 0, 0, 0, 0},
    {}, // 8 and 9: not kept by the camera
    {},
    // 10: privacy-mask limits H 2..190, V 2..140
    {2, 190, 2, 140, 0, 0, 0, 0, 0, 0, 0},
}};

// The on-screen character codes of a space, the digits and the capital letters.
constexpr std::uint16_t kSpaceCode = 0x00FD;
constexpr std::uint16_t kDigitZeroCode = 0x0000;
constexpr std::uint16_t kLetterACode = 0x000A;

std::uint16_t title_code(char c)
{
    if (c >= '0' && c <= '9') return static_cast<std::uint16_t>(kDigitZeroCode + (c - '0'));
    if (c >= 'A' && c <= 'Z') return static_cast<std::uint16_t>(kLetterACode + (c - 'A'));
    return kSpaceCode;
}

// One rectangle in each quarter of the picture, inside the limits of group 10.
constexpr std::array<SetupState::MaskRect, SetupState::kMasks> kFactoryMasks = {{
    {20, 20, 60, 50},
    {130, 20, 180, 50},
    {30, 90, 90, 130},
    {120, 90, 170, 130},
}};

struct PlaceRow {
    std::uint8_t sub;
    std::uint8_t item;
    std::uint8_t group;
    std::uint8_t index;
};

// One-byte settings: sub-code and item of the write, group and index of the read.
constexpr PlaceRow kPlaces[] = {
    {0x10, 0x00, 0, 0},    {0x10, 0x03, 0, 1},    {0x11, kNoItem, 0, 2}, {0x12, 0x00, 0, 3},
    {0x12, 0x01, 0, 4},    {0x12, 0x02, 0, 5},    {0x12, 0x03, 0, 6},    {0x14, 0x00, 0, 7},
    {0x14, 0x01, 0, 8},    {0x14, 0x02, 0, 9},    {0x13, 0x00, 1, 6},    {0x13, 0x01, 1, 7},
    {0x13, 0x03, 2, 6},    {0x17, 0x00, 2, 7},    {0x17, 0x01, 2, 8},    {0x18, 0x00, 2, 9},
    {0x18, 0x01, 2, 10},   {0x15, 0x00, 3, 0},    {0x15, 0x01, 3, 1},    {0x15, 0x02, 3, 2},
    {0x15, 0x03, 3, 3},    {0x1A, 0x00, 3, 5},    {0x1A, 0x01, 3, 6},    {0x19, 0x00, 4, 6},
    {0x19, 0x02, 4, 7},    {0x19, 0x03, 4, 8},    {0x19, 0x04, 4, 9},    {0x1B, 0x00, 5, 0},
    {0x1B, 0x01, 5, 1},    {0x1C, kNoItem, 5, 2}, {0x1D, kNoItem, 5, 3}, {0x20, kNoItem, 7, 0},
    {0x21, kNoItem, 7, 1}, {0x22, kNoItem, 7, 2}, {0x23, kNoItem, 7, 3},
    {0x1F, 0x00, 7, 4},    {0x1F, 0x01, 7, 5},    {0x1F, 0x02, 7, 6},    {0x1F, 0x03, 7, 7},
    {0x28, 0x00, 6, 5},    {0x28, 0x01, 6, 6},
};

// Sense-up, gamma, language, the flips and the priority carry their value right after the sub-code.
bool has_item_byte(std::uint8_t sub)
{
    return !(sub == 0x11 || sub == 0x1C || sub == 0x1D || (sub >= 0x20 && sub <= 0x23));
}

} // namespace

SetupState::SetupState()
{
    set_factory_title("CAM 1");
    restore_factory();
}

void SetupState::restore_factory()
{
    groups_ = kFactory;
    title_ = factory_title_;
    masks_ = kFactoryMasks;
}

void SetupState::set_factory_title(std::string_view text)
{
    factory_title_.fill(kSpaceCode);
    for (std::size_t i = 0; i < std::min(text.size(), factory_title_.size()); ++i)
        factory_title_[i] = title_code(text[i]);
    title_ = factory_title_;
}

bool SetupState::has_group(std::uint8_t group) { return group <= 7 || group == 10; }

const SetupState::Group& SetupState::group(std::uint8_t group) const { return groups_.at(group); }

bool SetupState::handles_write(std::uint8_t sub)
{
    return (sub >= 0x10 && sub <= kMask) || (sub >= 0x20 && sub <= 0x23) || sub == kCommunication;
}

std::optional<SetupState::Place> SetupState::find_place(std::uint8_t sub, std::uint8_t item)
{
    const std::uint8_t key = has_item_byte(sub) ? item : kNoItem;
    for (const PlaceRow& row : kPlaces) {
        if (row.sub == sub && row.item == key) return Place{row.group, row.index};
    }
    return std::nullopt;
}

SetupState::Result SetupState::write(const frames::Frame& command)
{
    const std::uint8_t sub = command[2];
    const std::uint8_t item = command[3];
    if (sub == kBackLight && item == 0x02) return write_areas(command, 1);
    if (sub == kBackLight && item == 0x04) return write_areas(command, 2);
    if (sub == kMotion && item == 0x01) return write_areas(command, 4);
    if (sub == kSync) return write_sync(command);
    if (sub == kWhiteBalance && item == kOnePushItem) {
        ++one_push_count_;
        return Result::Accepted;
    }
    if (sub == kDefault && item == 0x01) {
        ++default_count_;
        restore_factory();
        return Result::Accepted;
    }
    if (sub == kTitle && item == kTitleBlockItem) return write_title_block(command);
    if (sub == kMask && item >= kMaskRectItem) return write_mask_rect(command);
    const std::optional<Place> place = find_place(sub, item);
    if (!place) return Result::Refused;
    groups_[place->group][place->index] = has_item_byte(sub) ? command[4] : command[3];
    return Result::Accepted;
}

SetupState::Result SetupState::write_areas(const frames::Frame& command, std::uint8_t group)
{
    std::copy_n(command.begin() + 4, kAreaBytes, groups_[group].begin());
    return Result::Accepted;
}

// 0x16 0x00 INT/EXT; 0x16 0x01 the V phase, high byte first.
SetupState::Result SetupState::write_sync(const frames::Frame& command)
{
    Group& g = groups_[6];
    if (command[3] == 0x00) {
        if (command[4] == 1 && !external_sync_input_) return Result::NoExternalSync;
        g[0] = command[4];
        return Result::Accepted;
    }
    if (command[3] == 0x01) {
        g[1] = command[4];
        g[2] = command[5];
        return Result::Accepted;
    }
    return Result::Refused;
}

// 0x10 0x01 b, then five character codes high byte first: characters 5b+1..5b+5.
SetupState::Result SetupState::write_title_block(const frames::Frame& command)
{
    const std::size_t block = command[4];
    if (block >= kTitleBlocks) return Result::Refused;
    for (std::size_t i = 0; i < kTitleBlockChars; ++i) {
        const std::size_t at = 5 + 2 * i;
        title_[block * kTitleBlockChars + i] = static_cast<std::uint16_t>(command[at] << 8 | command[at + 1]);
    }
    return Result::Accepted;
}

// 0x1F 0x10+m Hs Vs He Ve, kept as written.
SetupState::Result SetupState::write_mask_rect(const frames::Frame& command)
{
    const std::size_t mask = command[3] - kMaskRectItem;
    if (mask >= kMasks) return Result::Refused;
    std::copy_n(command.begin() + 4, masks_[mask].size(), masks_[mask].begin());
    return Result::Accepted;
}

} // namespace sim
