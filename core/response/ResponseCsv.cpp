#include "response/ResponseCsv.h"

#include <array>
#include <cstdio>

#include "model/Model.h"

std::string ResponseCsv(std::span<const ResponseCsvColumn> columns)
{
    std::string csv = "step,Hz";
    for (const ResponseCsvColumn& column : columns) csv += ',' + column.heading;
    csv += '\n';
    for (int k = 0; k < kFreqSteps; ++k) {
        char field[32];
        std::snprintf(field, sizeof field, "%d,%g", k, FreqTable[k]);
        csv += field;
        for (const ResponseCsvColumn& column : columns) {
            std::snprintf(field, sizeof field, ",%.6f", column.levels[static_cast<std::size_t>(k)]);
            csv += field;
        }
        csv += '\n';
    }
    return csv;
}

std::string ResponseCsv(const ParameterModel& model)
{
    const std::array<ResponseCsvColumn, 2> columns{{
        {"Left&Right dB", ComputeResponse(model, kSlotLeftRight)},
        {"Sub dB", ComputeResponse(model, kSlotSub)},
    }};
    return ResponseCsv(columns);
}
