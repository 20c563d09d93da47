// A tuning proposal and its verification as JSON, for the command line's
// `tune --json` and the remote's tuning requests alike. The desktop reads
// the proposal's types (tuning/TuneProposal.h) directly.
//
// {"proposal": {"delay": {"channel": "lr" or "sub", "steps", "ms"},
//               "subPolarity": "normal" or "inverted", "polarityReversed",
//               "otherPolarityAsGood": null or {"channel", "steps", "subPolarity", "sumMeanDb"},
//               "levels": {"lr": {"gain", "gainDb"}, "sub": {"gain", "gainDb", "changeDb",
//                          "missingDb", "limitedByUnit"}},
//               "peq": {"lr": {"peq", "values", "rmsBeforeDb", "rmsAfterDb"} or {"refused"}, "sub": ...}},
//  "predicted": {"region": {"lowHz", "highHz", "fromSettings"}, "sumBefore", "sumAfter"
//                ({"meanDb", "minDb", "deepestDipDb", "deepestDipHz"}),
//                "outputs": [{"output", "arrivalMs", "hz", "db", "phaseDeg"}]},
//  and from several positions "positions": [{"sumBefore", "sumAfter", "addsBeforeDb", "addsAfterDb"
//  (the sum less the louder of tops and Sub, the region's mean), "anotherBetter",
//  "best": {"delay", "subPolarity", "addsDb"} (the alignment best there alone)}]}
//
// The PEQ and the levels are in steps and in units, as `eq fit --json`
// gives them.
#pragma once

#include <span>

#include <nlohmann/json.hpp>

#include "tuning/TuneVerify.h"

// `setting`: the setting the proposal was made from.
nlohmann::ordered_json TuneProposalJson(const ParameterModel& setting, const TuneProposal& proposal);

// The system at each position as tuning takes it (measured, or where no
// sweep played it the complex sum of the outputs measured):
// {"output": "system", "hz", "db" (the positions' mean power), and of several
// "positions": [{"db"}]}, in the shape of a measured output's curve.
nlohmann::ordered_json SystemCurveJson(std::span<const SystemMeasurement> positions);

// The alignment a setting plays: {"delay": {"channel", "steps", "ms"}, "subPolarity"}
// (a pass's, as it was applied).
nlohmann::ordered_json AlignmentJson(const ParameterModel& setting);

// {"outputs": [{"output", "rmsBeforeDb", "rmsAfterDb", "largestMissDb", "largestMissHz"}],
//  "crossoverSumDb" (the mean), "crossoverSum", "missesPrediction", "secondPassDue"}, and
// from several positions (`positions` not empty) SpatialVerificationJson's
// fields besides: the outputs are then the first position's.
nlohmann::ordered_json TuneVerificationJson(const TuneVerification& verification,
                                            const SpatialVerification& positions = {});

// {"positions": [{"rmsBeforeDb", "rmsAfterDb", "sumBefore", "sumAfter"}],
//  "average": {"rmsBeforeDb", "rmsAfterDb"}, "worse": [the positions, from 1]}.
nlohmann::ordered_json SpatialVerificationJson(const SpatialVerification& verification);
