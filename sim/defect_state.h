#pragma once
// The simulated camera's state behind the CCD Defect page's commands: the table of seven
// correction entries, a sensor with a seeded list of defective pixels for the search, the cursor,
// and the measurement pair.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct DefectEntry {
    bool enabled = false;
    bool fix = false;
    bool rev = false;
    std::uint16_t x = 0; // 10 bits
    std::uint16_t y = 0; // 9 bits
    bool operator==(const DefectEntry&) const = default;
};

// A defective pixel of the sensor, in the order the search meets it.
struct DefectPixel {
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    bool fix = false;
    bool rev = false;
};

struct DefectState {
    static constexpr std::size_t kEntries = 7;
    static constexpr std::uint8_t kFound = 0;
    static constexpr std::uint8_t kNotFound = 1;

    DefectState();

    // The table as the camera works with it, and as "Save" kept it for the next reset.
    std::array<DefectEntry, kEntries> entries{};
    std::array<DefectEntry, kEntries> saved{};
    // The sensor's defective pixels.
    std::vector<DefectPixel> sensor_defects;
    // Cursor shown on entry number 1..7, 0 off; the lens item of the service command.
    std::uint8_t cursor = 0;
    int lens = -1;
    int save_count = 0;
    // A table read of this item is refused (0: none), for a broken read chain.
    std::uint8_t refused_table_item = 0;

    // The search result: code, entry number 1..7 (0 none) and the pixel.
    struct Found {
        std::uint8_t code = kNotFound;
        std::uint8_t entry_number = 0;
        DefectPixel pixel;
    };
    // "Start" from the first defect, "Next" the following one, "Retry" the last one again; each
    // stores what it finds in the next free entry (Retry in the entry it used before).
    Found search_start();
    Found search_next();
    Found search_retry();

    // The four bytes of entry e in a table read.
    std::array<std::uint8_t, 4> encoded(std::size_t e) const;

    // A reset brings back the saved table and switches the cursor off.
    void on_reset();

private:
    Found search_from(std::size_t index);
    Found store(std::size_t defect, std::size_t entry);
    bool in_table(const DefectPixel& p) const;

    std::size_t next_defect_ = 0;   // where Next goes on
    std::size_t last_defect_ = 0;   // what Retry repeats
    std::size_t last_entry_ = 0;
    bool have_last_ = false;
};

} // namespace sim
