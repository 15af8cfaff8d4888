#pragma once
// The reads that load each page, numbered by transaction type.

#include <array>
#include <cstdint>
#include <optional>

struct ReadRequest {
    std::array<std::uint8_t, 3> bytes{}; // command bytes 2..length (byte 1 is always 0x33)
    int length = 0;                      // command length N, counting byte 1
};

constexpr std::uint8_t kReadCommand = 0x33;

// The read of `type` on `page`, or nothing when the page's table has no such type (the series ends).
std::optional<ReadRequest> read_request(int page, unsigned type);
