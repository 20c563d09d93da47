#include "FitMeasurement.h"

#include "model/Model.h"
#include "tuning/SystemMeasurement.h"

namespace {

const OutputResult* Measured(const MeasurementResult& measurement, MeasuredOutput output)
{
    for (const OutputResult& result : measurement.outputs)
        if (result.output == output && !result.response.hz.empty()) return &result;
    return nullptr;
}

LevelCurve LevelsOf(const FrequencyResponse& response) { return {response.hz, response.db}; }

std::vector<MeasuredOutput> OutputsOf(int slot)
{
    if (slot == kSlotSub) return {MeasuredOutput::Sub};
    return {MeasuredOutput::Left, MeasuredOutput::Right};
}

}  // namespace

std::optional<LevelCurve> FitMeasurementOf(const MeasurementResult& measurement, int slot)
{
    if (slot == kSlotSub) {
        const OutputResult* sub = Measured(measurement, MeasuredOutput::Sub);
        return sub ? std::optional(LevelsOf(sub->response)) : std::nullopt;
    }
    const OutputResult* left = Measured(measurement, MeasuredOutput::Left);
    const OutputResult* right = Measured(measurement, MeasuredOutput::Right);
    // The outputs of one sequence share one grid.
    if (left && right && left->response.hz == right->response.hz) return PowerMeanLevels(LevelsOf(left->response), LevelsOf(right->response));
    if (left) return LevelsOf(left->response);
    if (right) return LevelsOf(right->response);
    return std::nullopt;
}

std::optional<LevelCurve> FitMeasurementOf(const PositionsResult& result, int slot)
{
    if (result.positions.size() == 1) return FitMeasurementOf(result.positions.front(), slot);
    std::vector<const FrequencyResponse*> responses;
    for (const MeasurementResult& position : result.positions)
        for (MeasuredOutput output : OutputsOf(slot))
            if (const OutputResult* measured = Measured(position, output)) responses.push_back(&measured->response);
    if (responses.empty()) return std::nullopt;
    // The positions of one measurement share one grid.
    const SpatialAverage average = AverageOverPositions(responses);
    return LevelCurve{average.hz, average.db};
}
