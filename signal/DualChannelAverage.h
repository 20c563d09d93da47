// Two signals' auto- and cross-spectra at one FFT length, averaged over time
// as they stream in: the reference (what is sent to the system) and the
// measured (what the microphone hears of it). Frames of Length() samples,
// Hann-windowed, half overlapping; each new frame weighs into an exponential
// average of the given time constant (the first ones alike, until there are
// as many as it weighs), as much as any other whatever its
// level (the spectra are of frames brought to a reference power of 1;
// ReferencePower() gives the level back). From them come the transfer function
// (Gxy / Gxx) and the coherence (|Gxy|^2 / (Gxx Gyy)) of whatever plays,
// music as well as noise. A frame in which the reference is all but silent
// (a pause in the music) says nothing of the system, only of the room's
// noise: it is passed over, and the averages hold.
#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "Fft.h"

// A frame's weight never comes to more than a quarter of the average: with
// a time constant shorter than four hops (the longest lengths), one frame
// would stand alone, and its coherence is 1 whatever the signals are.
inline constexpr double kLeastAveragedHops = 4.0;
// A frame whose reference has less power than this share of the average's
// (30 dB below it) is passed over.
inline constexpr double kSilentFrameShare = 1e-3;

class DualChannelAverage {
public:
    // length: a power of two; throws std::invalid_argument otherwise, or for
    // a rate or time constant not above 0.
    DualChannelAverage(std::size_t length, double rate, double timeConstantSeconds);

    // As many samples of each; throws std::invalid_argument otherwise.
    void Add(std::span<const float> reference, std::span<const float> measured);
    // Forgets the frames so far and the samples of the one being filled.
    void Reset();

    std::size_t Length() const { return length_; }
    double BinHz() const { return rate_ / static_cast<double>(length_); }
    // How many frames the average stands for (the sum of the weights squared
    // over the sum of their squares): 0 before the first, 1 for one frame.
    double AveragedFrames() const;

    // The averages, Length() / 2 + 1 bins each, of frames brought to a
    // reference power of 1 over all bins.
    const std::vector<double>& Gxx() const { return gxx_; }
    const std::vector<double>& Gyy() const { return gyy_; }
    const std::vector<std::complex<double>>& Gxy() const { return gxy_; }
    // The frames' reference power over all bins as they came, averaged
    // alike: Gxx() times it is the reference's power spectrum.
    double ReferencePower() const { return referencePower_; }

private:
    void TakeFrame();

    std::size_t length_;
    std::size_t hop_;
    double rate_;
    double weight_;  // of a new frame
    RealFft fft_;
    std::vector<float> window_;
    std::vector<float> reference_, measured_;  // the frame being filled
    std::size_t filled_;
    std::vector<double> gxx_, gyy_;
    std::vector<std::complex<double>> gxy_;
    double weightSum_ = 0.0, weightSquares_ = 0.0;
    double referencePower_ = 0.0;  // the average's, over all bins
};
