#include "response/ResponseCsv.h"

#include <cstdio>

#include "model/Model.h"
#include "response/Response.h"

std::string ResponseCsv(const ParameterModel& model)
{
    const ResponseCurve leftRight = ComputeResponse(model, kSlotLeftRight);
    const ResponseCurve sub = ComputeResponse(model, kSlotSub);
    std::string csv = "step,Hz,Left&Right dB,Sub dB\n";
    for (int k = 0; k < kFreqSteps; ++k) {
        char line[96];
        const auto i = static_cast<std::size_t>(k);
        std::snprintf(line, sizeof line, "%d,%g,%.6f,%.6f\n", k, FreqTable[k], leftRight[i], sub[i]);
        csv += line;
    }
    return csv;
}
