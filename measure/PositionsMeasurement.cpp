#include "PositionsMeasurement.h"

#include <algorithm>

namespace {

OutputAverage AverageOf(const std::vector<MeasurementResult>& positions, std::size_t index)
{
    OutputAverage average;
    average.output = positions.front().outputs.at(index).output;
    std::vector<const FrequencyResponse*> responses;
    double arrivals = 0.0;
    for (std::size_t k = 0; k < positions.size(); ++k) {
        const OutputResult& at = positions[k].outputs.at(index);
        if (at.verdict != Verdict::Ok && average.verdict == Verdict::Ok) {
            average.verdict = at.verdict;
            average.verdictText = "position " + std::to_string(k + 1) + ": " + at.verdictText;
        }
        average.peakDbfs = std::max(average.peakDbfs, at.peakDbfs);
        if (at.snrDb) average.snrDb = std::min(at.snrDb.value(), average.snrDb.value_or(at.snrDb.value()));
        if (at.response.hz.empty()) continue;
        arrivals += at.arrivalMs;
        responses.push_back(&at.response);
    }
    if (average.verdict == Verdict::Ok) average.verdictText = VerdictName(Verdict::Ok);
    if (responses.empty()) return average;
    average.arrivalMs = arrivals / static_cast<double>(responses.size());
    average.response = AverageOverPositions(responses);
    return average;
}

// One position's sequence; a sequence that left the mutes as it set them
// ends the measurement there.
MeasurementResult MeasureOne(const MeasureSettings& settings, UnitMutes* unit, const MeasureCallbacks& callbacks,
                             const std::atomic<bool>& cancel, const SoundSystem* system)
{
    MeasurementResult result = Measure(settings, unit, callbacks, cancel, system);
    if (!result.unrestored.empty())
        throw MeasureError(MeasureError::Kind::Unit, UnrestoredWarning(result.unrestored), result.unrestored);
    return result;
}

// Whether the person is asked after `measured` of `count`.
bool Waits(int measured, int count, const MeasurementResult& result)
{
    return measured < count || (count > 1 && !result.AllOk());
}

}  // namespace

bool PositionsResult::AllOk() const
{
    return std::all_of(positions.begin(), positions.end(), [](const MeasurementResult& p) { return p.AllOk(); });
}

std::vector<OutputAverage> AverageOutputs(const std::vector<MeasurementResult>& positions)
{
    std::vector<OutputAverage> averages;
    if (positions.empty()) return averages;
    for (std::size_t i = 0; i < positions.front().outputs.size(); ++i) averages.push_back(AverageOf(positions, i));
    return averages;
}

PositionsResult MeasurePositions(const MeasureSettings& settings, UnitMutes* unit, const MeasureCallbacks& callbacks,
                                 const AwaitPerson& await, const std::atomic<bool>& cancel,
                                 const SoundSystem* system)
{
    CheckMeasurable(settings);
    const int count = settings.positions;
    PositionsResult result;
    // One room: how it rings, once a position has shown it, holds for the others.
    MeasureSettings room = settings;
    std::size_t at = 0;  // the position being measured, from 0
    while (at < static_cast<std::size_t>(count)) {
        MeasurementResult measured = MeasureOne(room, unit, callbacks, cancel, system);
        if (!room.roomTailSeconds) room.roomTailSeconds = measured.roomTailSeconds;
        if (at < result.positions.size())
            result.positions[at] = std::move(measured);
        else
            result.positions.push_back(std::move(measured));
        const int number = static_cast<int>(at) + 1;
        if (!Waits(number, count, result.positions[at])) {
            ++at;
            continue;
        }
        result.averages = AverageOutputs(result.positions);
        const PositionChoice choice = await({number, count, result.positions[at], result.averages});
        if (choice == PositionChoice::Cancel || cancel)
            throw MeasureError(MeasureError::Kind::Cancelled, "The measurement was cancelled.");
        if (choice == PositionChoice::Next) ++at;
    }
    result.averages = AverageOutputs(result.positions);
    return result;
}
