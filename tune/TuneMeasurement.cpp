#include "TuneMeasurement.h"

namespace {

MeasuredResponse ResponseOf(const MeasurementResult& result, MeasuredOutput output)
{
    for (const OutputResult& measured : result.outputs) {
        if (measured.output != output) continue;
        if (measured.verdict != Verdict::Ok)
            throw TuneMeasurementError(std::string("The ") + OutputName(output) +
                                       " measurement is not ok: " + measured.verdictText + ".");
        return {measured.response.hz, measured.response.values, measured.arrivalMs};
    }
    throw TuneMeasurementError(std::string("The ") + OutputName(output) + " output was not measured.");
}

}  // namespace

SystemMeasurement SystemMeasurementOf(const MeasurementResult& result)
{
    if (!result.unrestored.empty()) throw TuneMeasurementError(UnrestoredWarning(result.unrestored));
    return {ResponseOf(result, MeasuredOutput::Left), ResponseOf(result, MeasuredOutput::Right),
            ResponseOf(result, MeasuredOutput::Sub), ResponseOf(result, MeasuredOutput::System)};
}
