// The Debug page's window-free pieces: the register list, bit-field stepping, the raw command
// parser and the texts of the dump, the area samples and the AGC log.

#include "pages/debug/debug_logic.h"

#include <gtest/gtest.h>

#include <iterator>

namespace {

// The register list as the technicians' register map prints it; a typo in either copy fails.
const char16_t* const kRegisterMap[] = {
    u"00 dummy", u"01 DSP FRONT,Y-IN", u"02 DSP FRONT0",
    u"03 DSP FRONT1", u"04 DSP FRONT2", u"05 DSP Filter",
    u"06 DSP V Enh IN HighClip", u"07 DSP H Enh IN BaseClip", u"08 DSP H Enh BaseClip",
    u"09 DSP Enhancer HighClip", u"0A DSP V Enhancer BaseClip", u"0B DSP Y-setup,Y-DLY",
    u"0C DSP Y-ped", u"0D DSP Y-GAMMA", u"0E DSP C-GAMMA",
    u"0F DSP GAMMAout", u"10 DSP C-Limit(a)", u"11 DSP C-Limit(b)",
    u"12 DSP C-Limit(c)", u"13 DSP C-Limit(d)", u"14 DSP C-Matrix(r_a)",
    u"15 DSP C-Matrix(g_a)", u"16 DSP C-Matrix(b_a) ", u"17 DSP C-Matrix(r_b)",
    u"18 DSP C-Matrix(g_b)", u"19 DSP C-Matrix(b_b)", u"1A DSP C-Matrix(r_c)",
    u"1B DSP C-Matrix(g_c)", u"1C DSP C-Matrix(b_c)", u"1D DSP C-Matrix(r_d)",
    u"1E DSP C-Matrix(g_d)", u"1F DSP C-Matrix(b_d)", u"20 DSP Rsetup",
    u"21 DSP Gsetup", u"22 DSP Bsetup", u"23 DSP Rgain",
    u"24 DSP Ggain", u"25 DSP Bgain", u"26 DSP Roffset",
    u"27 DSP Goffset", u"28 DSP Boffset", u"29 DSP R,Bped",
    u"2A DSP Gped,CY Base Clip", u"2B DSP R-G,B-G gain", u"2C DSP Kr-g b-g(+)",
    u"2D DSP Kb-g r-g(+)", u"2E DSP Kr-g b-g(-)", u"2F DSP Kb-g r-g(-)",
    u"30 DSP C-Y gain,Enh gain", u"31 DSP CONT1", u"32 DSP CONT2",
    u"33 DSP Y-ped2,Y-BLK", u"34 DSP DNR0", u"35 DSP DNR1",
    u"36 DSP MOD DATA A,B", u"37 DSP MOD DATA C,D", u"38 DSP C-MOD Burst Level",
    u"39 DSP AREA", u"3A DSP Y-HighClip,H-Phase", u"3B DSP WB-DATA Limit",
    u"3C DSP WB-YLimit,YPROCC", u"3D DSP YPROCC", u"3E DSP AE CONT DATA",
    u"3F DSP TEST DATA", u"40 TG MODE", u"41 TG HS-Pulse Phase",
    u"42 TG HS-Pulse Dly", u"43 TG V-SHUT Normal", u"44 TG V-SHUT High",
    u"45 TG H-SHUT Normal", u"46 TG H-SHUT High", u"47 TG PBLK(START/END)",
    u"48 TG HOBP(START/END)", u"49 TG CP(START/END) ", u"4A TG XV1(START/END)",
    u"4B TG XV2(START/END)", u"4C TG XV3(START/END)", u"4D TG XV4(START/END)",
    u"4E TG XSUB(START/END/LSUB)", u"4F TG XSG1(START/END)", u"50 TG XSG2(START/END)",
    u"51 TG MOD1(START/END)", u"52 TG MOD2(START/END)", u"53 TG V(PGON/SLOAD/VSTOP)",
    u"54 SSG HCLR,AREA", u"55 SSG CHD,CBLK", u"56 SSG HSYNCs,Vphase",
    u"57 SSG EQ,VSER", u"58 SSG BF", u"59 SSG TGHD",
    u"5A SSG TGHD2,CP2", u"5B SSG VD2", u"5C SSG AREA-VBLK",
    u"5D TG,SSG CONT", u"5E DSP ZOOM Mag", u"5F DSP ZOOM VA(1st)",
    u"60 DSP ZOOM VB(2nd)", u"61 DSP ZOOM TG V-HS", u"62 DSP FRONT ZOOM",
    u"63 DSP FRONT MODE", u"64 DSP V-Latch ON/OFF", u"65 DSP FRONT LM shift",
    u"66 DSP WB-Ylevel A", u"67 DSP WB-Ylevel B", u"68 DSP FRONT MODE A",
    u"69 DSP FRONT MODE B", u"6A DSP AE IRIS Weight", u"6B DSP AE IRIS Level",
    u"6C DSP AE DET-A", u"6D DSP KIZU Xposi", u"6E DSP KIZU Yposi",
    u"6F DSP AEspeed,AW-WB Level ", u"70 DSP AE MAX ,AGC MAX", u"71 DSP AGCbase,AGCn",
    u"72 DSP AEinit,FIXshutter", u"73 DSP AGC crm killer ", u"74 DSP AGC enh killer",
    u"75 DSP Y-C L Killer", u"76 DSP Y-C G Kiler", u"77 DSP Y-C H killer",
    u"78 DSP AWB Rgain Max, Input Shift", u"79 DSP AWB Rgain Min", u"7A DSP AWB Bgain Max",
    u"7B DSP AWB Bgain Min", u"7C DSP AGC ＩＮＩＴ A", u"7D DSP AGC INIT B",
    u"7E DSP AGC INIT C", u"7F DSP AGC INIT D", u"80 DSP SD-out",
    u"81 DSP FRONT Gamma(Long)", u"82 DSP FRONT Gamma(Short)", u"83 DSP FRONT Y-Hclip(Long-A)",
    u"84 DSP FRONT Y-Hclip(Long-B)", u"85 DSP FRONT Y-Hclip(Long-C)", u"86 DSP FRONT Y-Hclip(Long-D)",
    u"87 DSP FRONT Y-Hclip(Short)", u"88 DSP FRONT Y-Ped", u"89 DSP FRONT Y-Gain",
    u"8A DSP FRONT V address(Long)", u"8B DSP FRONT V address(Short)", u"8C DSP FRONT V address(Read)",
    u"8D DSP FRONT V-W start", u"8E DSP FRONT V-R start", u"8F  C-Long/Short gain",
    u"90 Y-Long BC", u"91 Y-Short BC", u"92 Y-MIX gain",
    u"93 Y-MIX BC   ", u"94 C-MIX BC   ", u"95 Y-Long HC  ",
    u"96 Y-Short offset ", u"97 Ymix-level A", u"98 Ymix-level B",
    u"99 Ymix gain A, C", u"9A Ymix gain B", u"9B Ymix Line Hosei",
    u"9C AF VBPF BC", u"9D AF H-start/end", u"9E AF V-start/end",
    u"9F AF BPF-A BC     ", u"A0 AF BPF-B BC     ", u"A1 AF HL level     ",
    u"A2 AF BPF select", u"A3 AF H-DATA Knee point", u"A4 AF V-DATA Knee point",
    u"A5 AF Peak MAX", u"A6 DSP IRIS H-start/end", u"A7 DSP IRIS V-start/end",
    u"A8 MASK-A H-start/end", u"A9 MASK-A V-start/end", u"AA MASK-B H-start/end",
    u"AB MASK-B V-start/end", u"AC MASK-C H-start/end", u"AD MASK-C V-start/end",
    u"AE MASK-D H-start/end", u"AF MASK-D V-start/end", u"B0 Dummy H-start/end",
    u"B1 Dummy V-start/end", u"B2 WDR-AREA H-start/end", u"B3 WDR-AREA V-start/end",
    u"B4 WDR-AREA", u"B5 WDR-AREA2 H-start/end", u"B6 W-WB Rgain High",
    u"B7 W-WB Bgain High", u"B8 W-WB Rgain Middle", u"B9 W-WB Bgain Middle",
    u"BA W-WB Outdoor Low", u"BB W-WB Indoor High", u"BC OSD1,2 Y-Level",
    u"BD OSD1 Cr,Cb", u"BE OSD2 Cr,Cb", u"BF OnePush WB-DATA",
    u"C0 KIZU-BH", u"C1 KIZU-BV", u"C2 KIZU-CH",
    u"C3 KIZU-CV", u"C4 KIZU-DH", u"C5 KIZU-DV",
    u"C6 KIZU-EH", u"C7 KIZU-EV", u"C8 KIZU-FH",
    u"C9 KIZU-FV", u"CA KIZU-GH", u"CB KIZU-GV",
    u"CC Smear Cancel Gain", u"CD Smear Cancel LI", u"CE Smear Cancel LB",
    u"CF Smear Cancel LH", u"D0 C-Long BC", u"D1 C-Short BC",
    u"D2 C-MIX gain", u"D3 W-WB Area0", u"D4 W-WB Area1",
    u"D5 W-WB Area2", u"D6 W-WB Area3", u"D7 W-WB Area4",
    u"D8 MASK-E H-start/end", u"D9 MASK-E V-start/end", u"DA MSK-F H-start/end",
    u"DB MASK-F V-start/end", u"DC ASK-G H-start/end", u"DD MASK-G V-start/end",
    u"DE MASK-H H-start/end", u"DF MASK-H V-start/end", u"E0 AGC gain",
    u"E1 AGC mode", u"E2 AGC clamp", u"E3 AGC avr",
};

TEST(DebugRegisterList, EveryItemNamesTheRegisterOfItsIndexWithItsExactText)
{
    const QStringList& names = debug::dsp_register_names();
    ASSERT_EQ(names.size(), static_cast<qsizetype>(std::size(kRegisterMap)));
    ASSERT_EQ(names.size(), 228);
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i], QString::fromUtf16(kRegisterMap[i])) << "item " << i;
        EXPECT_EQ(debug::register_of_item(names[i]), i) << "item " << i;
    }
    // The odd ones: a double blank, trailing blanks, full-width letters.
    EXPECT_EQ(names[0x8F], QStringLiteral("8F  C-Long/Short gain"));
    EXPECT_EQ(names[0x93], QStringLiteral("93 Y-MIX BC   "));
    EXPECT_EQ(names[0x7C].mid(11, 4), QString::fromUtf16(u"\uFF29\uFF2E\uFF29\uFF34"));
    EXPECT_EQ(debug::register_of_item(QStringLiteral("x")), -1);
    EXPECT_EQ(debug::register_of_item(QStringLiteral("G1 name")), -1);
}

