#include "EqCommands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <tuple>

#include "ChannelJson.h"
#include "CommandError.h"
#include "MemoryFileAccess.h"
#include "OnlineCommands.h"
#include "UnitSession.h"
#include "model/ChannelFields.h"
#include "model/ParameterIds.h"
#include "tuning/FilterImport.h"
#include "tuning/PeqFit.h"
#include "tuning/TuningText.h"
#include "unit/UnitCommands.h"

namespace {

using json = nlohmann::ordered_json;

CommandError BadEqInput(const std::string& message) { return CommandError(kExitBadInput, message); }

struct EqArgs {
    std::string path;
    std::string channel;
    std::string memoryFile;
    int slot = 0;
    bool json = false;
    bool csv = false;
    std::string target;
    std::string range;
    double maxBoostDb = 6.0;
    double maxCutDb = 12.0;
};

int ChannelSlot(const std::string& channel) { return channel == "sub" ? kSlotSub : kSlotLeftRight; }

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw BadEqInput("Cannot open file " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename Parse>
auto ParseFile(const std::string& path, Parse parse)
{
    try {
        return parse(ReadText(path));
    } catch (const TuningFileError& e) {
        throw BadEqInput(path + ": " + e.what());
    }
}

}  // namespace

LevelCurve ReadCurveFile(const std::string& path) { return ParseFile(path, ParseLevelCurve); }

namespace {

// What the proposal changes: the bands, and the level when a preamp came.
struct Proposal {
    PeqBands bands;
    std::optional<int> levelStep;
};

void ApplyToModel(ParameterModel& model, int slot, const Proposal& proposal)
{
    WritePeqBands(model, slot, proposal.bands);
    if (proposal.levelStep) model.gain[slot] = *proposal.levelStep;
}

// The channel's bands as dump prints them, in steps and in units.
json ProposalJson(const ParameterModel& base, int slot, const Proposal& proposal)
{
    ParameterModel model = base;
    ApplyToModel(model, slot, proposal);
    json out = PeqProposalJson(model, slot);
    if (proposal.levelStep) out["gain"] = *proposal.levelStep;
    return out;
}

void PrintBands(const std::string& channel, const Proposal& proposal)
{
    for (int b = 0; b < kPeqBands; ++b)
        std::cout << channel << " peq " << b << ": " << PeqBandText(proposal.bands[static_cast<std::size_t>(b)])
                  << '\n';
    if (proposal.levelStep) std::cout << channel << " gain: " << StepText(Scale::Level, *proposal.levelStep) << '\n';
}

std::string Decibels(double db)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f dB", db);
    return text;
}

// Sends each band (every PEQ message carries the whole band) and the level
// as the editors would.
void SendProposal(UnitSession& session, int slot, const Proposal& proposal, bool sayDone)
{
    ParameterModel& model = session.model();
    ApplyToModel(model, slot, proposal);
    model.curChannel = slot;
    for (int band = 0; band < kPeqBands; ++band) {
        model.curBand = band;
        if (SendParameter(session.link(), PID_PEQ_GAIN) != 0)
            throw CommandError(kExitUnitFailed, "The unit did not acknowledge the change.");
    }
    const ChannelField& gain = *FindChannelField("gain");
    const int gainId = slot == kSlotSub ? *gain.subId : gain.leftRightId;
    if (proposal.levelStep && SendParameter(session.link(), gainId) != 0)
        throw CommandError(kExitUnitFailed, "The unit did not acknowledge the change.");
    if (sayDone) std::cout << "Sent to the unit.\n";
}

// Only the bytes that the proposal's fields hold change in the record's
// image; the file is replaced whole, or left as it was.
void WriteIntoMemoryFile(const EqArgs& args, const Proposal& proposal)
{
    MemoryFileImage file = ReadCheckedMemoryFile(args.memoryFile);
    const SlotRecord record = ReadSlotRecord(file, args.slot - 1);
    ParameterModel model{};
    ImageToModelExact(model, record.imageBlock.data());
    std::array<std::uint8_t, kImageSize> before{}, after{};
    ModelToImage(model, before.data());
    ApplyToModel(model, ChannelSlot(args.channel), proposal);
    ModelToImage(model, after.data());
    std::array<std::uint8_t, kImageSize> image{};
    std::copy_n(record.imageBlock.begin(), kImageSize, image.begin());
    for (std::size_t i = 0; i < kImageSize; ++i)
        if (before[i] != after[i]) image[i] = after[i];
    WriteRecordImage(file, args.slot - 1, image);
    WriteMemoryFile(args.memoryFile, file);
    if (!args.json && !args.csv) std::cout << "Written into memory " << args.slot << " of " << args.memoryFile << ".\n";
}

// Where the proposal starts from and where it goes: the unit's setting, a
// memory of a file, or the factory setting when it goes nowhere.
struct Destination {
    std::string port;
    const EqArgs& args;

