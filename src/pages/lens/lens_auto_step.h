#pragma once
// One step of the automatic DC-lens adjustment: given the level just read, the procedure's
// counters and the dead band, what to do next. A pure function, so that the procedure's rules can
// be checked without a camera.
//
// An adjustment is made only after four readings in a row outside the band; every six reversals
// (a reading whose sign goes against the last adjustment) widen the band by one instead of
// adjusting; eleven readings in a row inside the band end the procedure.

namespace lens {

struct AutoCounters {
    int over_count = 0;   // readings outside the band since the last adjustment
    int settle_count = 0; // readings in a row inside the band
    int reversals = 0;    // adjustments against the sign of the previous one
    int last_dir = 0;     // +1 offset raised, -1 lowered, 0 none yet
};

enum class AutoAction {
    ReadAgain,   // read the level again after the pause
    WidenBand,   // the band grew by one; read again after the pause
    RaiseOffset, // step the offset up once; the write's reply schedules the next reading
    LowerOffset, // step the offset down once
    Finish,      // the level has settled: the procedure ends
    None,        // nothing to do (a zero level outside a negative band)
};

struct AutoStep {
    AutoAction action = AutoAction::None;
    AutoCounters counters;
    int band = 0;
};

// Readings outside the band that only schedule another reading before an adjustment is made.
constexpr int kReadingsBeforeAdjust = 3;
// Reversals tolerated before the band widens.
constexpr int kReversalsBeforeWiden = 5;
// Readings inside the band that are not yet enough to finish.
constexpr int kSettledReadingsBeforeFinish = 10;

AutoStep auto_step(int level, const AutoCounters& counters, int band);

} // namespace lens