TEST(DebugBitFields, MaskedStepsWrapWithinTheFieldAndKeepTheOtherBits)
{
    EXPECT_EQ(debug::lowest_set_bit(0x00F0), 0x0010);
    EXPECT_EQ(debug::lowest_set_bit(0x8000), 0x8000);
    EXPECT_EQ(debug::lowest_set_bit(0x0000), 0);
    EXPECT_EQ(debug::lowest_set_bit(0x10000), 0); // only 16 bits count
    EXPECT_EQ(debug::step_masked_field(0x12F4, 0x00F0, +1), 0x1204);
    EXPECT_EQ(debug::step_masked_field(0x1204, 0x00F0, -1), 0x12F4);
    EXPECT_EQ(debug::step_masked_field(0x1234, 0x0000, +1), 0x1234);
    EXPECT_EQ(debug::step_masked_field(0x1234, 0x0000, -1), 0x1234);
    EXPECT_EQ(debug::step_masked_field(0xFFFF, 0xFFFF, +1), 0x0000);
    EXPECT_EQ(debug::step_masked_field(0x0000, 0xFFFF, -1), 0xFFFF);
    // A value that is not hexadecimal (-1) steps as 0xFFFF.
    EXPECT_EQ(debug::step_masked_field(-1, 0x0F00, +1), 0xF0FF);
}

