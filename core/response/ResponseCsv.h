// Response curves as comma-separated values, for a spreadsheet: a header
// line, then one line per frequency step.
#pragma once

#include <span>
#include <string>

#include "response/Response.h"

struct ParameterModel;

// One column of levels and its heading.
struct ResponseCsvColumn {
    std::string heading;
    ResponseCurve levels;
};

// "step,Hz," and the columns' headings, then the 395 steps of
// ComputeResponse, each line ended by a newline; levels with six decimals.
std::string ResponseCsv(std::span<const ResponseCsvColumn> columns);

// Both output channels: "step,Hz,Left&Right dB,Sub dB".
std::string ResponseCsv(const ParameterModel& model);
