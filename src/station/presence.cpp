#include "station/presence.h"

#include <QElapsedTimer>

#include <algorithm>

namespace station {
namespace {

constexpr int kProbeIntervalMs = 500;
constexpr int kReopenIntervalMs = 1000;
constexpr int kMissedProbesGone = 3;
constexpr int kDsrWaitMs = 60000;

bool usable(const StationLink& link) { return link.is_open() && !link.line_lost(); }

// A lost line (an adapter pulled, a simulator ended) is opened again once it is back.
void reopen(StationLink& link)
{
    if (!link.open(nullptr)) link.pause(kReopenIntervalMs);
}

// Sleeps out the rest of a probe interval; a DSR change ends it early on a line with modem signals.
void rest_of_interval(StationLink& link, const QElapsedTimer& since)
{
    const int left = static_cast<int>(kProbeIntervalMs - since.elapsed());
    if (left <= 0) return;
    if (link.has_modem_signals())
        link.wait_dsr_change(false, left);
    else
        link.pause(left);
}

} // namespace

bool wait_for_camera(StationLink& link, PresentBy& by)
{
    while (!link.stopped()) {
        if (!usable(link)) {
            reopen(link);
            continue;
        }
        if (link.has_modem_signals() && link.dsr()) {
            by = PresentBy::Dsr;
            return true;
        }
        QElapsedTimer since;
        since.start();
        if (link.probe()) {
            by = PresentBy::Probe;
            return true;
        }
        rest_of_interval(link, since);
    }
    return false;
}

void wait_until_gone(StationLink& link, PresentBy by)
{
    if (by == PresentBy::Dsr) {
        while (usable(link) && !link.stopped() && !link.wait_dsr_change(true, kDsrWaitMs)) {
        }
        return;
    }
    int missed = 0;
    while (usable(link) && !link.stopped() && missed < kMissedProbesGone) {
        QElapsedTimer since;
        since.start();
        missed = link.probe() ? 0 : missed + 1;
        if (missed < kMissedProbesGone && !link.pause(static_cast<int>(std::max<qint64>(1, kProbeIntervalMs - since.elapsed()))))
            return;
    }
}

} // namespace station
