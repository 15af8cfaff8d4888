// The CCD Defect page's bytes without a window: entry, search and measurement decoding, every
// command of the page, the step clamping, the marker rule and its inverse, and the keys.

#include "pages/defect/defect_codec.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

using namespace defect;

namespace {

std::vector<int> bytes_of(const Command& c) { return {c.bytes.begin(), c.bytes.begin() + c.length}; }

frames::Frame reply_with(std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes)
{
    frames::Frame f{};
    for (const auto& [offset, value] : bytes) f[offset] = value;
    return f;
}

TEST(DefectDecoding, EntryFlagsAndPositionsDropTheBitsAboveTheirFields)
{
    EXPECT_EQ(decode_entry({0xFC, 0x12, 0x0E, 0x05}), (Entry{true, true, true, 0x012, 0x005}));
    EXPECT_EQ(decode_entry({0x00, 0x00, 0x00, 0x00}), (Entry{false, false, false, 0, 0}));
    EXPECT_EQ(decode_entry({0xFF, 0xFF, 0xF3, 0xFF}), (Entry{true, false, false, 0x3FF, 0x1FF}));
    EXPECT_EQ(decode_entry({0x00, 0x00, 0x04, 0x00}), (Entry{false, true, false, 0, 0}));
    EXPECT_EQ(decode_entry({0x00, 0x00, 0x08, 0x00}), (Entry{false, false, true, 0, 0}));
}

TEST(DefectDecoding, TableReadsCarryThreeThreeAndOneEntryFromByteFour)
{
    EXPECT_EQ(table_slice(kItemTableAC).first, 0);
    EXPECT_EQ(table_slice(kItemTableDF).first, 3);
    EXPECT_EQ(table_slice(kItemTableG).first, 6);
    EXPECT_EQ(table_slice(kItemTableG).count, 1);
    EXPECT_EQ(table_slice(0x43).count, 0);
    // Entry C ends in reply byte 15, which is data in these replies.
    EXPECT_EQ(table_offset_of(2) + 3, 15u);
    EXPECT_EQ(table_offset_of(3), 4u);
    EXPECT_EQ(table_item_of(5), kItemTableDF);
    EXPECT_EQ(next_table_item(kItemTableAC), kItemTableDF);
    EXPECT_EQ(next_table_item(kItemTableDF), kItemTableG);
    EXPECT_EQ(next_table_item(kItemTableG), 0);
}

TEST(DefectDecoding, SearchResultKeepsWholeWordsAndMeasurementSkipsByteFour)
{
    const SearchResult r = decode_search_result(
        reply_with({{4, 1}, {5, 3}, {6, 0x12}, {7, 0x34}, {8, 0xFE}, {9, 0xDC}, {10, 2}, {11, 0}}));
    EXPECT_EQ(r.return_code, 1);
    EXPECT_EQ(r.entry_number, 3);
    EXPECT_EQ(r.x, 0x1234);
    EXPECT_EQ(r.y, 0xFEDC);
    EXPECT_TRUE(r.fix);
    EXPECT_FALSE(r.rev);

    const Measurement m = decode_measurement(
        reply_with({{4, 0x99}, {5, 0x01}, {6, 0x02}, {7, 0x03}, {8, 0x04}, {9, 0x05}, {10, 0x06}}));
    EXPECT_EQ(m.x, 0x0102);
    EXPECT_EQ(m.y, 0x0304);
    EXPECT_EQ(m.peak, 0x0506);
}

TEST(DefectCommands, SearchReadsAndServiceCommands)
{
    EXPECT_EQ(bytes_of(search_command(kItemStart)), (std::vector<int>{0x23, 0x36, 0x30, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(bytes_of(search_command(kItemNext)), (std::vector<int>{0x23, 0x36, 0x31}));
    EXPECT_EQ(bytes_of(search_command(kItemRetry)), (std::vector<int>{0x23, 0x36, 0x32}));
    EXPECT_EQ(bytes_of(read_command(kItemTableAC)), (std::vector<int>{0x33, 0x36, 0x40}));
    EXPECT_EQ(bytes_of(read_command(kItemMeasureEven)), (std::vector<int>{0x33, 0x36, 0x0C}));
    EXPECT_EQ(bytes_of(save_command()), (std::vector<int>{0x23, 0x36, 0x20}));
    EXPECT_EQ(bytes_of(lens_command(1)), (std::vector<int>{0x23, 0x36, 0x05, 1}));
    EXPECT_EQ(bytes_of(selected_flag_command(kItemRev, {4, true}, true)), (std::vector<int>{0x23, 0x36, 0x11, 4, 1}));
}

TEST(DefectCommands, SelectionNamesTheEntryOnlyWhileTheCursorIsShown)
{
    EXPECT_EQ(bytes_of(selection_command({2, true})), (std::vector<int>{0x23, 0x36, 0x01, 3, 0}));
    EXPECT_EQ(bytes_of(selection_command({2, false})), (std::vector<int>{0x23, 0x36, 0x01, 0, 0}));
    EXPECT_EQ(bytes_of(selection_command({-1, true})), (std::vector<int>{0x23, 0x36, 0x01, 0, 0}));
}

TEST(DefectCommands, OnlyEntryGsBoxesAndThePositionWriteCarryTheCursorBytes)
{
    EXPECT_EQ(bytes_of(flag_command(kItemEnabled, 2, true, {6, true})),
              (std::vector<int>{0x23, 0x36, 0x03, 2, 1, 0, 0, 0, 1}));
    EXPECT_EQ(bytes_of(flag_command(kItemEnabled, 6, false, {6, true})),
              (std::vector<int>{0x23, 0x36, 0x03, 6, 0, 0, 0, 0, 1, 1, 7}));
    EXPECT_EQ(bytes_of(flag_command(kItemFix, 6, true, {6, false})),
              (std::vector<int>{0x23, 0x36, 0x10, 6, 1, 0, 0, 0, 1, 0, 0}));
    EXPECT_EQ(bytes_of(flag_command(kItemRev, 6, true, {1, true})),
              (std::vector<int>{0x23, 0x36, 0x11, 6, 1, 0, 0, 0, 1, 0, 0}));
    EXPECT_EQ(bytes_of(position_command({6, true}, 0x2FF, 0x100)),
              (std::vector<int>{0x23, 0x36, 0x02, 6, 0x02, 0xFF, 0x01, 0x00, 1, 1, 7}));
    EXPECT_EQ(bytes_of(position_command({1, true}, 0x12, 0x05)),
              (std::vector<int>{0x23, 0x36, 0x02, 1, 0x00, 0x12, 0x00, 0x05, 1, 0, 0}));
    // An unreadable position (-1) travels as its low 16 bits.
    EXPECT_EQ(bytes_of(position_command({0, false}, -1, 0)),
              (std::vector<int>{0x23, 0x36, 0x02, 0, 0xFF, 0xFF, 0, 0, 1, 0, 0}));
}

TEST(DefectPosition, StepsClampAtBothEndsWhateverTheStep)
{
    EXPECT_EQ(stepped(Step::Right, 0x3FE, 1), 0x3FF);
    EXPECT_EQ(stepped(Step::Right, 0x3FF, 1), 0x3FF);
    EXPECT_EQ(stepped(Step::Down, 0x1FE, 1), 0x1FF);
    EXPECT_EQ(stepped(Step::Down, 0x1FF, 1), 0x1FF);
    EXPECT_EQ(stepped(Step::Up, 3, 5), 0);
    EXPECT_EQ(stepped(Step::Up, 3, 3), 0);
    EXPECT_EQ(stepped(Step::Left, 4, 3), 1);
    EXPECT_EQ(stepped(Step::Left, -1, 1), 0);
    // The step has no bounds: a negative step moves the other way, unclamped on that side.
    EXPECT_EQ(stepped(Step::Up, 5, -2), 7);
    EXPECT_EQ(stepped(Step::Right, 5, -10), 0xFFFB);
    EXPECT_EQ(stepped(Step::Up, 5, INT_MIN), (5LL - INT_MIN) & 0xFFFF);
    EXPECT_EQ(stepped(Step::Down, 5, INT_MAX), 0x1FF);
}

TEST(DefectPosition, MarkerRuleAndThePictureClickAreInverse)
{
    // Hi-Resolution, NTSC: the far corner and the origin.
    EXPECT_EQ(marker_offset(0x2FF, 200, 767), 200);
    EXPECT_EQ(marker_offset(0x100, 150, 256), 150);
    EXPECT_EQ(marker_offset(0, 200, 767), 0);
    // Before the camera's status is read both ranges are 1.
    EXPECT_EQ(marker_offset(3, 200, 1), 600);
    EXPECT_EQ(marker_offset(-1, 150, 1), -150);
    // Lo-Resolution, PAL: a click at 100, 75.
    EXPECT_EQ(clicked_position(100, 200, 511), 0xFF);
    EXPECT_EQ(clicked_position(75, 150, 312), 0x9C);
    EXPECT_EQ(clicked_position(199, 200, 767), 763);
}

TEST(DefectKeys, DigitsAndLettersOfBothCasesMoveOrToggle)
{
    for (char k : {'8', 'I', 'i'}) EXPECT_EQ(key_action(k), KeyAction::Up) << k;
    for (char k : {'2', 'K', 'k'}) EXPECT_EQ(key_action(k), KeyAction::Down) << k;
    for (char k : {'4', 'J', 'j'}) EXPECT_EQ(key_action(k), KeyAction::Left) << k;
    for (char k : {'6', 'L', 'l'}) EXPECT_EQ(key_action(k), KeyAction::Right) << k;
    for (char k : {'5', 'O', 'o'}) EXPECT_EQ(key_action(k), KeyAction::ToggleCursor) << k;
    for (char k : {'0', '7', 'u', ' ', '\r'}) EXPECT_EQ(key_action(k), KeyAction::None) << k;
}

} // namespace
