#include "LiveProposal.h"

#include <cstdio>
#include <stdexcept>

#include "history/SettingChanges.h"
#include "tuning/CrossoverSum.h"
#include "tuning/SoundModel.h"
#include "tuning/SystemMeasurement.h"
#include "tuning/TuningText.h"

namespace {

// The fit's options for one output's band of the system's curve.
FitOptions OutputFitOptions(const FitOptions& base, const ParameterModel& setting, int slot,
                            const std::optional<LevelCurve>& stored)
{
    FitOptions options = base;
    options.bandModel = BandModel::Sound;
    options.holdLevel = true;
    if (stored) options.target = stored;
    if (const std::optional<CrossoverRegion> region = SettingsCrossoverRegion(setting)) {
        if (slot == kSlotSub) options.highHz = std::min(options.highHz, region->CentreHz());
        else options.lowHz = std::max(options.lowHz, region->CentreHz());
    }
    return options;
}

// The curve with the output's present bands taken out.
LevelCurve WithoutBands(LevelCurve curve, const PeqBands& bands)
{
    for (std::size_t i = 0; i < curve.hz.size(); ++i) curve.db[i] -= LevelDb(PeqBandsSound(bands, curve.hz[i]));
    return curve;
}

}  // namespace

LevelCurve TrustedCurve(const LiveTrace& trace)
{
    LevelCurve curve;
    for (std::size_t i = 0; i < trace.hz.size(); ++i) {
        if (trace.coherence[i] < kTrustedCoherence) continue;
        curve.hz.push_back(trace.hz[i]);
        curve.db.push_back(trace.db[i]);
    }
    return curve;
}

LiveProposalOutcome ProposeFromLive(const LiveTrace& trace, const std::optional<LevelCurve>& stored,
                                    const ParameterModel& setting, int slot, const FitOptions& base)
{
    if (slot != kSlotLeftRight && slot != kSlotSub) throw std::invalid_argument("only Left & Right and Sub have PEQ");
    const LevelCurve live = TrustedCurve(trace);
    const std::string output = ChannelCaption(slot);
    if (live.hz.empty())
        return {std::nullopt, "No point of the live curve is coherent yet: nothing to propose for " + output +
                                  " (does the programme play?)."};
    const FitOptions options = OutputFitOptions(base, setting, slot, stored);
    const PeqBands present = ReadPeqBands(setting, slot);
    LiveProposal proposal;
    proposal.slot = slot;
    proposal.towardStored = stored.has_value();
    try {
        proposal.fit = FitPeq(WithoutBands(live, present), options);
        proposal.rmsNowDb = DeviationRms(live, options);
    } catch (const TuningFileError& error) {
        return {std::nullopt, "Too little of the live curve is coherent in the band of " + output + ": " +
                                  error.what() + "."};
    }
    proposal.from = setting;
    proposal.to = setting;
    WritePeqBands(proposal.to, slot, proposal.fit.bands);
    return {std::move(proposal), {}};
}

std::string LiveProposalLabel(int slot) { return std::string("Live PEQ ") + ChannelCaption(slot); }

std::string LiveProposalWords(const LiveProposal& proposal)
{
    std::string bands;
    for (const PeqBand& band : proposal.fit.bands) {
        if (band.flat) continue;
        bands += (bands.empty() ? "" : ", ") + PeqBandText(band);
    }
    char rms[96];
    std::snprintf(rms, sizeof rms, "; RMS deviation %.1f dB now, %.1f dB predicted", proposal.rmsNowDb,
                  proposal.fit.rmsAfterDb);
    return std::string(ChannelCaption(proposal.slot)) +
           (proposal.towardStored ? " toward the stored trace: " : " toward the target: ") +
           (bands.empty() ? "all bands flat" : bands) + rms;
}
