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
