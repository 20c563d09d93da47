// The live trace against a stored one (a tuning's verification, a trace
// kept earlier, any measurement), band by band in thirds of an octave.
// The two are brought to one level first: the live transfer function is
// relative to the reference, a measurement to full scale, so what counts
// is how each band departs from the way the two compare overall (their
// median difference over the trusted points). A band's figures come from
// its trusted points where it has any. A band with a point whose coherence
// is not known yet (too little averaged) is left out: nothing can be said
// of it.
#pragma once

#include <span>
#include <vector>

#include "LiveTransfer.h"

struct BandComparison {
    double hz = 0.0;           // the band's centre: 1 kHz times a power of 2^(1/3)
    double deviationDb = 0.0;  // live minus stored, on one level
    double coherence = 0.0;    // the mean over the band's points
    double referenceDb = 0.0;  // the reference's level, relative to its loudest band
    double storedDb = 0.0;     // the stored trace's level, relative to its loudest band
};

// What the live trace and the stored one (at its points, NaN where it has
// no level) differ by over all: the median of their difference at the
// trusted points (all points while none is). The faces draw the stored
// trace moved by it, on the live trace's level, as the bands compare them.
double LevelOffset(const LiveTrace& live, std::span<const double> storedDb);

// The bands from 25 Hz to 16 kHz that the trace covers. storedDb: the
// stored trace at the live trace's points (one a point; NaN where it has no
// level, beyond its ends: such points are not compared); throws
// std::invalid_argument for another count.
std::vector<BandComparison> CompareThirds(const LiveTrace& live, std::span<const double> storedDb);
