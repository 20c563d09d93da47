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

// When a band seen departed at `now` crossed kAlarmDeviationDb, on the line
// from the look before: that look's time when it was not coherent then, or
// already off (the coherence is what changed).
double DepartedSince(const BandComparison& band, const BandComparison& before, double beforeSeconds, double now)
{
    if (before.coherence < kTrustedCoherence) return now;
    const double from = std::abs(before.deviationDb), to = std::abs(band.deviationDb);
    if (from > kAlarmDeviationDb) return now;
    return beforeSeconds + (kAlarmDeviationDb - from) / (to - from) * (now - beforeSeconds);
}

}  // namespace

std::vector<TraceAlarm> TraceAlarms::Look(const std::vector<BandComparison>& bands, double nowSeconds)
{
    std::vector<TraceAlarm> standing;
    std::map<double, BandComparison> seen;
    for (const BandComparison& band : bands) {
        seen.emplace(band.hz, band);
        const auto state = StateOf(band);
        auto at = pending_.find(band.hz);
        if (!state && at != pending_.end()) pending_.erase(at);
        if (state && (at == pending_.end() || at->second.kind != *state)) {
            const auto before = before_.find(band.hz);
            const double since = *state == TraceAlarm::Kind::Departed && before != before_.end()
                                     ? DepartedSince(band, before->second, beforeSeconds_, nowSeconds)
                                     : nowSeconds;
            at = pending_.insert_or_assign(band.hz, Pending{*state, since}).first;
        }
        if (state && nowSeconds - at->second.since >= kAlarmHoldSeconds)
            standing.push_back({*state, band.hz, band.deviationDb, at->second.since});
    }
    before_ = std::move(seen);
    beforeSeconds_ = nowSeconds;
    return standing;
}
