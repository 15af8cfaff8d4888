#include "pages/defect/defect_codec.h"
#include "pages/setup/setup_support.h"

#include <initializer_list>

namespace defect {
namespace {

constexpr int kXMask = 0x3FF;
constexpr int kYMask = 0x1FF;
constexpr int kEnabledBit = 1 << 9;
constexpr int kFixBit = 1 << 10;
constexpr int kRevBit = 1 << 11;
constexpr std::size_t kTableData = 4;
constexpr int kEntriesPerRead = 3;

int word_at(const std::uint8_t* bytes) { return bytes[0] * 256 + bytes[1]; }
int word_at(const frames::Frame& f, std::size_t offset) { return word_at(f.data() + offset); }

using setup::high_byte;
using setup::low_byte;

Command command(std::initializer_list<std::uint8_t> bytes)
{
    Command c;
    for (std::uint8_t b : bytes) c.bytes[static_cast<std::size_t>(c.length++)] = b;
    return c;
}

void append(Command& c, std::initializer_list<std::uint8_t> bytes)
{
    for (std::uint8_t b : bytes) c.bytes[static_cast<std::size_t>(c.length++)] = b;
}

// The two bytes that close entry G's box commands and the position write: 1 7 while the
// camera's cursor is shown on entry G, else 0 0.
void append_cursor_tail(Command& c, Cursor cursor)
{
    const bool on_g = cursor.shown && cursor.selected == kEntryG;
    append(c, {static_cast<std::uint8_t>(on_g ? 1 : 0), static_cast<std::uint8_t>(on_g ? 7 : 0)});
}

} // namespace

Entry decode_entry(const std::uint8_t* bytes)
{
    const int h = word_at(bytes);
    const int v = word_at(bytes + 2);
    Entry e;
    e.enabled = (v & kEnabledBit) != 0;
    e.fix = (v & kFixBit) != 0;
    e.rev = (v & kRevBit) != 0;
    e.x = h & kXMask;
    e.y = v & kYMask;
    return e;
}

Entry decode_entry(std::array<std::uint8_t, kEntryBytes> bytes) { return decode_entry(bytes.data()); }

std::uint8_t table_item_of(int entry) { return static_cast<std::uint8_t>(kItemTableAC + entry / kEntriesPerRead); }

std::size_t table_offset_of(int entry)
{
    return kTableData + static_cast<std::size_t>(entry % kEntriesPerRead) * kEntryBytes;
}

TableSlice table_slice(std::uint8_t item)
{
    switch (item) {
    case kItemTableAC: return {0, 3};
    case kItemTableDF: return {3, 3};
    case kItemTableG: return {kEntryG, 1};
    default: return {};
    }
}

std::uint8_t next_table_item(std::uint8_t item)
{
    return item == kItemTableAC || item == kItemTableDF ? static_cast<std::uint8_t>(item + 1) : 0;
}

SearchResult decode_search_result(const frames::Frame& reply)
{
    SearchResult r;
    r.return_code = reply[4];
    r.entry_number = reply[5];
    r.x = word_at(reply, 6);
    r.y = word_at(reply, 8);
    r.fix = reply[10] != 0;
    r.rev = reply[11] != 0;
    return r;
}

bool is_search_item(std::uint8_t item) { return item >= kItemStart && item <= kItemRetry; }

Measurement decode_measurement(const frames::Frame& reply)
{
    return {word_at(reply, 5), word_at(reply, 7), word_at(reply, 9)};
}

Command search_command(std::uint8_t item)
{
    Command c = command({kWrite, kGroup, item});
    // "Start" carries six zero bytes and a final 1; "Next" and "Retry" nothing.
    if (item == kItemStart) append(c, {0, 0, 0, 0, 0, 0, 1});
    return c;
}

Command read_command(std::uint8_t item) { return command({kRead, kGroup, item}); }

Command save_command() { return command({kWrite, kGroup, kItemSave}); }

Command lens_command(int lens_item) { return command({kWrite, kGroup, kItemLens, low_byte(lens_item)}); }

Command selection_command(Cursor cursor)
{
    const int shown_entry = cursor.shown ? cursor.selected + 1 : 0;
    return command({kWrite, kGroup, kItemCursor, low_byte(shown_entry), 0});
}

Command flag_command(std::uint8_t item, int entry, bool on, Cursor cursor)
{
    Command c = command({kWrite, kGroup, item, low_byte(entry), static_cast<std::uint8_t>(on ? 1 : 0), 0, 0, 0, 1});
    if (entry == kEntryG) append_cursor_tail(c, cursor);
    return c;
}

Command selected_flag_command(std::uint8_t item, Cursor cursor, bool on)
{
    return command({kWrite, kGroup, item, low_byte(cursor.selected), static_cast<std::uint8_t>(on ? 1 : 0)});
}

Command position_command(Cursor cursor, int x, int y)
{
    Command c = command({kWrite, kGroup, kItemPosition, low_byte(cursor.selected), high_byte(x), low_byte(x),
                         high_byte(y), low_byte(y), 1});
    append_cursor_tail(c, cursor);
    return c;
}

int stepped(Step step, int value, int step_size)
{
    // 64-bit so that an unbounded step cannot overflow; the result is clamped or shown as a
    // 16-bit text anyway.
    const long long v = value;
    const long long s = step_size;
    long long result = 0;
    switch (step) {
    case Step::Up:
    case Step::Left: result = v - s <= 0 ? 0 : v - s; break;
    case Step::Down: result = v + s >= kYLimit + 1 ? kYLimit : v + s; break;
    case Step::Right: result = v + s >= kXLimit + 1 ? kXLimit : v + s; break;
    }
    return static_cast<int>(result & 0xFFFF);
}

KeyAction key_action(char key)
{
    switch (key) {
    case '8': case 'I': case 'i': return KeyAction::Up;
    case '2': case 'K': case 'k': return KeyAction::Down;
    case '4': case 'J': case 'j': return KeyAction::Left;
    case '6': case 'L': case 'l': return KeyAction::Right;
    case '5': case 'O': case 'o': return KeyAction::ToggleCursor;
    default: return KeyAction::None;
    }
}

// The ranges are never 0 (the sensor's range starts at 1, the picture has a size); the guards only
// keep a division by zero out of reach.
int marker_offset(int value, int picture_extent, int ccd_max)
{
    return ccd_max == 0 ? 0 : value * picture_extent / ccd_max;
}

int clicked_position(int point, int picture_extent, int ccd_max)
{
    return picture_extent == 0 ? 0 : point * ccd_max / picture_extent;
}

} // namespace defect
