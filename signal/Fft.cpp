#include "Fft.h"

#include <kiss_fft.h>
#include <kiss_fftr.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>

// std::complex<float> is laid out as two floats, real then imaginary, as
// kiss_fft_cpx is: the bins pass to KissFFT without a copy.
static_assert(sizeof(std::complex<float>) == sizeof(kiss_fft_cpx));

namespace {

kiss_fft_cpx* AsKiss(std::complex<float>* bins) { return reinterpret_cast<kiss_fft_cpx*>(bins); }
const kiss_fft_cpx* AsKiss(const std::complex<float>* bins) { return reinterpret_cast<const kiss_fft_cpx*>(bins); }

}  // namespace

struct RealFftPlans {
    explicit RealFftPlans(std::size_t n)
        : size(n),
          forward(kiss_fftr_alloc(static_cast<int>(n), 0, nullptr, nullptr)),
          inverse(kiss_fftr_alloc(static_cast<int>(n), 1, nullptr, nullptr))
    {
    }
    RealFftPlans(const RealFftPlans&) = delete;
    RealFftPlans& operator=(const RealFftPlans&) = delete;
    ~RealFftPlans()
    {
        kiss_fftr_free(forward);
        kiss_fftr_free(inverse);
    }
    std::size_t size;
    kiss_fftr_cfg forward;
    kiss_fftr_cfg inverse;
};

namespace {

// Plans are dear to make: their twiddle factors take as long as a transform
// or two of their size, and a measurement's analysis makes the same few
// sizes again and again. A transform's plans, done with, are kept for the
// next one of their size (each in one transform's hands at a time: a plan
// holds its scratch buffer), up to kKeptSamples of sizes in all.
class KeptPlans {
public:
    // Never destroyed: a transform may end after the program's statics.
    static KeptPlans& Instance()
    {
        static auto* kept = new KeptPlans;
        return *kept;
    }

    std::unique_ptr<RealFftPlans> Take(std::size_t size)
    {
        const std::lock_guard lock(mutex_);
        const auto found = std::find_if(kept_.begin(), kept_.end(), [size](const auto& p) { return p->size == size; });
        if (found == kept_.end()) return nullptr;
        std::unique_ptr<RealFftPlans> plans = std::move(*found);
        kept_.erase(found);
        keptSamples_ -= size;
        return plans;
    }

    void Give(std::unique_ptr<RealFftPlans> plans)
    {
        const std::lock_guard lock(mutex_);
        const std::size_t size = plans->size;
        kept_.push_back(std::move(plans));
        keptSamples_ += size;
        while (keptSamples_ > kKeptSamples) {  // the longest unused go first
            keptSamples_ -= kept_.front()->size;
            kept_.erase(kept_.begin());
        }
    }

private:
    // Some 20 bytes a sample for both directions: 40 MB at most.
    static constexpr std::size_t kKeptSamples = std::size_t{1} << 21;
    std::mutex mutex_;
    std::vector<std::unique_ptr<RealFftPlans>> kept_;  // the least recently given first
    std::size_t keptSamples_ = 0;
};

}  // namespace

RealFft::RealFft(std::size_t size) : size_(size)
{
    if (size < 2 || size % 2 != 0) throw std::invalid_argument("a real FFT's size must be even and at least 2");
    plans_ = KeptPlans::Instance().Take(size);
    if (!plans_) plans_ = std::make_unique<Plans>(size);
    if (!plans_->forward || !plans_->inverse) throw std::bad_alloc();
}

RealFft::~RealFft()
{
    try {
        KeptPlans::Instance().Give(std::move(plans_));
    } catch (const std::bad_alloc&) {  // not kept: freed
    }
}

std::vector<std::complex<float>> RealFft::Forward(std::span<const float> samples) const
{
    if (samples.size() > size_) throw std::invalid_argument("more samples than the FFT's size");
    std::vector<float> padded(size_, 0.0f);
    std::copy(samples.begin(), samples.end(), padded.begin());
    std::vector<std::complex<float>> bins(size_ / 2 + 1);
    kiss_fftr(plans_->forward, padded.data(), AsKiss(bins.data()));
    return bins;
}

std::vector<float> RealFft::Inverse(std::span<const std::complex<float>> bins) const
{
    if (bins.size() != size_ / 2 + 1) throw std::invalid_argument("an inverse real FFT takes size / 2 + 1 bins");
    std::vector<float> samples(size_);
    kiss_fftri(plans_->inverse, AsKiss(bins.data()), samples.data());
    const float scale = 1.0f / static_cast<float>(size_);
    for (float& s : samples) s *= scale;
    return samples;
}

struct ComplexInverseFft::Plan {
    explicit Plan(int n) : cfg(kiss_fft_alloc(n, 1, nullptr, nullptr)) {}
    Plan(const Plan&) = delete;
    Plan& operator=(const Plan&) = delete;
    ~Plan() { kiss_fft_free(cfg); }
    kiss_fft_cfg cfg;
};

ComplexInverseFft::ComplexInverseFft(std::size_t size) : size_(size)
{
    if (size < 1) throw std::invalid_argument("an FFT's size must be at least 1");
    plan_ = std::make_unique<Plan>(static_cast<int>(size));
    if (!plan_->cfg) throw std::bad_alloc();
}

ComplexInverseFft::~ComplexInverseFft() = default;

std::vector<std::complex<float>> ComplexInverseFft::Inverse(std::span<const std::complex<float>> bins) const
{
    if (bins.size() != size_) throw std::invalid_argument("an inverse FFT takes size bins");
    std::vector<std::complex<float>> samples(size_);
    kiss_fft(plan_->cfg, AsKiss(bins.data()), AsKiss(samples.data()));
    const float scale = 1.0f / static_cast<float>(size_);
    for (std::complex<float>& s : samples) s *= scale;
    return samples;
}

std::size_t PowerOfTwoAtLeast(std::size_t n)
{
    std::size_t size = 2;
    while (size < n) size *= 2;
    return size;
}

std::vector<float> Convolve(std::span<const float> a, std::span<const float> b)
{
    if (a.empty() || b.empty()) return {};
    const std::size_t length = a.size() + b.size() - 1;
    const RealFft fft(PowerOfTwoAtLeast(length));
    std::vector<std::complex<float>> product = fft.Forward(a);
    const std::vector<std::complex<float>> bBins = fft.Forward(b);
    for (std::size_t k = 0; k < product.size(); ++k) product[k] *= bBins[k];
    std::vector<float> result = fft.Inverse(product);
    result.resize(length);
    return result;
}
