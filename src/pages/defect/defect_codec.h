#pragma once
// The camera's defect table and search as bytes: decoding of the table, search and measurement
// replies, the commands of the CCD Defect page, and the arithmetic of the working position. No
// window needed; the page's handlers call these.

#include "link/frames.h"

#include <array>
#include <cstdint>

namespace defect {

constexpr std::uint8_t kWrite = 0x23;
constexpr std::uint8_t kRead = 0x33;
// Every command of the page carries this sub-code in frame byte 2; the replies repeat it.
constexpr std::uint8_t kGroup = 0x36;

// Item codes (frame byte 3).
constexpr std::uint8_t kItemCursor = 0x01;
constexpr std::uint8_t kItemPosition = 0x02;
constexpr std::uint8_t kItemEnabled = 0x03;
constexpr std::uint8_t kItemLens = 0x05;
constexpr std::uint8_t kItemMeasureEven = 0x0C;
constexpr std::uint8_t kItemMeasureOdd = 0x0D;
constexpr std::uint8_t kItemFix = 0x10;
constexpr std::uint8_t kItemRev = 0x11;
constexpr std::uint8_t kItemSave = 0x20;
constexpr std::uint8_t kItemStart = 0x30;
constexpr std::uint8_t kItemNext = 0x31;
constexpr std::uint8_t kItemRetry = 0x32;
constexpr std::uint8_t kItemTableAC = 0x40;
constexpr std::uint8_t kItemTableDF = 0x41;
constexpr std::uint8_t kItemTableG = 0x42;

constexpr int kEntries = 7; // A..G
constexpr int kEntryG = 6;
constexpr int kEntryBytes = 4;
constexpr int kXLimit = 1023;
constexpr int kYLimit = 511;

// One entry of the camera's table.
struct Entry {
    bool enabled = false;
    bool fix = false;
    bool rev = false;
    int x = 0; // 0..1023
    int y = 0; // 0..511
    bool operator==(const Entry&) const = default;
};

// Four bytes of a table read: H word (bits 0..9 x), V word (bits 0..8 y, 9 enabled, 10 FIX,
// 11 REV); the other bits are dropped.
Entry decode_entry(const std::uint8_t* bytes);
Entry decode_entry(std::array<std::uint8_t, kEntryBytes> bytes);
// The table read item that carries entry `entry` (0..6), and where in the reply it starts.
std::uint8_t table_item_of(int entry);
std::size_t table_offset_of(int entry);
// The first entry a table read reply carries (A, D or G), and how many; 0 entries for other items.
struct TableSlice {
    int first = 0;
    int count = 0;
};
TableSlice table_slice(std::uint8_t item);
// The read that follows a table read in the chain; 0 after the last.
std::uint8_t next_table_item(std::uint8_t item);

// The reply to "Start", "Next" or "Retry". Positions are whole 16-bit words, not masked.
struct SearchResult {
    int return_code = 0;  // 0 "Success", 1 "Not found"
    int entry_number = 0; // 1..7 for A..G; 0 no entry
    int x = 0;
    int y = 0;
    bool fix = false;
    bool rev = false;
};
SearchResult decode_search_result(const frames::Frame& reply);
bool is_search_item(std::uint8_t item);

// One column of the measurement pair (reply bytes 5..10, big-endian words).
struct Measurement {
    int x = 0;
    int y = 0;
    int peak = 0;
};
Measurement decode_measurement(const frames::Frame& reply);

// Bytes 1..length of a command frame.
struct Command {
    std::array<std::uint8_t, frames::kMaxCommandLength> bytes{};
    int length = 0;
    bool operator==(const Command&) const = default;
};

// What the page's cursor state is when a command is built: the selected entry (-1 none) and
// whether "Cursor Display" is on.
struct Cursor {
    int selected = -1;
    bool shown = false;
};

Command search_command(std::uint8_t item); // kItemStart, kItemNext or kItemRetry
Command read_command(std::uint8_t item);
Command save_command();
Command lens_command(int lens_item);
Command selection_command(Cursor cursor);
// The enabled, FIX or REV box of `entry` set to `on`; entry G's boxes add the cursor bytes.
Command flag_command(std::uint8_t item, int entry, bool on, Cursor cursor);
// The short FIX/REV command of the selected entry (the page's hidden "FIX" and "REV" boxes).
Command selected_flag_command(std::uint8_t item, Cursor cursor, bool on);
Command position_command(Cursor cursor, int x, int y);

// The working position after one step; clamped to 0..1023 (x) and 0..511 (y) whatever the sensor.
enum class Step { Up, Down, Left, Right };
int stepped(Step step, int value, int step_size);

// The keys of the step buttons and "Cursor Display".
enum class KeyAction { None, Up, Down, Left, Right, ToggleCursor };
KeyAction key_action(char key);

// Marker rule: the marker's corner in the picture for a position value (signed, truncating).
int marker_offset(int value, int picture_extent, int ccd_max);
// Its inverse for a click on the picture.
int clicked_position(int point, int picture_extent, int ccd_max);

} // namespace defect
