#pragma once
// What the parser checks share. A check returns the first property its input broke, as text, so
// that a libFuzzer target can abort on it and a CTest driver can print it beside the seed that
// made the input. The first input byte of a check is a control byte (how the rest is split, sized
// or encoded); the bytes after it are what the parser reads.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

using Violation = std::string; // empty: every property held

// Returns `what` from the enclosing check when `condition` is false.
#define FUZZ_EXPECT(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) return ::fuzz::Violation(what);                                          \
    } while (0)

struct Input {
    std::uint8_t control = 0;
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
};

inline Input split_control(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return {};
    return {data[0], data + 1, size - 1};
}

inline std::string at(std::size_t offset) { return " at byte " + std::to_string(offset); }

// The libFuzzer side: a broken property is a finding like a crash.
inline void abort_on(const Violation& violation)
{
    if (violation.empty()) return;
    std::fprintf(stderr, "property violated: %s\n", violation.c_str());
    std::abort();
}

} // namespace fuzz
