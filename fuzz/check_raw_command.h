#pragma once
// The Debug page's raw command text parser.
//
// The text is the payload read as Latin-1, UTF-8 or UTF-16 (chosen by the control byte), so odd
// code units and invalid sequences reach the parser too. Property: the bytes equal those of a
// model that splits the text at every character that is not a hexadecimal digit and turns each
// run of digits into bytes two digits at a time, a lone last digit making a byte of its own, up to
// byte 15; byte 0 stays 0.

#include "fuzz_check.h"
#include "pages/debug/debug_logic.h"

#include <QString>

#include <array>
#include <vector>

namespace fuzz {
namespace raw_command_check {

using Bytes = std::array<std::uint8_t, frames::kMaxCommandLength + 1>;

inline int digit_of(char16_t c)
{
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

inline Bytes expected_bytes(const QString& text)
{
    Bytes bytes{};
    std::size_t next = 1;
    std::vector<int> run;
    const auto flush = [&] {
        for (std::size_t i = 0; i < run.size() && next < bytes.size(); i += 2)
            bytes[next++] = static_cast<std::uint8_t>(i + 1 < run.size() ? run[i] * 16 + run[i + 1] : run[i]);
        run.clear();
    };
    for (const QChar c : text) {
        const int d = digit_of(c.unicode());
        if (d >= 0)
            run.push_back(d);
        else
            flush();
    }
    flush();
    return bytes;
}

inline QString text_of(const Input& in)
{
    const char* chars = reinterpret_cast<const char*>(in.bytes);
    const auto size = static_cast<qsizetype>(in.size);
    switch (in.control % 3) {
    case 0: return QString::fromLatin1(chars, size);
    case 1: return QString::fromUtf8(chars, size);
    default: {
        std::vector<char16_t> units(in.size / 2);
        for (std::size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(in.bytes[2 * i] | in.bytes[2 * i + 1] << 8);
        return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
    }
    }
}

} // namespace raw_command_check

inline Violation check_raw_command(const std::uint8_t* data, std::size_t size)
{
    using namespace raw_command_check;
    const QString text = text_of(split_control(data, size));
    const Bytes got = debug::raw_command_bytes(text);
    const Bytes want = expected_bytes(text);
    for (std::size_t i = 0; i < got.size(); ++i)
        FUZZ_EXPECT(got[i] == want[i], "command byte " + std::to_string(i) + " is " + std::to_string(got[i]) +
                                           ", the digits make " + std::to_string(want[i]));
    return {};
}

} // namespace fuzz
