#include "MeasureSettings.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Figure(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// "The sweep's length is 0.5 to 10 s: 45 is not."
std::string Refusal(const char* what, MeasureField field, const std::string& given)
{
    return std::string(what) + " is " + RangeText(field) + ": " + given + " is not.";
}

bool Within(double value, double low, double high) { return value >= low && value <= high; }

void CheckChannels(const MeasureSettings& settings)
{
    if (settings.microphoneChannel < 1)
        throw SettingError(MeasureField::MicrophoneChannel,
                           Refusal("The microphone's channel", MeasureField::MicrophoneChannel,
                                   std::to_string(settings.microphoneChannel)));
    if (!settings.loopbackChannel) return;
    if (*settings.loopbackChannel < 1)
        throw SettingError(MeasureField::LoopbackChannel,
                           Refusal("The loopback's channel", MeasureField::LoopbackChannel,
                                   std::to_string(*settings.loopbackChannel)));
    if (*settings.loopbackChannel == settings.microphoneChannel)
        throw SettingError(MeasureField::LoopbackChannel,
                           "The microphone and the loopback need channels of their own: both are " +
                               std::to_string(settings.microphoneChannel) + ".");
}

void CheckSweep(const SweepSettings& sweep)
{
    if (!Within(sweep.levelDbfs, kQuietestSweepDbfs, sweep.allowLoud ? 0.0 : kSweepLoudDbfs))
        throw SettingError(MeasureField::Level,
                           Refusal("The sweep's level", MeasureField::Level, Figure(sweep.levelDbfs)));
    if (!Within(sweep.seconds, kShortestSweepSeconds, kLongestSweepSeconds))
        throw SettingError(MeasureField::Length,
                           Refusal("The sweep's length", MeasureField::Length, Figure(sweep.seconds)));
    if (std::find(kMeasureRates.begin(), kMeasureRates.end(), sweep.rate) == kMeasureRates.end())
        throw SettingError(MeasureField::Rate, Refusal("The sample rate", MeasureField::Rate, Figure(sweep.rate)));
}

}  // namespace

SettingError::SettingError(MeasureField field, const std::string& message)
    : std::invalid_argument(message), field_(field)
{
}

std::string RangeText(MeasureField field)
{
    switch (field) {
        case MeasureField::Outputs:
            return "left, right, sub and system, any of them, each once";
        case MeasureField::MicrophoneChannel:
        case MeasureField::LoopbackChannel:
            return "an input channel, 1 or above";
        case MeasureField::Level:
            return Figure(kQuietestSweepDbfs) + " to " + Figure(kSweepLoudDbfs) + " dBFS (up to 0 when allowed loud)";
        case MeasureField::Length:
            return Figure(kShortestSweepSeconds) + " to " + Figure(kLongestSweepSeconds) + " s";
        case MeasureField::Positions:
            return "1 to " + std::to_string(kMostPositions);
        case MeasureField::Rate:
            break;
    }
    std::string rates;
    for (std::size_t i = 0; i < kMeasureRates.size(); ++i)
        rates += (i == 0 ? "" : i + 1 == kMeasureRates.size() ? " or " : ", ") + std::to_string(kMeasureRates[i]);
    return rates + " Hz";
}

std::vector<MeasuredOutput> OutputsOfList(const std::string& list)
{
    std::vector<MeasuredOutput> outputs = ParseOutputList(list);
    if (outputs.empty())
        throw SettingError(MeasureField::Outputs,
                           Refusal("The outputs to measure", MeasureField::Outputs, "\"" + list + "\""));
    return outputs;
}

std::string OutputListText(const std::vector<MeasuredOutput>& outputs)
{
    std::string list;
    for (MeasuredOutput output : outputs) {
        if (!list.empty()) list += ',';
        list += OutputName(output);
    }
    return list;
}

void CheckMeasureSettings(const MeasureSettings& settings)
{
    const std::vector<MeasuredOutput>& outputs = settings.outputs;
    for (auto at = outputs.begin(); at != outputs.end(); ++at)
        if (std::find(outputs.begin(), at, *at) != at)
            throw SettingError(MeasureField::Outputs,
                               Refusal("The outputs to measure", MeasureField::Outputs,
                                       std::string(OutputName(*at)) + " twice"));
    if (outputs.empty())
        throw SettingError(MeasureField::Outputs, Refusal("The outputs to measure", MeasureField::Outputs, "none"));
    CheckChannels(settings);
    if (settings.positions < 1 || settings.positions > kMostPositions)
        throw SettingError(MeasureField::Positions, Refusal("The number of positions", MeasureField::Positions,
                                                            std::to_string(settings.positions)));
    CheckSweep(settings.sweep);
}
