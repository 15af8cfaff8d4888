// The title's character codes and block packing, and the privacy-mask conversions between the
// mask window and the camera.

#include "codecs/title_codes.h"
#include "mask/mask_geometry.h"

#include <gtest/gtest.h>

namespace {

using Codes = std::array<std::uint16_t, kTitleBlockChars>;

TEST(TitleCodes, TableCoversLettersDigitsSpaceAndPunctuation)
{
    const auto& table = osd_char_table();
    EXPECT_EQ(table['0'], 0x0000);
    EXPECT_EQ(table['9'], 0x0009);
    EXPECT_EQ(table['A'], 0x000A);
    EXPECT_EQ(table['Z'], 0x0023);
    EXPECT_EQ(table['a'], 0x010A);
    EXPECT_EQ(table['z'], 0x0123);
    EXPECT_EQ(table[' '], 0x00FD);
    EXPECT_EQ(table['!'], 0x004F);
    EXPECT_EQ(table['/'], 0x0029);
    EXPECT_EQ(table['^'], 0x0192);
    EXPECT_EQ(table['~'], 0x0077);
    for (int c : {0x00, 0x1F, 0x5C, 0x5F, 0x7F, 0x80, 0xFF}) EXPECT_EQ(table[static_cast<std::size_t>(c)], -1) << c;

    // Every code that a character has reads back as that character.
    for (int c = 0x20; c < 0x7F; ++c) {
        const std::int16_t code = table[static_cast<std::size_t>(c)];
        if (code == -1) continue;
        EXPECT_EQ(title_code_char(static_cast<std::uint16_t>(code)), QChar(c)) << c;
    }
}

TEST(TitleCodes, BlocksCarryFiveCharactersAndPadWithSpaces)
{
    const QString cam1 = QStringLiteral("CAM 1");
    EXPECT_EQ(title_block_codes(cam1, 0), (Codes{0x000C, 0x000A, 0x0016, 0x00FD, 0x0001}));
    for (int b = 1; b < kTitleBlocks; ++b) EXPECT_EQ(title_block_codes(cam1, b), (Codes{0xFD, 0xFD, 0xFD, 0xFD, 0xFD}));

    // Characters the camera cannot show go out as spaces.
    EXPECT_EQ(title_block_codes(QStringLiteral("a_b"), 0), (Codes{0x010A, 0x00FD, 0x010B, 0x00FD, 0x00FD}));
    EXPECT_EQ(title_char_code(QChar(0x00E9)), 0x00FD);
    EXPECT_EQ(title_char_code(QChar(0x4E00)), 0x00FD);

    const QString twenty = QStringLiteral("ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(title_block_codes(twenty, 3), (Codes{0x0019, 0x001A, 0x001B, 0x001C, 0x001D}));
}

TEST(TitleCodes, UnknownCodesReadAsSpaces)
{
    EXPECT_EQ(title_code_char(0xFFFF), QChar(' '));
    EXPECT_EQ(title_code_char(0x0777), QChar(' '));
    EXPECT_EQ(title_code_char(0x00FD), QChar(' '));
}

const MaskLimits kLimits{10, 200, 5, 150};

TEST(MaskGeometry, PalDragWritesTheSameWhicheverWayItGoes)
{
    const MaskRect expected{30, 40, 120, 90};
    EXPECT_EQ(mask_write_rect(30, 40, 120, 90, true, kLimits), expected);
    EXPECT_EQ(mask_write_rect(120, 90, 30, 40, true, kLimits), expected);
}

TEST(MaskGeometry, NtscDragScalesVerticalCoordinates)
{
    EXPECT_EQ(mask_write_rect(30, 40, 120, 90, false, kLimits), (MaskRect{30, 34, 120, 77}));
}

TEST(MaskGeometry, CoordinatesStayStrictlyInsideTheLimits)
{
    EXPECT_EQ(mask_write_rect(5, 40, 120, 90, true, kLimits).hs, 11);
    EXPECT_EQ(mask_write_rect(30, 40, 250, 90, true, kLimits).he, 199);
    EXPECT_EQ(mask_write_rect(30, -20, 120, 400, true, kLimits), (MaskRect{30, 6, 120, 149}));
    // Before the limits are read, every coordinate from 0 up becomes -1 (sent as 0xFF).
    EXPECT_EQ(mask_write_rect(30, 40, 120, 90, true, MaskLimits{}), (MaskRect{-1, -1, -1, -1}));
}

TEST(MaskGeometry, NtscReadAndRedrawMayMoveAnEdgeByAPixel)
{
    const MaskRect view = mask_view_of_reply({30, 34, 120, 77}, false);
    EXPECT_EQ(view.vs, 39);
    EXPECT_EQ(mask_display_rect(view, false, kLimits).vs, 38);
    // PAL keeps everything as read.
    EXPECT_EQ(mask_view_of_reply({30, 34, 120, 77}, true), (MaskRect{30, 34, 120, 77}));
    // Exact multiples come back exactly.
    EXPECT_EQ(mask_v_to_window(43, false), 50);
    EXPECT_EQ(mask_v_to_window(86, false), 100);
}

} // namespace
