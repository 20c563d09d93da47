// A tuning proposal, its verification and what it falls short of, in
// words: the one place they are written, for every face (the Tune window's
// table, the tune report, the command line and the page through the API).
#pragma once

#include <string>
#include <vector>

#include "TunePass.h"
#include "tuning/TuneVerify.h"

// The parts of a proposal that can be applied or left out, in the order they are shown.
enum class TunePart { Alignment, SubLevel, PeqLeftRight, PeqSub };
inline constexpr TunePart kTuneParts[] = {TunePart::Alignment, TunePart::SubLevel, TunePart::PeqLeftRight,
                                          TunePart::PeqSub};

// Whether `parts` takes the part.
bool& Takes(TuneParts& parts, TunePart part);
bool Takes(const TuneParts& parts, TunePart part);

struct TunePartText {
    std::string part;      // "Alignment", "Sub level", "PEQ Left & Right", "PEQ Sub"
    std::string proposal;  // what it sets: "Delay Sub 2.3 ms (23 steps), Sub polarity normal"
    std::string effect;    // what it is predicted to do
    std::string note;      // the other polarity as good, a level short of its match; empty for none
    bool applicable = true;  // false: nothing to apply (a channel the fit refused)
};

// `setting`: the setting the proposal was made from.
TunePartText DescribePart(const ParameterModel& setting, const TuneProposal& proposal, TunePart part);

struct OutputCheckText {
    std::string output;  // "Left", "Right", "Sub", "System"
    std::string rmsBefore, rmsAfter;  // "3.1 dB"; "-" where the band holds too little of the range
    std::string miss;                 // "+2.4 dB at 3.15 kHz"
};
std::vector<OutputCheckText> DescribeChecks(const TuneVerification& verification);
// Several positions: the checks above are the first position's (as the
// verification's are), which a face shows with them; empty for one position.
std::string ChecksPositionText(const SpatialVerification& verification);

// The sum in the crossover region and the outputs that missed the
// prediction, with what that says; the second pass when it is due.
std::vector<std::string> VerificationFindings(const TuneVerification& verification, const CrossoverRegion& region);

// Several positions: at each, how tops and Sub add over the crossover
// region before and as proposed, and whether another alignment would have
// done better there ("Position 2: ..."). Empty for one position.
std::vector<std::string> PositionSumTexts(const TuneProposal& proposal);
// Each position's and the average's RMS from the target before and after,
// the sum at each, and the positions that got worse. Empty for one position.
std::vector<std::string> SpatialVerificationTexts(const SpatialVerification& verification);

// "Crossover region 80 Hz - 160 Hz, from the crossover settings".
std::string RegionSentence(const CrossoverRegion& region);

// What the parts chosen of a proposal do not reach: a level short of its
// match, a Sub too far off in time for the unit's delay, a fit refused or
// far from its target. Empty when it reaches everything.
std::vector<std::string> ProposalShortfalls(const TuneStart& start, const TuneParts& parts);
// What the measurement after a pass says was not reached: a sum that still
// dips in the crossover region (how far each output is off the prediction
// is among VerificationFindings).
std::vector<std::string> VerificationShortfalls(const TuneVerification& verification);

// "95 Hz", "3.15 kHz".
std::string HzText(double hz);
