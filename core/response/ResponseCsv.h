// The response of both output channels as comma-separated values, for a
// spreadsheet: a header line, then one line per frequency step.
#pragma once

#include <string>

struct ParameterModel;

// "step,Hz,Left&Right dB,Sub dB" and the 395 steps of ComputeResponse, each
// line ended by a newline; levels with six decimals.
std::string ResponseCsv(const ParameterModel& model);
