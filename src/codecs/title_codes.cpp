#include "codecs/title_codes.h"

namespace {

constexpr std::int16_t kNoCode = -1;

std::array<std::int16_t, 256> build_table()
{
    std::array<std::int16_t, 256> table;
    table.fill(kNoCode);
    table[0x20] = 0x00FD;
    for (int i = 0; i < 10; ++i) table[0x30 + i] = static_cast<std::int16_t>(i);
    for (int i = 0; i < 26; ++i) {
        table[0x41 + i] = static_cast<std::int16_t>(0x0A + i);
        table[0x61 + i] = static_cast<std::int16_t>(0x10A + i);
    }
    const std::pair<int, std::int16_t> punctuation[] = {
        {0x21, 0x004F}, {0x22, 0x0073}, {0x23, 0x0081}, {0x24, 0x007D}, {0x25, 0x0080}, {0x26, 0x0082},
        {0x27, 0x0072}, {0x28, 0x0060}, {0x29, 0x0061}, {0x2A, 0x0065}, {0x2B, 0x0068}, {0x2C, 0x0074},
        {0x2D, 0x0069}, {0x2E, 0x0075}, {0x2F, 0x0029}, {0x3A, 0x007B}, {0x3B, 0x007A}, {0x3C, 0x0059},
        {0x3D, 0x006A}, {0x3E, 0x0058}, {0x3F, 0x0050}, {0x40, 0x0049}, {0x5B, 0x0062}, {0x5D, 0x0063},
        {0x5E, 0x0192}, {0x60, 0x0191}, {0x7B, 0x006C}, {0x7C, 0x0190}, {0x7D, 0x0053}, {0x7E, 0x0077},
    };
    for (const auto& [character, code] : punctuation) table[static_cast<std::size_t>(character)] = code;
    return table;
}

} // namespace

const std::array<std::int16_t, 256>& osd_char_table()
{
    static const std::array<std::int16_t, 256> table = build_table();
    return table;
}

std::uint16_t title_char_code(QChar c)
{
    const char16_t u = c.unicode();
    if (u > 0xFF) return kSpaceCode;
    const std::int16_t code = osd_char_table()[u];
    return code == kNoCode ? kSpaceCode : static_cast<std::uint16_t>(code);
}

std::array<std::uint16_t, kTitleBlockChars> title_block_codes(const QString& title, int block)
{
    std::array<std::uint16_t, kTitleBlockChars> codes{};
    for (int i = 0; i < kTitleBlockChars; ++i) {
        const int position = block * kTitleBlockChars + i; // 0-based
        codes[static_cast<std::size_t>(i)] = position < title.size() ? title_char_code(title[position]) : kSpaceCode;
    }
    return codes;
}

QChar title_code_char(std::uint16_t code)
{
    const auto& table = osd_char_table();
    for (int j = 0; j < 256; ++j) {
        if (table[static_cast<std::size_t>(j)] != kNoCode
            && static_cast<std::uint16_t>(table[static_cast<std::size_t>(j)]) == code)
            return QChar(j);
    }
    return QChar(' ');
}