    void Check() const
    {
        if (!port.empty() && !args.memoryFile.empty())
            throw BadEqInput("Give either --port or --memory-file, not both.");
        if (!args.memoryFile.empty() && args.slot == 0) throw BadEqInput("--memory-file needs --slot N (1..6).");
        if (args.memoryFile.empty() && args.slot != 0) throw BadEqInput("--slot needs --memory-file FILE.");
    }

    // Runs `propose` on the starting setting; it returns the proposal.
    void Run(const std::function<Proposal(const ParameterModel&)>& propose) const
    {
        Check();
        const int slot = ChannelSlot(args.channel);
        if (!port.empty()) {
            UnitSession session(port);
            SendProposal(session, slot, propose(session.model()), !args.json && !args.csv);
            return;
        }
        ParameterModel model{};
        LoadDefaults(model);
        if (!args.memoryFile.empty()) {
            const MemoryFileImage file = ReadCheckedMemoryFile(args.memoryFile);
            const SlotRecord record = ReadSlotRecord(file, args.slot - 1);
            if (record.usedByte != 1)
                throw BadEqInput("Memory " + std::to_string(args.slot) + " of " + args.memoryFile + " is not used.");
            model = RecordSetting(record);
        }
        const Proposal proposal = propose(model);
        if (!args.memoryFile.empty()) WriteIntoMemoryFile(args, proposal);
    }
};

json ImportLinesJson(const FilterImport& import)
{
    json lines = json::array();
    for (const ImportLine& line : import.lines) {
        json entry = {{"line", line.line},
                      {"text", line.text},
                      {"outcome", ImportOutcomeWord(line.outcome)},
                      {"detail", line.detail}};
        if (line.band >= 0) entry["band"] = line.band;
        lines.push_back(std::move(entry));
    }
    return lines;
}

Proposal ImportProposal(const EqArgs& args, const FilterFile& file, const ParameterModel& model)
{
    const int slot = ChannelSlot(args.channel);
    const FilterImport import = ImportFilters(file, model.gain[slot]);
    const Proposal proposal{import.bands, import.levelStep};
    if (args.json) {
        json out = ProposalJson(model, slot, proposal);
        out["report"] = ImportLinesJson(import);
        out["largestDeviationDb"] = import.largestDeviationDb;
        std::cout << out.dump(2) << '\n';
        return proposal;
    }
    for (const ImportLine& line : import.lines)
        std::cout << "line " << line.line << ": " << ImportOutcomeWord(line.outcome) << ": " << line.detail << '\n';
    PrintBands(args.channel, proposal);
    std::cout << "largest deviation from the file, 20 Hz .. 20 kHz: " << Decibels(import.largestDeviationDb) << '\n';
    return proposal;
}

// "40-16000", "40-16k", "1.5k-10k".
std::pair<double, double> ParseRange(const std::string& text)
{
    const auto hz = [&text](std::string part) {
        double scale = 1.0;
        if (!part.empty() && (part.back() == 'k' || part.back() == 'K')) {
            scale = 1000.0;
            part.pop_back();
        }
        const std::optional<double> value = ReadDecimal(part);
        if (!value || !std::isfinite(*value)) throw BadEqInput("--range is LO-HI in Hz, as 40-16000: " + text);
        return *value * scale;
    };
    const std::size_t dash = text.find('-');
    if (dash == std::string::npos) throw BadEqInput("--range is LO-HI in Hz, as 40-16000: " + text);
    return {hz(text.substr(0, dash)), hz(text.substr(dash + 1))};
}

void PrintCsv(const FitResult& fit)
{
    std::cout << "Hz,measured,predicted,target\n";
    for (std::size_t i = 0; i < fit.measured.size(); ++i) {
        char row[128];
        std::snprintf(row, sizeof row, "%g,%.3f,%.3f,%.3f\n", FreqTable[fit.firstStep + static_cast<int>(i)],
                      fit.measured[i], fit.predicted[i], fit.target[i]);
        std::cout << row;
    }
}

Proposal FitProposal(const EqArgs& args, const FitResult& fit, const ParameterModel& model)
{
    const Proposal proposal{fit.bands, std::nullopt};
    if (args.csv) {
        PrintCsv(fit);
    } else if (args.json) {
        json out = ProposalJson(model, ChannelSlot(args.channel), proposal);
        out["rmsBeforeDb"] = fit.rmsBeforeDb;
        out["rmsAfterDb"] = fit.rmsAfterDb;
        std::cout << out.dump(2) << '\n';
    } else {
        PrintBands(args.channel, proposal);
        std::cout << "RMS deviation from the target: " << Decibels(fit.rmsBeforeDb) << " before, "
                  << Decibels(fit.rmsAfterDb) << " after\n";
    }
    return proposal;
}

FitOptions ReadFitOptions(const EqArgs& args)
{
    FitOptions options;
    if (!args.range.empty()) std::tie(options.lowHz, options.highHz) = ParseRange(args.range);
    options.maxBoostDb = args.maxBoostDb;
    options.maxCutDb = args.maxCutDb;
    if (!args.target.empty()) options.target = ReadCurveFile(args.target);
    return options;
}

FitResult Fit(const EqArgs& args)
{
    const LevelCurve measurement = ParseFile(args.path, ParseLevelCurve);
    const FitOptions options = ReadFitOptions(args);
    try {
        return FitPeq(measurement, options);
    } catch (const TuningFileError& e) {
        throw BadEqInput(args.path + ": " + e.what());
    } catch (const std::invalid_argument& e) {
        throw BadEqInput(std::string("Cannot fit: ") + e.what());
    }
}

// The command with its file and channel, the output and the destination options.
CLI::App* AddEqCommand(CLI::App& eq, const std::string& name, const std::string& description,
                       const std::string& fileName, const std::string& fileHelp, EqArgs& args, std::string& port)
{
    CLI::App* command = eq.add_subcommand(name, description);
    command->add_option(fileName, args.path, fileHelp)->required();
    command->add_option("CHANNEL", args.channel, "lr or sub")->required()->check(CLI::IsMember({"lr", "sub"}));
    command->add_flag("--json", args.json, "print the proposal as JSON");
    command->add_option("--port", port, kPortHelp + std::string(": send the proposal to the unit"));
    command->add_option("--memory-file", args.memoryFile, "write the proposal into a memory of this file");
    command->add_option("--slot", args.slot, "the memory 1..6 of --memory-file")->check(CLI::Range(1, kMemorySlots));
    return command;
}

}  // namespace

