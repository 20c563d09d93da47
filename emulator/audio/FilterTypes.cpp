#include "emulator/audio/FilterTypes.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace rx74emu {
namespace {

enum class Family { Through, Butterworth, Bessel, LinkwitzRiley, SecondOrderQ };

struct FilterType {
    Family family;
    int order;  // of the whole filter, in poles
};

constexpr FilterType kTypes[kFilterTypes] = {
    {Family::Through, 0},       {Family::Butterworth, 1},  {Family::SecondOrderQ, 2}, {Family::SecondOrderQ, 2},
    {Family::SecondOrderQ, 2},  {Family::SecondOrderQ, 2}, {Family::SecondOrderQ, 2}, {Family::SecondOrderQ, 2},
    {Family::SecondOrderQ, 2},  {Family::SecondOrderQ, 2}, {Family::SecondOrderQ, 2}, {Family::SecondOrderQ, 2},
    {Family::SecondOrderQ, 2},  {Family::SecondOrderQ, 2}, {Family::SecondOrderQ, 2}, {Family::SecondOrderQ, 2},
    {Family::SecondOrderQ, 2},  {Family::SecondOrderQ, 2}, {Family::Bessel, 2},       {Family::Butterworth, 2},
    {Family::Butterworth, 3},   {Family::Bessel, 3},       {Family::Butterworth, 4},  {Family::Bessel, 4},
    {Family::LinkwitzRiley, 4}, {Family::Butterworth, 8},  {Family::Bessel, 8},       {Family::LinkwitzRiley, 8},
};
constexpr int kFirstQType = 2;
constexpr double kFirstQ = 0.5, kQStep = 0.1;

// A prototype from its poles (one of each conjugate pair, Im >= 0).
Prototype FromPoles(const std::vector<std::complex<double>>& poles)
{
    Prototype prototype;
    for (const auto& p : poles) {
        if (std::abs(p.imag()) < 1e-12)
            prototype.realPoles.push_back(-p.real());
        else
            prototype.pairs.push_back({std::abs(p), std::abs(p) / (-2.0 * p.real())});
    }
    return prototype;
}

Prototype Butterworth(int order)
{
    std::vector<std::complex<double>> poles;
    for (int k = 0; k < (order + 1) / 2; ++k)
        poles.push_back(std::polar(1.0, std::numbers::pi * (2.0 * k + order + 1) / (2.0 * order)));
    return FromPoles(poles);
}

// The roots of the reverse Bessel polynomial of `order` (Durand-Kerner).
std::vector<std::complex<double>> BesselRoots(int order)
{
    std::vector<double> c(order + 1);  // c[k]: coefficient of s^k
    for (int k = 0; k <= order; ++k)
        c[k] = std::tgamma(2.0 * order - k + 1) /
               (std::pow(2.0, order - k) * std::tgamma(k + 1.0) * std::tgamma(order - k + 1.0));
    auto poly = [&](std::complex<double> s) {
        std::complex<double> v = 0.0;
        for (int k = order; k >= 0; --k) v = v * s + c[k] / c[order];
        return v;
    };
    std::vector<std::complex<double>> roots(order);
    for (int i = 0; i < order; ++i) roots[i] = std::pow(std::complex<double>(0.4, 0.9), i) * 2.0;
    for (int iteration = 0; iteration < 500; ++iteration)
        for (int i = 0; i < order; ++i) {
            std::complex<double> denominator = 1.0;
            for (int j = 0; j < order; ++j)
                if (j != i) denominator *= roots[i] - roots[j];
            roots[i] -= poly(roots[i]) / denominator;
        }
    return roots;
}

// Bessel poles scaled so that the magnitude is 3 dB down at 1 rad/s.
Prototype Bessel(int order)
{
    const auto roots = BesselRoots(order);
    auto magnitudeAtOne = [&](double scale) {
        std::complex<double> h = 1.0;
        for (const auto& r : roots) h *= -r * scale / (std::complex<double>(0, 1) - r * scale);
        return std::abs(h);
    };
    double low = 0.1, high = 10.0;  // the scale of the poles; the magnitude rises with it
    for (int i = 0; i < 100; ++i) {
        const double mid = std::sqrt(low * high);
        (magnitudeAtOne(mid) < std::sqrt(0.5) ? low : high) = mid;
    }
    std::vector<std::complex<double>> upper;
    for (const auto& r : roots)
        if (r.imag() >= -1e-9) upper.push_back(r * low);
    return FromPoles(upper);
}

// Two Butterworth filters of half the order, one after the other.
Prototype LinkwitzRiley(int order)
{
    Prototype half = Butterworth(order / 2), both = half;
    both.pairs.insert(both.pairs.end(), half.pairs.begin(), half.pairs.end());
    both.realPoles.insert(both.realPoles.end(), half.realPoles.begin(), half.realPoles.end());
    return both;
}

}  // namespace

Prototype FilterTypePrototype(int type)
{
    if (type < 0 || type >= kFilterTypes) return {};
    const FilterType& t = kTypes[type];
    switch (t.family) {
        case Family::Through:
            return {};
        case Family::Butterworth:
            return Butterworth(t.order);
        case Family::Bessel:
            return Bessel(t.order);
        case Family::LinkwitzRiley:
            return LinkwitzRiley(t.order);
        case Family::SecondOrderQ:
            return {{{1.0, kFirstQ + kQStep * (type - kFirstQType)}}, {}};
    }
    return {};
}

}  // namespace rx74emu
