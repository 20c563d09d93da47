#include "DualChannelAverage.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

DualChannelAverage::DualChannelAverage(std::size_t length, double rate, double timeConstantSeconds)
    : length_(length), hop_(length / 2), rate_(rate), fft_(length >= 2 ? length : 2)
{
    if (length < 2 || (length & (length - 1)) != 0)
        throw std::invalid_argument("cross spectra need a power-of-two length");
    if (!(rate > 0.0) || !(timeConstantSeconds > 0.0))
        throw std::invalid_argument("cross spectra need a rate and a time constant above 0");
    const double hopSeconds = static_cast<double>(hop_) / rate;
    // A frame is taken once it is whole, its sound on the average half a
    // frame (a hop) old by then: the average's own time constant is that
    // much shorter, so that a change is 63 % of the way after the time
    // constant asked for, not a hop later.
    const double timeConstant = std::max(timeConstantSeconds - hopSeconds, kLeastAveragedHops * hopSeconds);
    weight_ = 1.0 - std::exp(-hopSeconds / timeConstant);
    window_.resize(length);
    for (std::size_t n = 0; n < length; ++n)
        window_[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / length));
    Reset();
}

void DualChannelAverage::Reset()
{
    reference_.assign(length_, 0.0f);
    measured_.assign(length_, 0.0f);
    // The first frame is whole: it waits for a full length, later ones for a hop.
    filled_ = 0;
    const std::size_t bins = length_ / 2 + 1;
    gxx_.assign(bins, 0.0);
    gyy_.assign(bins, 0.0);
    gxy_.assign(bins, {});
    weightSum_ = weightSquares_ = referencePower_ = 0.0;
}

double DualChannelAverage::AveragedFrames() const
{
    return weightSquares_ > 0.0 ? weightSum_ * weightSum_ / weightSquares_ : 0.0;
}

void DualChannelAverage::Add(std::span<const float> reference, std::span<const float> measured)
{
    if (reference.size() != measured.size())
        throw std::invalid_argument("cross spectra take as many samples of each signal");
    std::size_t at = 0;
    while (at < reference.size()) {
        const std::size_t take = std::min(reference.size() - at, length_ - filled_);
        std::copy_n(reference.begin() + at, take, reference_.begin() + filled_);
        std::copy_n(measured.begin() + at, take, measured_.begin() + filled_);
        filled_ += take;
        at += take;
        if (filled_ == length_) {
            TakeFrame();
            std::copy(reference_.begin() + hop_, reference_.end(), reference_.begin());
            std::copy(measured_.begin() + hop_, measured_.end(), measured_.begin());
            filled_ = length_ - hop_;
        }
    }
}

void DualChannelAverage::TakeFrame()
{
    std::vector<float> x(length_), y(length_);
    for (std::size_t n = 0; n < length_; ++n) {
        x[n] = reference_[n] * window_[n];
        y[n] = measured_[n] * window_[n];
    }
    const auto fx = fft_.Forward(x);
    double power = 0.0;
    for (const auto& bin : fx) power += std::norm(std::complex<double>(bin));
    if (power == 0.0 || power <= kSilentFrameShare * referencePower_) return;
    // An average begun in a pause is of its noise alone (it had nothing
    // louder to be measured against): the programme, as far above it as a
    // pause lies below the programme, starts it again.
    if (kSilentFrameShare * power >= referencePower_) weightSum_ = 0.0;
    const auto fy = fft_.Forward(y);
    // Until the average stands for as many frames as its time constant
    // weighs, each new frame counts as one more of them, all alike (the first
    // taken whole, bias-free): else the first frame of a 10 s average would
    // still be a fifth of it after 15 s. From then on they blend in with the
    // exponential weight.
    const double w = std::max(weight_, 1.0 / (AveragedFrames() + 1.0));
    // Each frame brought to one power, so that its say in the average does
    // not go with its level: else, after the programme falls by 14 dB, the
    // louder frames before it outweigh the new ones for seconds.
    const double scale = 1.0 / power;
    for (std::size_t k = 0; k < gxx_.size(); ++k) {
        const std::complex<double> X(fx[k]), Y(fy[k]);
        gxx_[k] += w * (scale * std::norm(X) - gxx_[k]);
        gyy_[k] += w * (scale * std::norm(Y) - gyy_[k]);
        gxy_[k] += w * (scale * std::conj(X) * Y - gxy_[k]);
    }
    referencePower_ += w * (power - referencePower_);
    weightSum_ = (1.0 - w) * weightSum_ + w;
    weightSquares_ = (1.0 - w) * (1.0 - w) * weightSquares_ + w * w;
}
