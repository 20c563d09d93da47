// A proposal for the whole system from one measurement sequence: the Sub's
// alignment, its level, and the PEQ of both channels, each with its
// predicted effect, and the setting they lead to together (or with some
// parts left out), to be sent as one step of the history
// (history/SettingChanges.h: the messages between the two settings).
//
// The order: first each channel's PEQ, fitted on the measurement with the
// channel's present bands divided out (the measurement holds them; a fit's
// level follows its result, and delay and polarity do not change one
// channel's level, so the other parts cannot change the fit); then the
// Sub's level, matched with the new bands in place (a room's bell in the
// Sub's band would otherwise set it); then the alignment, with both in
// place (the bands turn the phase too). Everything is predicted with the
// sound of the unit's filters (tuning/SoundModel.h).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tuning/LevelMatch.h"
#include "tuning/PeqFit.h"
#include "tuning/SubAlignment.h"

struct TuneOptions {
    FitOptions fit;  // range, limits and target of both channels' fits (their band model is the sound)
    LevelOptions levels;
};

struct ChannelPeq {
    std::optional<FitResult> fit;  // empty when the channel's band holds too little of the fit's range
    std::string refused;           // then why
    // Several positions: bands fitted on their average that were left out
    // (flat in `fit`), since the positions' systems came nearer the target without them.
    std::vector<PeqBand> leftOut{};
};

struct TuneProposal {
    CrossoverRegion region;
    LevelMatch levels;
    Alignment alignment;
    ChannelPeq peqLr;  // fitted on the mean power of Left and Right
    ChannelPeq peqSub;
    // The alignment's own before and after hold the new bands and the
    // Sub's new level (before: with the delays and polarity as they are).
    ParameterModel setting;       // the setting as it was, with every part in place
    SystemMeasurement predicted;  // the measurement as the setting would make it
    SumFigures sumBefore;         // tops and Sub over the region as measured
    SumFigures sumAfter;          // and as predicted with every part
    // Several positions: the sum at each before and after, and where another
    // alignment would have done better (empty for one position); the
    // measurement at each as the setting would make it (the first's is `predicted`).
    std::vector<PositionSum> positionSums{};
    std::vector<SystemMeasurement> predictedPositions{};
};

// Which parts a setting takes.
struct TuneParts {
    bool alignment = true;
    bool levels = true;
    bool peqLr = true;
    bool peqSub = true;
};

// Throws std::invalid_argument for a measurement CheckSystemMeasurement
// refuses or one without a point in the crossover region or the bands of
// the levels.
TuneProposal ProposeTuning(const SystemMeasurement& measurement, const ParameterModel& setting,
                           const TuneOptions& options);

// The same from several positions of the microphone (the first the one a
// single position would be): each channel's PEQ fitted on the positions'
// average within the limits their spread sets (tuning/SpatialFit.h), the
// Sub's level matched on the average, its delay and polarity those whose
// worst position fares best. Then a band is left out, one at a time, where
// that brings the positions' systems (as the verification judges them)
// nearer the target on average by more than kLeftOutGainsDb and takes none
// more than kLeftOutWorseDb past where it started. The crossover region,
// where the setting does not give it, is found at the first position. One
// position is ProposeTuning. Throws as ProposeTuning, and for no position.
inline constexpr double kLeftOutGainsDb = 0.01;
inline constexpr double kLeftOutWorseDb = 0.5;

TuneProposal ProposeTuningAtPositions(std::span<const SystemMeasurement> positions, const ParameterModel& setting,
                                      const TuneOptions& options);

// A later pass on what an earlier one left (`setting` the one it applied),
// in the earlier pass's region: each channel's PEQ fitted again as
// ProposeTuningAtPositions fits it, the Sub's level left as it is (its
// match: no change), and the Sub's delay and polarity judged again with the
// new bands in place, since they turn the phase in the crossover region.
// Throws as ProposeTuningAtPositions.
TuneProposal ProposeLaterPass(std::span<const SystemMeasurement> positions, const ParameterModel& setting,
                              const TuneOptions& options, const CrossoverRegion& region);

// `setting` with the parts of the proposal that `parts` names.
ParameterModel ProposedSetting(const ParameterModel& setting, const TuneProposal& proposal, const TuneParts& parts);

// The measurement made with `setting` as `proposed` would make it: each
// output times what the change of its channel does (each output is measured
// unmuted, so a mute changes nothing here), the system the sum of the three.
SystemMeasurement PredictedMeasurement(const SystemMeasurement& measurement, const ParameterModel& setting,
                                       const ParameterModel& proposed);

// What a channel is fitted and judged on: the fit's options with the range
// cut at the crossover region's middle (the tops above it, the Sub below),
// and the target (flat, or the one given) shaped by the channel's own
// crossover as it sounds, on the measurement's grid `hz`.
FitOptions ChannelFitOptions(const FitOptions& base, const ParameterModel& setting, int slot,
                             const CrossoverRegion& region, const std::vector<double>& hz);
