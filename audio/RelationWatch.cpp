#include "RelationWatch.h"

#include <algorithm>
#include <cmath>

std::optional<std::int64_t> RelationWatch::Note(double relation)
{
    window_.push_back(relation);
    off_ = relation_ && std::abs(relation - *relation_) >= kSlipFrames;
    if (window_.size() < kWindow) return std::nullopt;
    const std::optional<std::int64_t> slip = CloseWindow();
    window_.clear();
    return slip;
}

std::optional<std::int64_t> RelationWatch::CloseWindow()
{
    std::sort(window_.begin(), window_.end());
    lastClean_ = window_.back() - window_.front() <= kCleanFrames;
    if (!lastClean_) return std::nullopt;  // not exact enough to tell
    double sum = 0.0;
    for (double relation : window_) sum += relation;
    const double mean = sum / static_cast<double>(window_.size());
    if (!relation_ || std::abs(mean - *relation_) < kSlipFrames) {
        if (!relation_) relation_ = mean;
        suspect_.reset();
        return std::nullopt;
    }
    if (!suspect_ || std::abs(mean - *suspect_) > kCleanFrames) {
        suspect_ = mean;
        return std::nullopt;
    }
    const auto slip = std::llround(mean - *relation_);
    relation_ = mean;
    suspect_.reset();
    return slip;
}
