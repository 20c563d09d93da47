#include "MeasuredOutput.h"

#include <algorithm>
#include <array>
#include <sstream>

#include "Arrival.h"
#include "Levels.h"

namespace {

constexpr std::array kOutputs{MeasuredOutput::Left, MeasuredOutput::Right, MeasuredOutput::Sub,
                              MeasuredOutput::System};

// The whole system plays the Sub's low end and the tops' high end.
constexpr OutputBand kSystemBand{kSubBand.lowHz, kTopsBand.highHz};

}  // namespace

const char* OutputName(MeasuredOutput output)
{
    switch (output) {
        case MeasuredOutput::Left:
            return "left";
        case MeasuredOutput::Right:
            return "right";
        case MeasuredOutput::Sub:
            return "sub";
        case MeasuredOutput::System:
            return "system";
    }
    return "";
}

std::optional<MeasuredOutput> ParseOutputName(const std::string& name)
{
    for (MeasuredOutput output : kOutputs)
        if (name == OutputName(output)) return output;
    return std::nullopt;
}

std::vector<MeasuredOutput> ParseOutputList(const std::string& list)
{
    std::vector<MeasuredOutput> outputs;
    std::istringstream words(list);
    for (std::string word; std::getline(words, word, ',');) {
        const std::optional<MeasuredOutput> output = ParseOutputName(word);
        if (!output || std::find(outputs.begin(), outputs.end(), *output) != outputs.end()) return {};
        outputs.push_back(*output);
    }
    return outputs;
}

OutputRouting RoutingOf(MeasuredOutput output)
{
    switch (output) {
        case MeasuredOutput::Left:
            return {true, false, {false, true}};
        case MeasuredOutput::Right:
            return {false, true, {false, true}};
        case MeasuredOutput::Sub:
            return {true, true, {true, false}};
        case MeasuredOutput::System:
            return {true, true, {false, false}};
    }
    return {};
}

OutputAnalysisShape AnalysisShapeOf(MeasuredOutput output)
{
    switch (output) {
        case MeasuredOutput::Left:
        case MeasuredOutput::Right:
            return {kTopsBand, TopsWindow(), std::nullopt};
        case MeasuredOutput::Sub:
            // Over the full band the Sub's impulse peak scatters by
            // milliseconds: its arrival is taken within its band.
            return {kSubBand, SubWindow(), kSubArrivalLowPassHz};
        case MeasuredOutput::System:
            return {kSystemBand, SubWindow(), std::nullopt};
    }
    return {};
}

bool SoundsAtTheSweepsEnd(MeasuredOutput output) { return output != MeasuredOutput::Sub; }

double NoiseSeconds(MeasuredOutput output)
{
    constexpr double kPeriods = 8.0;
    return kPeriods / LowestOctaveCentreHz(AnalysisShapeOf(output).band.lowHz);
}
