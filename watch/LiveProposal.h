// A proposal on demand while the watch runs: one output's PEQ fitted
// (tuning/PeqFit.h, with the fit's limits) on the live curve where its
// coherence can be trusted, toward the stored trace when one is kept, else
// toward the target (flat, or the one the options give).
//
// The live curve is the whole system at the microphone, so an output's fit
// keeps to its own band: below the crossover region's middle for the Sub,
// above it for Left & Right, where the crossover settings put it (the
// whole range when both are flat: each output then plays all of it). As the
// tune does, the output's present bands are divided out first and the
// proposal's take their place, and the level is held: the bands shape, they
// do not set the output's level. Nothing here touches the unit: a face
// applies the setting the proposal leads to as one step of the history.
#pragma once

#include <optional>
#include <string>

#include "LiveTransfer.h"
#include "model/Model.h"
#include "tuning/PeqFit.h"

struct LiveProposal {
    int slot = kSlotLeftRight;  // kSlotLeftRight or kSlotSub
    bool towardStored = false;
    FitResult fit;         // the bands, and the fit's measured, predicted and target curves at the unit's steps
    double rmsNowDb = 0.0;  // the live curve as it is, present bands in, against the fit's aim
    ParameterModel from;    // the setting it was made from
    ParameterModel to;      // that setting with the output's bands proposed
};

struct LiveProposalOutcome {
    std::optional<LiveProposal> proposal;
    std::string refused;  // why there is none, in words; empty with a proposal
};

// Throws std::invalid_argument for a slot that is neither output with PEQ,
// and as FitPeq for options out of range.
LiveProposalOutcome ProposeFromLive(const LiveTrace& trace, const std::optional<LevelCurve>& stored,
                                    const ParameterModel& setting, int slot, const FitOptions& base = {});

// The trace's points whose coherence can be trusted, as a curve of levels.
LevelCurve TrustedCurve(const LiveTrace& trace);

// The history's name of an applied proposal, for every face: "Live PEQ Left & Right".
std::string LiveProposalLabel(int slot);
// What it proposes and does, in words: "Sub toward the stored trace:
// 63 Hz -4.0 dB 1.00 oct, ...; RMS deviation 2.4 dB now, 0.8 dB predicted".
std::string LiveProposalWords(const LiveProposal& proposal);
