// The rules of the automatic DC-lens adjustment, one reading at a time.

#include "pages/lens/lens_auto_step.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using lens::AutoAction;
using lens::AutoCounters;
using lens::AutoStep;

// Feeds readings through the step function, carrying counters and band from one to the next.
class Procedure {
public:
    AutoAction read(int level)
    {
        const AutoStep step = lens::auto_step(level, counters, band);
        counters = step.counters;
        band = step.band;
        return step.action;
    }

    std::vector<AutoAction> read_all(const std::vector<int>& levels)
    {
        std::vector<AutoAction> actions;
        for (int level : levels) actions.push_back(read(level));
        return actions;
    }

    AutoCounters counters;
    int band = 0;
};

constexpr AutoAction kRead = AutoAction::ReadAgain;

TEST(LensAutoStep, FourthReadingOutsideTheBandAdjustsOnce)
{
    Procedure p;
    EXPECT_EQ(p.read_all({20, 20, 20, 20}),
              (std::vector<AutoAction>{kRead, kRead, kRead, AutoAction::RaiseOffset}));
    EXPECT_EQ(p.counters.last_dir, +1);
    EXPECT_EQ(p.counters.over_count, 0);
    EXPECT_EQ(p.counters.reversals, 0);
    EXPECT_EQ(p.band, 0);

    // A negative level lowers, after another four readings; going against +1 is a reversal.
    EXPECT_EQ(p.read_all({-3, -3, -3, -3}),
              (std::vector<AutoAction>{kRead, kRead, kRead, AutoAction::LowerOffset}));
    EXPECT_EQ(p.counters.last_dir, -1);
    EXPECT_EQ(p.counters.reversals, 1);
}

TEST(LensAutoStep, ReadingsOutsideTheBandMustComeInARow)
{
    Procedure p;
    p.read_all({20, 20, 20});
    EXPECT_EQ(p.read(0), kRead) << "a reading inside the band";
    EXPECT_EQ(p.counters.over_count, 0);
    EXPECT_EQ(p.counters.settle_count, 1);
    EXPECT_EQ(p.read_all({20, 20, 20}), (std::vector<AutoAction>{kRead, kRead, kRead}));
    EXPECT_EQ(p.counters.settle_count, 0) << "a reading outside the band ends the settled run";
    EXPECT_EQ(p.read(20), AutoAction::RaiseOffset);
}

TEST(LensAutoStep, SixReversalsWidenTheBandInsteadOfAdjusting)
{
    Procedure p;
    const std::vector<AutoAction> wait{kRead, kRead, kRead};
    // Six adjustments with alternating levels: the first is no reversal, the next five are.
    for (int adjustment = 0; adjustment < 6; ++adjustment) {
        const int level = adjustment % 2 == 0 ? 20 : -20;
        EXPECT_EQ(p.read_all({level, level, level}), wait);
        EXPECT_EQ(p.read(level), level > 0 ? AutoAction::RaiseOffset : AutoAction::LowerOffset) << adjustment;
        EXPECT_EQ(p.counters.reversals, adjustment);
        EXPECT_EQ(p.band, 0);
    }
    // The sixth reversal widens the band by one and adjusts nothing.
    EXPECT_EQ(p.read_all({20, 20, 20}), wait);
    EXPECT_EQ(p.read(20), AutoAction::WidenBand);
    EXPECT_EQ(p.band, 1);
    EXPECT_EQ(p.counters.reversals, 0);
    EXPECT_EQ(p.counters.last_dir, -1) << "no adjustment was made";

    // The wider band takes readings of -1..+1 as settled.
    EXPECT_EQ(p.read(1), kRead);
    EXPECT_EQ(p.counters.settle_count, 1);
    EXPECT_EQ(p.read(-1), kRead);
    EXPECT_EQ(p.counters.settle_count, 2);
}

TEST(LensAutoStep, ElevenSettledReadingsFinish)
{
    Procedure p;
    p.read_all({5, 5}); // outside the band, then settled readings reset the count
    for (int i = 1; i <= 10; ++i) {
        EXPECT_EQ(p.read(0), kRead) << i;
        EXPECT_EQ(p.counters.settle_count, i);
        EXPECT_EQ(p.counters.over_count, 0);
    }
    EXPECT_EQ(p.read(0), AutoAction::Finish);
    EXPECT_EQ(p.counters.settle_count, 0);
}

TEST(LensAutoStep, ExtremeLevelsAndAZeroLevelOutsideANegativeBand)
{
    Procedure p;
    EXPECT_EQ(p.read_all({-128, -128, -128, -128}),
              (std::vector<AutoAction>{kRead, kRead, kRead, AutoAction::LowerOffset}));
    EXPECT_EQ(p.read_all({127, 127, 127, 127}).back(), AutoAction::RaiseOffset);
    EXPECT_EQ(p.counters.reversals, 1);

    // The band is never negative in use; a zero level outside one asks for nothing.
    Procedure negative;
    negative.band = -1;
    EXPECT_EQ(negative.read_all({0, 0, 0, 0}).back(), AutoAction::None);
    EXPECT_EQ(negative.counters.last_dir, 0);
}

} // namespace
