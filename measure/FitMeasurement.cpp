#include "FitMeasurement.h"

#include <cmath>

#include "model/Model.h"

namespace {

const OutputResult* Measured(const MeasurementResult& measurement, MeasuredOutput output)
{
    for (const OutputResult& result : measurement.outputs)
        if (result.output == output && !result.response.hz.empty()) return &result;
    return nullptr;
}

Measurement LevelsOf(const FrequencyResponse& response) { return {response.hz, response.db}; }

Measurement PowerMean(const FrequencyResponse& a, const FrequencyResponse& b)
{
    Measurement mean{a.hz, {}};
    mean.db.reserve(a.db.size());
    for (std::size_t k = 0; k < a.db.size(); ++k)
        mean.db.push_back(10.0 * std::log10((std::pow(10.0, a.db[k] / 10.0) + std::pow(10.0, b.db[k] / 10.0)) / 2.0));
    return mean;
}

}  // namespace

std::optional<Measurement> FitMeasurementOf(const MeasurementResult& measurement, int slot)
{
    if (slot == kSlotSub) {
        const OutputResult* sub = Measured(measurement, MeasuredOutput::Sub);
        return sub ? std::optional(LevelsOf(sub->response)) : std::nullopt;
    }
    const OutputResult* left = Measured(measurement, MeasuredOutput::Left);
    const OutputResult* right = Measured(measurement, MeasuredOutput::Right);
    // The outputs of one sequence share one grid.
    if (left && right && left->response.hz == right->response.hz) return PowerMean(left->response, right->response);
    if (left) return LevelsOf(left->response);
    if (right) return LevelsOf(right->response);
    return std::nullopt;
}
