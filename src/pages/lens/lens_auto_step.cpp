#include "pages/lens/lens_auto_step.h"

#include <cstdlib>

namespace lens {
namespace {

AutoStep outside_band(int level, AutoCounters c, int band)
{
    AutoStep step{AutoAction::ReadAgain, c, band};
    c.settle_count = 0;
    c.over_count += 1;
    if (c.over_count <= kReadingsBeforeAdjust) {
        step.counters = c;
        return step;
    }
    c.over_count = 0;
    if (level * c.last_dir < 0) c.reversals += 1;
    if (c.reversals > kReversalsBeforeWiden) {
        c.reversals = 0;
        step.action = AutoAction::WidenBand;
        step.band = band + 1;
    } else if (level > 0) {
        step.action = AutoAction::RaiseOffset;
        c.last_dir = +1;
    } else if (level < 0) {
        step.action = AutoAction::LowerOffset;
        c.last_dir = -1;
    } else {
        step.action = AutoAction::None;
    }
    step.counters = c;
    return step;
}

AutoStep inside_band(AutoCounters c, int band)
{
    c.settle_count += 1;
    if (c.settle_count > kSettledReadingsBeforeFinish) {
        c.settle_count = 0;
        return {AutoAction::Finish, c, band};
    }
    c.over_count = 0;
    return {AutoAction::ReadAgain, c, band};
}

} // namespace

AutoStep auto_step(int level, const AutoCounters& counters, int band)
{
    if (std::abs(level) > band) return outside_band(level, counters, band);
    return inside_band(counters, band);
}

} // namespace lens
