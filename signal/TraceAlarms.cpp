#include "TraceAlarms.h"

#include <cmath>
#include <optional>

namespace {

std::optional<TraceAlarm::Kind> StateOf(const BandComparison& band)
{
    if (band.coherence >= kTrustedCoherence && std::abs(band.deviationDb) > kAlarmDeviationDb)
        return TraceAlarm::Kind::Departed;
    if (band.coherence < kCollapsedCoherence && band.storedDb >= kStrongBandDb && band.referenceDb >= kFedBandDb &&
        band.deviationDb < -kCollapseFallDb)
        return TraceAlarm::Kind::Collapsed;
    return std::nullopt;
}

}  // namespace

std::vector<TraceAlarm> TraceAlarms::Look(const std::vector<BandComparison>& bands, double nowSeconds)
{
    std::vector<TraceAlarm> standing;
    for (const BandComparison& band : bands) {
        const auto state = StateOf(band);
        auto at = pending_.find(band.hz);
        if (!state) {
            if (at != pending_.end()) pending_.erase(at);
            continue;
        }
        if (at == pending_.end() || at->second.kind != *state)
            at = pending_.insert_or_assign(band.hz, Pending{*state, nowSeconds}).first;
        if (nowSeconds - at->second.since >= kAlarmHoldSeconds)
            standing.push_back({*state, band.hz, band.deviationDb, at->second.since});
    }
    return standing;
}
