// Equaliser files: the filter lines of Equalizer APO configurations and
// AutoEQ results ("Preamp: -3.2 dB", "Filter 1: ON PK Fc 100 Hz Gain -3.0 dB
// Q 1.41", "BW Oct 1.0" for the Q, shelves "LS", "HS", "LSC", "HSC" with an
// optional slope in dB per octave such as "LSC 6 dB") and the room-EQ
// program's filter settings text (padded columns, "Filter  1:", "None" for
// an unused filter, decimal commas).
//
// Keywords are found anywhere in a line, as the programs that write these
// files read them: a line is a filter line when it holds "Fc", or starts
// with a numbered "Filter N:". Other lines (headings, notes) are passed over.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tuning/IdealFilter.h"

struct FileFilter {
    int line = 0;
    std::string text;  // the line as written, trimmed
    std::string type;  // as written: "PK", "LSC", "NO"
    // The filter as the file means it; empty when it cannot be used, and
    // then `problem` says why ("unsupported type NO", "switched off", "no Q").
    std::optional<IdealFilter> filter;
    std::string problem;
};

struct FilterFile {
    std::optional<double> preampDb;
    int preampLine = 0;
    std::vector<FileFilter> filters;  // in file order, "None" lines left out
};

// Throws TuningFileError (tuning/TuningText.h) for a file with neither a
// filter nor a preamp, and for a preamp that is not a finite number.
FilterFile ParseFilterFile(std::string_view text);
