// The filters of an equaliser file as the file means them: the standard
// digital biquads of the "Audio EQ Cookbook" (R. Bristow-Johnson) at 48 kHz,
// peaking and low/high shelf, as equaliser programs compute them.
#pragma once

enum class FilterKind { Peak, LowShelf, HighShelf };

struct IdealFilter {
    FilterKind kind;
    double hz;  // centre (peak) or midpoint (shelf) frequency
    double gainDb;
    double q;  // a shelf's Q; see ShelfQFromSlope
};

// The filter's level in dB at frequency hz.
double IdealFilterDb(const IdealFilter& filter, double hz);

// Q of a peak that is `octaves` wide: 1 / (2 sinh(ln 2 / 2 x octaves)).
double QFromOctaves(double octaves);
// Bandwidth in octaves of a peak of quality q: (2 / ln 2) asinh(1 / (2q)).
double OctavesFromQ(double q);

// The Q of a shelf whose transition rises `slopeDbPerOctave` (12 dB per
// octave is the cookbook's slope S = 1, the steepest without overshoot).
double ShelfQFromSlope(double gainDb, double slopeDbPerOctave);
