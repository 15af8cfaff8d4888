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
