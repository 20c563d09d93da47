// A proposal for the whole system from one measurement sequence: the Sub's
// alignment, its level, and the PEQ of both channels, each with its
// predicted effect, and the setting they lead to together (or with some
// parts left out), to be sent as one step of the history
// (history/SettingChanges.h: the messages between the two settings).
//
// The order: the levels first (they need magnitudes only), the alignment
// with the Sub's new level in place, then each channel's PEQ fitted on the
// measurement with both in place and the channel's present bands divided
// out (the measurement holds them). Everything is predicted with the sound
// of the unit's filters (tuning/SoundModel.h).
#pragma once

#include <optional>
#include <string>

#include "tuning/LevelMatch.h"
#include "tuning/PeqFit.h"
#include "tuning/SubAlignment.h"

struct TuneOptions {
    FitOptions fit;  // range, limits and target of both channels' fits (their band model is the sound)
    LevelOptions levels;
};

struct ChannelPeq {
    std::optional<FitResult> fit;  // empty when the channel's band was too narrow to fit
    std::string refused;           // then why
};

struct TuneProposal {
    CrossoverRegion region;
    LevelMatch levels;
    Alignment alignment;
    ChannelPeq peqLr;   // fitted on the mean power of Left and Right
    ChannelPeq peqSub;
    ParameterModel setting;        // the setting as it was, with every part in place
    SystemMeasurement predicted;   // the measurement as the setting would make it
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