void AddEqCommands(CLI::App& app, std::string& port, CommandAction& action)
{
    CLI::App* eq = app.add_subcommand("eq", "A channel's PEQ from an equaliser file or fitted to a measurement");
    eq->require_subcommand(1);
    auto args = std::make_shared<EqArgs>();

    CLI::App* import = AddEqCommand(*eq, "import", "Put an equaliser file's filters on the unit's PEQ steps", "FILTERS",
                                    "equaliser file (Equalizer APO, AutoEQ or room-EQ filter settings)", *args, port);
    import->callback([&action, &port, args] {
        action = [&port, args] {
            const FilterFile file = ParseFile(args->path, ParseFilterFile);
    Destination{port, *args}.Run([&](const ParameterModel& model) { return ImportProposal(*args, file, model); });
};
});

CLI::App* fit = AddEqCommand(*eq, "fit", "Fit the PEQ to a measurement of the channel taken with its bands flat",
                             "MEASUREMENT", "measurement (text export or .frd)", *args, port);
fit->add_option("--target", args->target, "target curve in the measurement's form (default: flat)");
fit->add_option("--range", args->range, "LO-HI in Hz (default 40-16000)");
fit->add_option("--max-boost", args->maxBoostDb, "largest boost in dB (default 6)")->check(CLI::Range(0.0, 12.0));
fit->add_option("--max-cut", args->maxCutDb, "largest cut in dB (default 12)")->check(CLI::Range(0.0, 12.0));
fit->add_flag("--csv", args->csv, "print Hz, measured, predicted and target per frequency step");
fit->callback([&action, &port, args] {
    action = [&port, args] {
        const FitResult result = Fit(*args);
        Destination{port, *args}.Run([&](const ParameterModel& model) { return FitProposal(*args, result, model); });
    };
});
}
