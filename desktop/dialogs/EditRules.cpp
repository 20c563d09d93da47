#include "dialogs/EditRules.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "dialogs/TypedValues.h"
#include "model/Scales.h"

namespace {

constexpr int kHoldMin = 1;
constexpr int kHoldMax = 100;
constexpr int kPeqGainTenthsLimit = 120;

// Typed-delay factors: steps per millisecond, metre and foot.
constexpr double kStepsPerMs = 10.0;
constexpr double kStepsPerMetre = 29.15451895043732;
constexpr double kStepsPerFoot = 8.849557522123893;

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

int FrequencyStepFromHz(double hz, double lowestHz, int lowestStep, const StepRange& range)
{
    int step;
    if (hz < lowestHz)
        step = lowestStep;
    else if (hz > 20000.0)
        step = kFreqStepHighest;
    else
        step = FreqIndexFromHz(hz);
    return std::clamp(step, range.min, range.max);
}

}  // namespace

int GainFromLevelPosition(int position) { return std::clamp(kGainStepZero - position, kGainStepMin, kGainStepMax); }

int LevelStepsFromText(std::string_view text) { return TruncateClamped(LeadingNumber(text) * 2.0, -120, 12); }

int DelayFromUpDown(int position, int change) { return std::clamp(position + change, 0, kDelayStepMax); }

int ThresholdFromUpDown(int position, int change)
{
    return std::clamp(-(position + change), kThresholdStepOff, kThresholdStepMax);
}

int HoldFromUpDown(int position, int change) { return std::clamp(position + change, kHoldMin, kHoldMax); }

int ThresholdFromText(std::string_view text)
{
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (upper.find("OFF") != std::string::npos) return kThresholdStepOff;
    const int dBu = TruncateClamped(LeadingInteger(text), -40, 10);
    return 22 - dBu;
}

int HoldFromText(std::string_view text) { return TruncateClamped(LeadingInteger(text) / 10.0, kHoldMin, kHoldMax); }

int DelayFromText(std::string_view text, DelayUnit unit)
{
    const double factor = unit == DelayUnit::Milliseconds ? kStepsPerMs
                          : unit == DelayUnit::Metres     ? kStepsPerMetre
                                                          : kStepsPerFoot;
    return TruncateClamped(LeadingNumber(text) * factor, 0, kDelayStepMax);
}

FrequencyRange PeqBandRange(int hiShelf, int loShelf)
{
    if (hiShelf) return {kFreqStep1kHz, kFreqStepHighest, "1.0k", "20.0k"};
    if (loShelf) return PeqLowShelfRange();
    return PeqBellRange();
}

FrequencyRange PeqBellRange() { return {kFreqStepLowestPeq, kFreqStepHighest, "20.0Hz", "20.0kHz"}; }
FrequencyRange PeqLowShelfRange() { return {kFreqStepLowestPeq, kFreqStep1kHz, "20.0Hz", "1.0kHz"}; }
FrequencyRange PeqHighShelfRange() { return {kFreqStep1kHz, kFreqStepHighest, "1.0kHz", "20.0kHz"}; }

int PeqFrequencyFromText(std::string_view text, const FrequencyRange& range)
{
    return FrequencyStepFromHz(TypedFrequencyHz(text), 22.0, kFreqStepLowestPeq, StepRange{range.min, range.max});
}

int PeqGainTenthsFromText(std::string_view text)
{
    return CeilClamped(LeadingNumber(text) * 10.0, -kPeqGainTenthsLimit, kPeqGainTenthsLimit);
}

std::string SignedTenthsText(int tenths) { return Format("%+.1fdB", tenths * 0.1); }

StepRange HighPassRange(int lowPassFreq)
{
    // Never below the lowest step, even for a model value no editor produces.
    return {kFreqStepLowest, std::clamp(lowPassFreq, kFreqStepLowest, kFreqStepHighestHighPass)};
}

StepRange LowPassRange(int highPassFreq)
{
    return {std::clamp(highPassFreq, kFreqStepLowestLowPass, kFreqStepHighest), kFreqStepHighest};
}

int XoverFrequencyFromText(std::string_view text, const StepRange& range)
{
    return FrequencyStepFromHz(TypedFrequencyHz(text), 8.0, kFreqStepLowest, range);
}
