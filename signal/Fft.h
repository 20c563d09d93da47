// Fourier transforms of one size through KissFFT (float, as Debian builds
// it), and what is made of them: the linear convolution of two buffers.
#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

struct RealFftPlans;

// The transform of real samples: Size() samples to Size() / 2 + 1 bins.
class RealFft {
public:
    explicit RealFft(std::size_t size);  // even; throws std::invalid_argument
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    std::size_t Size() const { return size_; }
    // `samples` zero-padded to Size(); throws std::invalid_argument when longer.
    std::vector<std::complex<float>> Forward(std::span<const float> samples) const;
    // Size() / 2 + 1 bins back to Size() samples, scaled by 1 / Size() so that
    // Inverse(Forward(x)) is x.
    std::vector<float> Inverse(std::span<const std::complex<float>> bins) const;

private:
    using Plans = RealFftPlans;
    std::size_t size_;
    std::unique_ptr<Plans> plans_;
};

// The inverse transform of complex bins (Size() of them), scaled by 1 / Size().
class ComplexInverseFft {
public:
    explicit ComplexInverseFft(std::size_t size);
    ~ComplexInverseFft();
    ComplexInverseFft(const ComplexInverseFft&) = delete;
    ComplexInverseFft& operator=(const ComplexInverseFft&) = delete;

    std::size_t Size() const { return size_; }
    std::vector<std::complex<float>> Inverse(std::span<const std::complex<float>> bins) const;

private:
    struct Plan;
    std::size_t size_;
    std::unique_ptr<Plan> plan_;
};

// The least power of two that is at least n (and at least 2).
std::size_t PowerOfTwoAtLeast(std::size_t n);

// The linear convolution of a and b: a.size() + b.size() - 1 samples (none
// when either is empty), by FFT.
std::vector<float> Convolve(std::span<const float> a, std::span<const float> b);
