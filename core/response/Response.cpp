#include "response/Response.h"

#include <algorithm>
#include <cmath>

#include "model/Model.h"

namespace {

// The curve's own value of pi; the graph is calibrated against it.
constexpr double kPi = 3.14159265358;

// The crossover curves run over points -35..359; point i lands on step i + 35.
constexpr int kFirstPoint = -35;
constexpr int kLastPoint = 359;
constexpr int kPointOffset = 35;
// Anchor searches look at steps 0..359 only and give 360 when none qualifies.
constexpr int kAnchorSearchEnd = 360;
constexpr int kStepsPerOctave = 36;

constexpr int kFlatType = 0;
constexpr int kFirstQType = 7;  // "12dB/Q=1.0"
constexpr int kLastQType = 17;  // "12dB/Q=2.0"
constexpr int kLastType = 27;

// Slope in dB and low-pass corner angle in degrees of the sin(x)/x types;
// the high-pass side uses 180 - angle. Entry 0 and the Q types are unused.
struct Slope {
    double slopeDb;
    double lowPassAngle;
};
constexpr Slope kSlopes[kLastType + 1] = {
    {0, 0},        {6, 108.6038}, {12, 108.6038}, {12, 95.113}, {12, 80.7976}, {12, 64.8074}, {12, 45.0736},
    {0, 0},        {0, 0},        {0, 0},         {0, 0},       {0, 0},        {0, 0},        {0, 0},
    {0, 0},        {0, 0},        {0, 0},         {0, 0},       {9, 73.0921},  {12, 73.0921}, {18, 59.4463},
    {15, 59.4463}, {24, 50.5973}, {21, 50.5973},  {18, 85.702}, {48, 35.4234}, {42, 35.4234}, {36, 59.4463},
};

bool IsQType(int type) { return type >= kFirstQType && type <= kLastQType; }

// A Q type's hump height above the corner: 0 dB for Q 1.0 up to 6 dB for Q 2.0.
double QTypePeak(int type) { return (type - kFirstQType) * 0.6; }

// The step's frequency, for any int the model may hold.
double FrequencyOfStep(int step) { return FreqTable[std::clamp(step, 0, kFreqSteps - 1)]; }

int FirstStepAtLeast(double hz)
{
    const double* end = FreqTable + kAnchorSearchEnd;
    return static_cast<int>(std::find_if(FreqTable, end, [hz](double f) { return f >= hz; }) - FreqTable);
}

// A divisor that is never zero: two anchors that fall on the same step
// count as one step apart.
double Span(int from, int to) { return to == from ? 1.0 : static_cast<double>(to - from); }

double SinXOverXDrop(double slopeDb, double x) { return slopeDb * (std::sin(x) / x - 1.0); }

struct Anchors {
    int lowHalf;      // hL: about one octave below the low-pass corner
    int lowCorner;    // cL: the low-pass corner step
    int highHalf;     // hH: about one octave below the high-pass corner
    int highQuarter;  // qH: about two octaves below it
    int mid;          // halfway between hH and hL
};

Anchors FindAnchors(const ParameterModel& model, int slot, int highType)
{
    Anchors a{};
    const double fL = FrequencyOfStep(model.lpfFreq[slot]);
    a.lowHalf = FirstStepAtLeast(fL / 2);
    a.lowCorner = FirstStepAtLeast(fL);
    const double fH = FrequencyOfStep(model.hpfFreq[slot]);
    a.highHalf = FirstStepAtLeast(fH / 2);
    a.highQuarter = FirstStepAtLeast(fH / 4);
    // A Q-type high-pass at the lowest corners moves its anchor below the
    // scale so that its hump stays at the corner frequency.
    if (IsQType(highType) && a.highHalf < 3) {
        const int freq = model.hpfFreq[slot];
        if (freq == 0 || freq == 1)
            a.highHalf = -35;
        else if (freq == 2)
            a.highHalf = -20;
        else if (freq == 3)
            a.highHalf = 0;
        a.highQuarter = a.highHalf - kStepsPerOctave;
    }
    a.mid = (a.highHalf + a.lowHalf) / 2;
    return a;
}

double LowPassAt(int i, int type, const Anchors& a)
{
    if (type == kFlatType) return 0.0;
    if (IsQType(type)) {
        const double peak = QTypePeak(type);
        if (i > a.lowHalf) {
            const double u = (i - a.lowHalf) / Span(a.lowHalf, a.lowCorner);
            return peak - (12.0 - peak) * u * u;
        }
        if (i > a.mid) {
            const double u = (i - a.mid) / Span(a.mid, a.lowHalf);
            return peak * u * u;
        }
        return 0.0;
    }
    const Slope& slope = kSlopes[type];
    const int n = i - a.lowHalf;
    const double theta = slope.lowPassAngle + (180.0 - slope.lowPassAngle) * n / kStepsPerOctave;
    if (theta <= 0.0) return 0.0;
    if (theta >= 180.0) return (3.0 - slope.slopeDb) * n / kStepsPerOctave - 3.0;
    return SinXOverXDrop(slope.slopeDb, theta * kPi / 180.0);
}

double HighPassAt(int i, int type, int freqStep, const Anchors& a)
{
    if (type == kFlatType) return 0.0;
    if (IsQType(type)) {
        const double peak = QTypePeak(type);
        if (i < a.highHalf) {
            const double u = (i - a.highHalf) / Span(a.highHalf, a.highQuarter);
            return peak - (12.0 - peak) * u * u;
        }
        if (i < a.mid && a.highHalf != a.mid) {
            const double u = (i - a.mid) / Span(a.mid, a.highHalf);
            return peak * u * u;
        }
        return 0.0;
    }
    const Slope& slope = kSlopes[type];
    const double angle = 180.0 - slope.lowPassAngle;
    const int m = i - a.highHalf;
    // The lowest corners have their own offsets: their anchor cannot lie
    // an octave below them on the scale.
    int shifted = m + kStepsPerOctave;
    if (freqStep == 0 || freqStep == 1)
        shifted = i + 72;
    else if (freqStep == 2)
        shifted = i + 51;
    const double theta = shifted * angle / kStepsPerOctave;
    if (theta <= 0.0) return (slope.slopeDb - 3.0) * m / kStepsPerOctave - 3.0;
    if (theta >= 180.0) return 0.0;
    return SinXOverXDrop(slope.slopeDb, theta * kPi / 180.0 - kPi);
}

int EffectiveType(int type) { return type < 0 || type > kLastType ? kFlatType : type; }

void AddCrossover(const ParameterModel& model, ResponseCurve& r, int slot)
{
    int lowType = EffectiveType(model.lpfType[slot]);
    int highType = EffectiveType(model.hpfType[slot]);
    if (slot == kSlotLeftRight && model.xoverOn[kSlotLeftRight] == 0) lowType = highType = kFlatType;
    if (lowType == kFlatType && highType == kFlatType) return;
    const Anchors a = FindAnchors(model, slot, highType);
    const int freqStep = model.hpfFreq[slot];
    for (int i = kFirstPoint; i <= kLastPoint; ++i)
        r[static_cast<std::size_t>(i + kPointOffset)] = LowPassAt(i, lowType, a) + HighPassAt(i, highType, freqStep, a);
}

// cos(t * pi / 180) for the band positions t = 180..540 that take the
// resonance curve's own angle; the rest use pi or 2 pi.
constexpr int kBellFirst = 180;
constexpr int kBellLast = 540;
const std::array<double, kBellLast - kBellFirst + 1>& BellCosines()
{
    static const auto table = [] {
        std::array<double, kBellLast - kBellFirst + 1> c{};
        for (int t = kBellFirst; t <= kBellLast; ++t)
            c[static_cast<std::size_t>(t - kBellFirst)] = std::cos(t * kPi / 180.0);
        return c;
    }();
    return table;
}

// cos(t * pi / 180) at band position t: the table at whole positions (every
// position when the centre is a step), the cosine itself between them.
double BellCosine(double t)
{
    const double whole = std::floor(t);
    if (whole == t) return BellCosines()[static_cast<std::size_t>(static_cast<long>(whole) - kBellFirst)];
    return std::cos(t * kPi / 180.0);
}

// The band with its bandwidth as the distance d = 43 - step that sets the
// resonance's radius.
void AddBand(ResponseCurve& r, double centre, double d, double gainDb, bool loShelf, bool hiShelf)
{
    const double rho = 0.6 + d * (0.3 / 47.0);
    const double scale = gainDb * (1.0 - rho) * (1.0 - rho * rho) / (1.0 + rho);
    for (int k = 0; k < kFreqSteps; ++k) {
        // t is 360 at the band's own step; one step is one degree.
        const double t = 360.0 - centre + k;
        double cosPhi;
        if ((loShelf && t < 360) || (hiShelf && t > 360))
            cosPhi = 1.0;  // an angle of 2 pi: the shelf holds the full gain
        else if (t < kBellFirst || t > kBellLast)
            cosPhi = -1.0;  // an angle of pi: the bell's far floor
        else
            cosPhi = BellCosine(t);
        r[static_cast<std::size_t>(k)] += scale / (1.0 - 2.0 * rho * cosPhi + rho * rho);
    }
}

void AddPeqBand(const ParameterModel& model, ResponseCurve& r, int index)
{
    if (model.peqFlat[index] != 0) return;
    const int bandwidth = model.peqBandwidth[index];
    const int d = bandwidth <= 41 ? 43 - bandwidth : 2;
    AddBand(r, model.peqFreq[index], d, (model.peqGain[index] - 128) * 0.1, model.peqLoShelf[index] != 0,
            model.peqHiShelf[index] != 0);
}

}  // namespace

ResponseCurve ComputeResponse(const ParameterModel& model, int slot)
{
    ResponseCurve r{};
    if (slot < 0 || slot >= kChannelSlots) return r;
    AddCrossover(model, r, slot);
    for (int band = 0; band < kPeqBands; ++band) AddPeqBand(model, r, PeqIndex(slot, band));
    return r;
}

void AddPeqBandShape(ResponseCurve& curve, const PeqBandShape& band)
{
    const double bandwidth =
        std::clamp(band.bandwidthStep, double{kBandwidthStepNarrowest}, double{kBandwidthStepWidest});
    AddBand(curve, band.centreStep, 43.0 - bandwidth, band.gainDb, band.loShelf, band.hiShelf);
}
