#include "TuneMeasurement.h"

namespace {

// The output's response; empty when `optional` and the sequence did not measure it.
MeasuredResponse ResponseOf(const MeasurementResult& result, MeasuredOutput output, bool optional = false)
{
    for (const OutputResult& measured : result.outputs) {
        if (measured.output != output) continue;
        if (measured.verdict != Verdict::Ok)
            throw TuneMeasurementError(std::string("The ") + OutputName(output) +
                                       " measurement is not ok: " + measured.verdictText + ".");
        return {measured.response.hz, measured.response.values, measured.arrivalMs};
    }
    if (optional) return {};
    throw TuneMeasurementError(std::string("The ") + OutputName(output) + " output was not measured.");
}

}  // namespace

SystemMeasurement SystemMeasurementOf(const MeasurementResult& result)
{
    if (!result.unrestored.empty()) throw TuneMeasurementError(UnrestoredWarning(result.unrestored));
    return {ResponseOf(result, MeasuredOutput::Left), ResponseOf(result, MeasuredOutput::Right),
            ResponseOf(result, MeasuredOutput::Sub), ResponseOf(result, MeasuredOutput::System, true)};
}

std::vector<SystemMeasurement> SystemMeasurementsOf(const PositionsResult& result)
{
    std::vector<SystemMeasurement> systems;
    const std::size_t count = result.positions.size();
    for (std::size_t k = 0; k < count; ++k) try {
            systems.push_back(SystemMeasurementOf(result.positions[k]));
        } catch (const TuneMeasurementError& e) {
            if (count == 1) throw;
            throw TuneMeasurementError("Position " + std::to_string(k + 1) + " of " + std::to_string(count) + ": " +
                                       e.what());
        }
    return systems;
}