TEST(DebugEepromAddress, StepsByOneAndWrapsOnlyAtBothEnds)
{
    struct Step {
        int address, direction, expected;
    };
    const Step steps[] = {
        {0x03FF, +1, 0},      {0, -1, 0x03FF},      {0x0100, +1, 0x0101}, {0x0100, -1, 0x00FF},
        // An address past the EEPROM, or text that is not hexadecimal (-1), steps like any other.
        {0x0500, -1, 0x04FF}, {0x0500, +1, 0x0501}, {0x0400, -1, 0x03FF}, {-1, +1, 0},
        {-1, -1, -2},
    };
    for (const Step& s : steps)
        EXPECT_EQ(debug::step_eeprom_address(s.address, s.direction), s.expected) << std::hex << s.address << " by " << std::dec << s.direction;
}

std::vector<int> command_of(const char* text, std::size_t count)
{
    const auto bytes = debug::raw_command_bytes(QString::fromLatin1(text));
    return std::vector<int>(bytes.begin() + 1, bytes.begin() + 1 + static_cast<std::ptrdiff_t>(count));
}

TEST(DebugRawCommand, DigitsPairIntoBytesAndSingleDigitsStandAlone)
{
    const std::vector<int> read_register_1{0x33, 0x0A, 0x01, 0x00};
    EXPECT_EQ(command_of("33 0A 01", 4), read_register_1);
    EXPECT_EQ(command_of("330A01", 4), read_register_1);
    EXPECT_EQ(command_of("33 A 1", 4), read_register_1);
    EXPECT_EQ(command_of("33 a 1", 4), read_register_1);
    // Only the hexadecimal letters of the field's first text count.
    EXPECT_EQ(command_of("SendBuffer", 6), (std::vector<int>{0x0E, 0xDB, 0xFF, 0x0E, 0x00, 0x00}));
    EXPECT_EQ(command_of("", 15), std::vector<int>(15, 0));
    // Digits past byte 15 are dropped, never written past the frame.
    const auto full = debug::raw_command_bytes(QString(40, QLatin1Char('7')));
    for (std::size_t i = 1; i < full.size(); ++i) EXPECT_EQ(full[i], 0x77) << i;
    EXPECT_EQ(full[0], 0);
}

