#include "station/presence.h"

#include <QElapsedTimer>

namespace station {
namespace {

constexpr int kProbeIntervalMs = 500;
constexpr int kReopenIntervalMs = 1000;
constexpr int kMissedProbesGone = 3;

bool usable(const StationLink& link) { return link.is_open() && !link.line_lost(); }

// A lost line (an adapter pulled, a simulator ended) is opened again once its device is back.
void reopen(StationLink& link)
{
    if (!link.open(nullptr)) link.pause(kReopenIntervalMs);
}

bool going_on(const GoesOn& go_on) { return !go_on || go_on(); }

bool dsr_off(const StationLink& link) { return link.has_modem_signals() && !link.dsr(); }

// Sleeps out the rest of a probe interval; a change of DSR ends it early on a line with modem
// signals.
void rest_of_interval(StationLink& link, const QElapsedTimer& since)
{
    const int left = static_cast<int>(kProbeIntervalMs - since.elapsed());
    if (left <= 0) return;
    if (link.has_modem_signals())
        link.wait_dsr_change(link.dsr(), left);
    else
        link.pause(left);
}

} // namespace

std::optional<int> wait_for_camera(StationLink& link, int address, const GoesOn& go_on)
{
    while (!link.stopped() && going_on(go_on)) {
        if (!usable(link)) {
            reopen(link);
            continue;
        }
        QElapsedTimer since;
        since.start();
        if (!dsr_off(link)) {
            if (const std::optional<int> word = link.probe(address)) return word;
        }
        rest_of_interval(link, since);
    }
    return std::nullopt;
}

std::optional<int> watch_until_gone(StationLink& link, int address, std::optional<int> word, const GoesOn& go_on)
{
    int missed = 0;
    while (usable(link) && !link.stopped() && !dsr_off(link) && going_on(go_on)) {
        QElapsedTimer since;
        since.start();
        const std::optional<int> answer = link.probe(address);
        if (answer && word && *answer != *word) return answer;
        missed = answer ? 0 : missed + 1;
        if (missed >= kMissedProbesGone) return std::nullopt;
        rest_of_interval(link, since);
    }
    return std::nullopt;
}

} // namespace station
