#include "fault_plan.h"

#include "link/frames.h"

#include <algorithm>

namespace sim {

const char* fault_name(Fault fault)
{
    switch (fault) {
    case Fault::None: return "none";
    case Fault::NoAnswer: return "no answer";
    case Fault::BadChecksum: return "bad checksum";
    case Fault::NoEtx: return "no ETX";
    case Fault::Refuse: return "refused";
    case Fault::SecondAnswer: return "second answer";
    case Fault::SplitBytes: return "split bytes";
    case Fault::Late: return "late";
    case Fault::ForeignFirst: return "answers to other reads first";
    case Fault::Trailing: return "trailing bytes";
    }
    return "?";
}

void FaultPlan::inject(Fault fault, int next_n)
{
    next_fault_ = next_n > 0 ? fault : Fault::None;
    next_remaining_ = next_fault_ == Fault::None ? 0 : next_n;
}

void FaultPlan::inject_for_command(Fault fault, std::uint8_t code, std::optional<std::uint8_t> sub)
{
    std::erase_if(rules_, [&](const Rule& r) { return r.code == code && r.sub == sub; });
    rules_.push_back({fault, code, sub});
}

void FaultPlan::clear()
{
    rules_.clear();
    inject(Fault::None, 0);
}

Fault FaultPlan::take_for(std::span<const std::uint8_t> command)
{
    if (command.size() >= 3) {
        // The most recent matching rule decides, so a narrower rule added later overrides.
        for (auto it = rules_.rbegin(); it != rules_.rend(); ++it)
            if (it->code == command[1] && (!it->sub || *it->sub == command[2])) return it->fault;
    }
    if (next_remaining_ == 0) return Fault::None;
    if (--next_remaining_ == 0) {
        const Fault fault = next_fault_;
        next_fault_ = Fault::None;
        return fault;
    }
    return next_fault_;
}

namespace {

void reseal(Bytes& answer)
{
    answer.back() = frames::checksum_of(answer.data(), answer.size() - 1);
}

// The answer to another read: `echo_byte` changed and every value byte (5..14) too.
Bytes foreign_answer(const Bytes& answer, std::size_t echo_byte)
{
    Bytes other = answer;
    other[echo_byte] ^= 0x01;
    for (std::size_t i = 5; i < frames::kIdOffset; ++i) other[i] ^= 0x5A;
    reseal(other);
    return other;
}

Bytes with_foreign_answers_first(Bytes answer)
{
    if (answer.size() != frames::kFrameSize) return answer;
    Bytes bytes;
    for (std::size_t echo_byte : {2u, 3u, 4u}) {
        const Bytes other = foreign_answer(answer, echo_byte);
        bytes.insert(bytes.end(), other.begin(), other.end());
    }
    bytes.insert(bytes.end(), answer.begin(), answer.end());
    return bytes;
}

// An STX and the first bytes of an accepted EEPROM reply, then nothing.
const Bytes kUnfinishedFrame{frames::STX, frames::kReplyAccepted, 0x0C, 0x00, 0x00, 0x12};

} // namespace

Bytes apply_content_fault(Fault fault, Bytes answer)
{
    if (answer.size() < frames::kShortFrameSize) return answer;
    switch (fault) {
    case Fault::BadChecksum:
        ++answer.back();
        break;
    case Fault::NoEtx:
        answer[answer.size() - 2] = 0x00;
        reseal(answer);
        break;
    case Fault::Refuse:
        answer[1] = 0x21;
        reseal(answer);
        break;
    case Fault::SecondAnswer:
        answer[1] = frames::kReplySecondAnswer;
        reseal(answer);
        break;
    case Fault::ForeignFirst:
        return with_foreign_answers_first(std::move(answer));
    case Fault::Trailing:
        answer.insert(answer.end(), kUnfinishedFrame.begin(), kUnfinishedFrame.end());
        break;
    default:
        break;
    }
    return answer;
}

std::vector<TimedBytes> lay_out(const Bytes& bytes, Fault fault, const OutputTiming& timing,
                                Clock::time_point earliest)
{
    Clock::time_point due = earliest;
    if (fault == Fault::Late) due += timing.late_delay;
    const bool one_by_one = fault == Fault::SplitBytes || timing.baud_pacing;
    if (!one_by_one) return {{due, bytes}};

    Clock::duration gap = timing.baud_pacing ? Clock::duration(kByteTime) : Clock::duration::zero();
    if (fault == Fault::SplitBytes) gap = std::max(gap, Clock::duration(timing.split_pause));
    std::vector<TimedBytes> pieces;
    for (std::uint8_t b : bytes) {
        pieces.push_back({due, {b}});
        due += gap;
    }
    return pieces;
}

} // namespace sim
