#include "link/hex_text.h"

namespace {
const char kDigits[] = "0123456789ABCDEF";

QString hex_digits(unsigned value, int count)
{
    QString text(count, QChar('0'));
    for (int i = count - 1; i >= 0; --i) {
        text[i] = QChar(kDigits[value & 0xF]);
        value >>= 4;
    }
    return text;
}
} // namespace

QString hex_byte_text(int v) { return hex_digits(static_cast<unsigned>(v) & 0xFFu, 2); }

QString hex_word_text(int v) { return hex_digits(static_cast<unsigned>(v) & 0xFFFFu, 4); }

int hex_digit_value(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    return -1;
}

int hex_pair_value(QChar high, QChar low)
{
    const int h = hex_digit_value(high);
    const int l = hex_digit_value(low);
    if (h < 0 || l < 0) return -1;
    return h * 16 + l;
}

int hex_text_value(const QString& text)
{
    // Accumulate in unsigned so that long texts wrap instead of overflowing a signed int.
    unsigned value = 0;
    for (QChar c : text) {
        const int d = hex_digit_value(c);
        if (d < 0) return -1;
        value = value * 16u + static_cast<unsigned>(d);
    }
    return static_cast<int>(value);
}

QString hex_trace(const std::uint8_t* bytes, std::size_t count)
{
    QString text;
    text.reserve(static_cast<qsizetype>(count * 2));
    for (std::size_t i = 0; i < count; ++i) text += hex_byte_text(bytes[i]);
    return text;
}
