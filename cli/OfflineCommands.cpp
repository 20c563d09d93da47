#include "OfflineCommands.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "ChannelJson.h"
#include "MemoryFileAccess.h"
#include "model/Model.h"
#include "response/Response.h"
#include "response/ResponseCsv.h"

namespace {

using json = nlohmann::ordered_json;

void Inspect(const std::string& path)
{
    const MemoryFileImage file = ReadCheckedMemoryFile(path);
    json slots = json::array();
    for (int i = 0; i < kMemorySlots; ++i) {
        const SlotRecord record = ReadSlotRecord(file, i);
        slots.push_back({{"slot", i + 1},
                         {"used", record.usedByte == 1},
                         {"name", NameText(record.name)},
                         {"settings", SettingsJson(RecordSetting(record))}});
    }
    std::cout << json{{"slots", slots}}.dump(2) << '\n';
}

void PrintResponse(const std::string& path, int slot, int channelSlot)
{
    const MemoryFileImage file = ReadCheckedMemoryFile(path);
    const ResponseCurve curve = ComputeResponse(RecordSetting(ReadSlotRecord(file, slot - 1)), channelSlot);
    for (int k = 0; k < kFreqSteps; ++k)
        std::printf("%d\t%g\t%.6f\n", k, FreqTable[k], curve[static_cast<std::size_t>(k)]);
}

void PrintResponseCsv(const std::string& path, int slot)
{
    const MemoryFileImage file = ReadCheckedMemoryFile(path);
    std::cout << ResponseCsv(RecordSetting(ReadSlotRecord(file, slot - 1)));
}

}  // namespace

void AddOfflineCommands(CLI::App& app, CommandAction& action)
{
    auto path = std::make_shared<std::string>();
    CLI::App* inspect = app.add_subcommand("inspect", "Print the six records of a memory file as JSON");
    inspect->add_option("FILE", *path, "memory file (.cmf)")->required();
    inspect->callback([&action, path] { action = [path] { Inspect(*path); }; });

    struct ResponseArgs {
        std::string path;
        int slot = 0;
        std::string channel;
        bool csv = false;
    };
    auto args = std::make_shared<ResponseArgs>();
    CLI::App* response = app.add_subcommand(
        "response",
        "Print the response curve of one record's channel: step, Hz and dB per line; with --csv both channels");
    response->add_option("FILE", args->path, "memory file (.cmf)")->required();
    response->add_option("SLOT", args->slot, "record 1..6")->required()->check(CLI::Range(1, kMemorySlots));
    CLI::Option* channel = response->add_option("CHANNEL", args->channel, "lr or sub (without --csv)")
                               ->check(CLI::IsMember({"lr", "sub"}));
    response->add_flag("--csv", args->csv, "both channels as CSV: step,Hz,Left&Right dB,Sub dB")->excludes(channel);
    response->callback([&action, args] {
        if (args->csv) {
            action = [args] { PrintResponseCsv(args->path, args->slot); };
            return;
        }
        if (args->channel.empty()) throw CLI::RequiredError("CHANNEL");
        action = [args] { PrintResponse(args->path, args->slot, args->channel == "lr" ? kSlotLeftRight : kSlotSub); };
    });
}
