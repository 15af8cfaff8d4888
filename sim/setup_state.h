#pragma once
// The camera's user settings as the Setup page reads and writes them: setup groups 0..7 and 10,
// each read back as reply bytes 4..14, the title (20 on-screen character codes), the four
// privacy-mask rectangles, and the write commands that change them. "Default" brings back the
// factory settings.

#include "link/frames.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace sim {

class SetupState {
public:
    static constexpr std::size_t kGroupBytes = 11; // reply bytes 4..14
    using Group = std::array<std::uint8_t, kGroupBytes>;
    static constexpr std::size_t kTitleBlocks = 4;
    static constexpr std::size_t kTitleBlockChars = 5;
    using Title = std::array<std::uint16_t, kTitleBlocks * kTitleBlockChars>;
    static constexpr std::size_t kMasks = 4;
    // H start, V start, H end, V end in camera units.
    using MaskRect = std::array<std::uint8_t, 4>;

    enum class Result { Accepted, Refused, NoExternalSync };

    SetupState();

    // Back to the factory settings, the factory title included.
    void restore_factory();
    // The title this camera left the factory with (digits, capital letters and spaces; other
    // characters show as spaces), so that cameras of one line can be told apart. Sets it now too.
    void set_factory_title(std::string_view text);

    // True for the groups the camera has (0..7 and 10).
    static bool has_group(std::uint8_t group);
    // Group bytes for a group the camera has; reply byte 4 + k is entry k.
    const Group& group(std::uint8_t group) const;
    // Presets one byte of a group, as if the camera had been set up that way.
    void set_byte(std::uint8_t group, std::size_t index, std::uint8_t value) { groups_.at(group).at(index) = value; }

    // The title as on-screen character codes, characters 1..20.
    const Title& title() const { return title_; }
    const MaskRect& mask_rect(std::size_t mask) const { return masks_.at(mask); }
    void set_mask_rect(std::size_t mask, const MaskRect& rect) { masks_.at(mask) = rect; }

    // True when this write (command byte 2 = sub-code) is a setting of the Setup page.
    static bool handles_write(std::uint8_t sub);
    // Applies a setting command (bytes from 1); Refused for an item the camera does not know.
    Result write(const frames::Frame& command);

    // A camera without an external sync input answers "EXT" with the second answer code.
    void set_external_sync_input(bool present) { external_sync_input_ = present; }
    bool has_external_sync_input() const { return external_sync_input_; }
    int one_push_count() const { return one_push_count_; }
    int default_count() const { return default_count_; }

private:
    // Where a one-byte setting lives: group and index within the group's bytes.
    struct Place {
        std::uint8_t group;
        std::uint8_t index;
    };
    static std::optional<Place> find_place(std::uint8_t sub, std::uint8_t item);
    Result write_areas(const frames::Frame& command, std::uint8_t group);
    Result write_sync(const frames::Frame& command);
    Result write_title_block(const frames::Frame& command);
    Result write_mask_rect(const frames::Frame& command);

    std::array<Group, 11> groups_{};
    Title factory_title_{};
    Title title_{};
    std::array<MaskRect, kMasks> masks_{};
    bool external_sync_input_ = true;
    int one_push_count_ = 0;
    int default_count_ = 0;
};

} // namespace sim
