#include "pages/debug/debug_logic.h"

#include "link/hex_text.h"

namespace debug {

int register_of_item(const QString& item)
{
    return item.size() < 2 ? -1 : hex_pair_value(item[0], item[1]);
}

int lowest_set_bit(int mask)
{
    const int m = mask & 0xFFFF;
    return m & -m;
}

int step_masked_field(int data, int mask, int direction)
{
    const int m = mask & 0xFFFF;
    const int moved = data + direction * lowest_set_bit(m);
    return ((data & ~m) | (moved & m)) & 0xFFFF;
}

int step_eeprom_address(int address, int direction)
{
    // Only the two ends of the EEPROM wrap; any other address, even one past it, steps by one.
    if (direction > 0 && address == kEepromWords - 1) return 0;
    if (direction < 0 && address == 0) return kEepromWords - 1;
    return address + direction;
}

std::array<std::uint8_t, frames::kMaxCommandLength + 1> raw_command_bytes(const QString& text)
{
    std::array<std::uint8_t, frames::kMaxCommandLength + 1> bytes{};
    // n counts nibbles: byte n/2 receives digit n; an even n starts a new byte.
    std::size_t n = 2;
    constexpr std::size_t kEnd = 2 * (frames::kMaxCommandLength + 1);
    for (const QChar c : text) {
        if (n >= kEnd) break;
        const int digit = hex_digit_value(c);
        std::uint8_t& byte = bytes[n / 2];
        if (digit >= 0) {
            byte = (n % 2 == 0) ? static_cast<std::uint8_t>(digit) : static_cast<std::uint8_t>(byte * 16 + digit);
            ++n;
        } else if (n % 2 == 1) {
            ++n;
        }
    }
    return bytes;
}

namespace {
int word_at(const frames::Frame& f, std::size_t offset) { return f[offset] << 8 | f[offset + 1]; }
} // namespace

QString agc_log_line(const frames::Frame& reply)
{
    const QStringList fields = {
        hex_word_text(word_at(reply, 4)),  QString::number(reply[7] != 0 ? 1 : 0),
        hex_byte_text(reply[6]),           hex_word_text(word_at(reply, 8)),
        hex_word_text(word_at(reply, 10)), hex_word_text(word_at(reply, 12)),
        hex_word_text(word_at(reply, 14)),
    };
    return fields.join(QLatin1Char(' '));
}

QStringList ram_dump_lines(const std::uint8_t* bytes, std::size_t size, int count)
{
    QStringList lines;
    for (int i = 0; i < count; i += kDumpBytesPerLine) {
        QString line;
        for (int k = 0; k < kDumpBytesPerLine; ++k) {
            const auto at = static_cast<std::size_t>(i + k);
            line += hex_byte_text(at < size ? bytes[at] : 0) + QLatin1Char(' ');
        }
        lines << line;
    }
    return lines;
}

QStringList ram_address_lines(int base, int count)
{
    QStringList lines;
    for (int i = 1; i <= count / kDumpBytesPerLine; ++i) lines << hex_word_text(base + kDumpBytesPerLine * (i - 1));
    return lines;
}

QStringList area_sample_lines(const std::array<std::int32_t, kAreaSamples>& samples)
{
    QStringList lines;
    for (int r = 0; r < kAreaSamples / kSamplesPerLine; ++r) {
        QString line;
        for (int k = 0; k < kSamplesPerLine; ++k)
            line += hex_word_text(samples[static_cast<std::size_t>(r * kSamplesPerLine + k)]) + QLatin1Char(' ');
        lines << line;
    }
    return lines;
}

int repeat_interval_ms(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10) & 0xFFFF;
    return ok && value != 0 ? value : 1;
}

} // namespace debug
