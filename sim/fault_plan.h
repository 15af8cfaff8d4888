#pragma once
// Faults the simulator can put into its answers, which answers get them, and how an answer is
// laid out in time on the line.

#include "bytes.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sim {

using Clock = std::chrono::steady_clock;

enum class Fault {
    None,
    NoAnswer,     // the answer is withheld
    BadChecksum,  // last byte off by one
    NoEtx,        // the ETX byte replaced (checksum still matches the altered bytes)
    Refuse,       // reply code 0x21
    SecondAnswer, // reply code 0xA8
    SplitBytes,   // one byte at a time with a pause between bytes
    Late,         // the whole answer held back by a delay
    ForeignFirst, // ahead of an 18-byte answer, three answers to other reads: its byte 2 (the
                  // item), 3 (the index) or 4 (a four-byte read's address) changed, other values
    Trailing,     // the answer followed by the start of a frame that never ends (line noise)
};

const char* fault_name(Fault fault);

// Which answers get which fault. Rules for a command win over the count of next answers; the
// count is used up only by answers that it alters.
class FaultPlan {
public:
    void inject(Fault fault, int next_n);
    // Byte 1 == code (and byte 2 == sub when given). For the parameter block byte 1 is 0x74.
    void inject_for_command(Fault fault, std::uint8_t code, std::optional<std::uint8_t> sub);
    void clear();

    // The fault for the answer to `command`.
    Fault take_for(std::span<const std::uint8_t> command);

private:
    struct Rule {
        Fault fault;
        std::uint8_t code;
        std::optional<std::uint8_t> sub;
    };
    std::vector<Rule> rules_;
    Fault next_fault_ = Fault::None;
    int next_remaining_ = 0;
};

// Changes the bytes of an answer (frame or short frame) for the faults that alter content; the
// other faults leave it as it is.
Bytes apply_content_fault(Fault fault, Bytes answer);

struct OutputTiming {
    std::chrono::milliseconds late_delay{1000};
    std::chrono::milliseconds split_pause{20};
    bool baud_pacing = false;
};

// One byte at 19200 baud, 8N1: 10 bit times.
constexpr std::chrono::microseconds kByteTime{521};

struct TimedBytes {
    Clock::time_point due;
    Bytes bytes;
};

// The pieces in which `bytes` go out, the first not before `earliest`.
std::vector<TimedBytes> lay_out(const Bytes& bytes, Fault fault, const OutputTiming& timing,
                                Clock::time_point earliest);

} // namespace sim
