#include "Deconvolution.h"

#include <stdexcept>

#include "Fft.h"

Deconvolved Deconvolve(std::span<const float> recording, std::span<const float> inverse)
{
    if (recording.empty() || inverse.empty())
        throw std::invalid_argument("deconvolution needs a recording and an inverse filter");
    return Deconvolved{Convolve(recording, inverse), inverse.size()};
}
