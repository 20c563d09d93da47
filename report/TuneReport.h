// The tune report: on the first page the proposal, part by part with its
// predicted effect and whether it was applied, the verification (each
// output's deviation from the target before and after, the sum in the
// crossover region, the misses of the prediction; of several positions
// each one's and the average's deviation and sum, and those that got
// worse) and the curves of each output and the system (TuneCurves.h: of
// several positions their average, the positions thin with their spread);
// on the second the setting before and after, the
// values the tuning changed in bold. Written as every report is (ReportPage.h).
#pragma once

#include "ReportPage.h"
#include "TuneCurves.h"
#include "tuning/TuneVerify.h"

struct TuneReportContent {
    ReportHeading heading;
    const ParameterModel* before = nullptr;  // the setting the proposal was made from
    const ParameterModel* after = nullptr;   // the setting now (the same as before while nothing is applied)
    const TuneProposal* proposal = nullptr;
    TuneParts applied{false, false, false, false};
    TuneMeasurements measurements;                     // before, predicted and (verified) after
    const TuneVerification* verification = nullptr;  // null: not measured again
    CrossoverRegion verifiedRegion;                  // the region of the last pass the verification judged
    int passes = 0;                                  // applied: one, or two with a second pass
    const SpatialVerification* positions = nullptr;  // several positions measured again; null: one
};

// The report as a PDF file's bytes; empty when it cannot be made.
QByteArray TuneReportPdf(const TuneReportContent& content);
// Writes it to path, replacing a previous file only once the new one is
// complete. False when it cannot be written.
bool WriteTuneReport(const QString& path, const TuneReportContent& content);
