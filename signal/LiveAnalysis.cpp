#include "LiveAnalysis.h"

#include <cmath>
#include <stdexcept>

LiveAnalysis::LiveAnalysis(double rate, double averageSeconds)
    : rate_(rate), finder_(rate, averageSeconds), transfer_(rate, averageSeconds), points_(transfer_.Trace().hz)
{
}

void LiveAnalysis::SetStored(std::vector<double> storedDb)
{
    if (!storedDb.empty() && storedDb.size() != points_.size())
        throw std::invalid_argument("the stored trace must have a level at each of the live trace's points");
    stored_ = std::move(storedDb);
    alarms_ = TraceAlarms();
}

void LiveAnalysis::Add(std::span<const float> reference, std::span<const float> measured)
{
    const auto step = static_cast<std::size_t>(std::ceil(kDelayLookSeconds * rate_));
    // In steps, so that the delay is looked for on time however large the block.
    for (std::size_t at = 0; at < reference.size(); at += step) {
        const auto x = reference.subspan(at, std::min(step, reference.size() - at));
        const auto y = measured.subspan(at, x.size());
        finder_.Add(x, y);
        if (tracker_.Current()) transfer_.Add(x, y);
        samples_ += static_cast<long long>(x.size());
        if (samples_ >= nextDelayLook_) {
            LookForDelay();
            nextDelayLook_ = samples_ + static_cast<long long>(step);
        }
    }
}

void LiveAnalysis::LookForDelay()
{
    if (!tracker_.Look(finder_.Delay(), Seconds())) return;
    transfer_.SetDelay(*tracker_.Current());
    delayChanges_.push_back(Seconds());
    alarms_ = TraceAlarms();
}

std::optional<double> LiveAnalysis::StoredOffset(const LiveTrace& trace) const
{
    if (stored_.empty()) return std::nullopt;
    return LevelOffset(trace, stored_);
}

std::vector<TraceAlarm> LiveAnalysis::Alarms(const LiveTrace& trace)
{
    if (stored_.empty() || !tracker_.Current()) return {};
    return alarms_.Look(CompareThirds(trace, stored_), Seconds());
}
