// An equaliser file's filters on the unit's tables: each filter to the
// nearest frequency, gain and bandwidth steps of a PEQ band, a shelf to the
// band's shelf switch with the frequency and bandwidth steps whose drawn
// curve comes closest to the file's shelf, the preamp to the channel level.
// When more than three filters can be set, the three with the largest effect
// are kept. Every filter of the file is reported.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tuning/FilterFile.h"
#include "tuning/PeqBands.h"

enum class ImportOutcome { Kept, Changed, Dropped };

struct ImportLine {
    int line = 0;
    std::string text;
    ImportOutcome outcome = ImportOutcome::Dropped;
    std::string detail;  // "100 Hz -3.0 dB 1.000 oct -> 101Hz -3.0dB 0.991 oct", or why dropped
    int band = -1;       // 0..2 when kept or changed
};

struct FilterImport {
    PeqBands bands;
    std::optional<int> levelStep;  // the channel's level step, when the file has a preamp
    std::vector<ImportLine> lines;
    // The largest distance between the file's filters (and preamp) and the
    // unit's bands (and level change) over 20 Hz .. 20 kHz.
    double largestDeviationDb = 0.0;
};

// `levelStep` is the channel's level now: the preamp is added to it.
FilterImport ImportFilters(const FilterFile& file, int levelStep = kGainStepZero);

// "kept", "changed", "dropped".
const char* ImportOutcomeWord(ImportOutcome outcome);