TEST(DebugTexts, AgcLogLineDumpLinesAndSampleLines)
{
    frames::Frame reply{};
    const std::uint8_t data[] = {0x01, 0x23, 0x45, 0x01, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x01, 0x23, 0x45};
    std::copy(std::begin(data), std::end(data), reply.begin() + 4);
    EXPECT_EQ(debug::agc_log_line(reply), QStringLiteral("0123 1 45 6789 ABCD EF01 2345"));
    reply[7] = 0;
    EXPECT_EQ(debug::agc_log_line(reply).mid(5, 1), QStringLiteral("0"));

    std::uint8_t bytes[20];
    for (int i = 0; i < 20; ++i) bytes[i] = static_cast<std::uint8_t>(0xA0 + i);
    const QStringList one = debug::ram_dump_lines(bytes, sizeof bytes, 1);
    ASSERT_EQ(one.size(), 1);
    EXPECT_EQ(one[0].size(), 48);
    EXPECT_TRUE(one[0].startsWith(QStringLiteral("A0 A1 A2 "))) << one[0].toStdString();
    // Past the buffer the line shows zeros instead of reading beyond it.
    const QStringList two = debug::ram_dump_lines(bytes, sizeof bytes, 0x11);
    ASSERT_EQ(two.size(), 2);
    EXPECT_EQ(two[1], QStringLiteral("B0 B1 B2 B3 00 00 00 00 00 00 00 00 00 00 00 00 "));
    EXPECT_TRUE(debug::ram_dump_lines(bytes, sizeof bytes, -1).isEmpty());

    EXPECT_EQ(debug::ram_address_lines(0xE800, 0x10), QStringList{QStringLiteral("E800")});
    EXPECT_EQ(debug::ram_address_lines(0xE800, 0x2F), (QStringList{QStringLiteral("E800"), QStringLiteral("E810")}));
    EXPECT_TRUE(debug::ram_address_lines(0xE800, 1).isEmpty());

    std::array<std::int32_t, debug::kAreaSamples> samples{};
    for (int i = 0; i < debug::kAreaSamples; ++i) samples[static_cast<std::size_t>(i)] = 0x100 * i + i;
    const QStringList rows = debug::area_sample_lines(samples);
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[0].size(), 40);
    EXPECT_TRUE(rows[5].startsWith(QStringLiteral("2828 2929 "))) << rows[5].toStdString();
}

TEST(DebugRepeatInterval, DecimalLowSixteenBitsAndNeverZero)
{
    EXPECT_EQ(debug::repeat_interval_ms(QStringLiteral("250")), 250);
    EXPECT_EQ(debug::repeat_interval_ms(QStringLiteral("0")), 1);
    EXPECT_EQ(debug::repeat_interval_ms(QStringLiteral("")), 1);
    EXPECT_EQ(debug::repeat_interval_ms(QStringLiteral("1x")), 1);
    EXPECT_EQ(debug::repeat_interval_ms(QStringLiteral("65537")), 1);
}

} // namespace
