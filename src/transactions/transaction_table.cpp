#include "transactions/transaction_table.h"

namespace {

constexpr ReadRequest read2(std::uint8_t item) { return {{item, 0, 0}, 2}; }
constexpr ReadRequest read3(std::uint8_t item, std::uint8_t index) { return {{item, index, 0}, 3}; }
constexpr ReadRequest read4(std::uint8_t item, std::uint8_t index, std::uint8_t sub)
{
    return {{item, index, sub}, 4};
}

// Every page starts with the two camera facts: resolution (0x0A 0x01) and TV system (0x0A 0x40).
constexpr ReadRequest kResolution = read3(0x0A, 0x01);
constexpr ReadRequest kTvSystem = read3(0x0A, 0x40);

std::optional<ReadRequest> lens_read(unsigned type)
{
    static constexpr ReadRequest table[] = {kResolution, kTvSystem, read2(0x42), read2(0x43)};
    if (type < std::size(table)) return table[type];
    return std::nullopt;
}

std::optional<ReadRequest> debug_read(unsigned type)
{
    static constexpr ReadRequest table[] = {kResolution, kTvSystem,   read3(0x50, 0x01),
                                            read3(0x3A, 0x03), read2(0x48), read2(0x49)};
    if (type < std::size(table)) return table[type];
    return std::nullopt;
}

std::optional<ReadRequest> facts_only_read(unsigned type)
{
    if (type == 0) return kResolution;
    if (type == 1) return kTvSystem;
    return std::nullopt;
}

std::optional<ReadRequest> setup_read(unsigned type)
{
    if (type <= 1) return facts_only_read(type);
    // Setup groups 0..7, then group 10 (groups 8 and 9 are never read).
    if (type <= 9) return read3(0x50, static_cast<std::uint8_t>(type - 2));
    if (type == 10) return read3(0x50, 0x0A);
    // The four blocks of the camera title.
    if (type <= 14) return read4(0x10, 0x01, static_cast<std::uint8_t>(type - 11));
    return std::nullopt;
}

} // namespace

std::optional<ReadRequest> read_request(int page, unsigned type)
{
    switch (page) {
    case 0: return lens_read(type);
    case 1: return debug_read(type);
    case 2:
    case 3: return facts_only_read(type);
    case 4: return setup_read(type);
    default: return std::nullopt;
    }
}
