#include "OfflineCommands.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "ChannelJson.h"
#include "MemoryFileAccess.h"
#include "memfile/MemoryFileJson.h"
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
        const ParameterModel model = RecordSetting(record);
        slots.push_back({{"slot", i + 1},
                         {"used", record.usedByte == 1},
                         {"name", NameText(record.name)},
                         {"settings", SettingsJson(model)},
                         {"values", ValuesJson(model)}});
    }
    std::cout << json{{"slots", slots}}.dump(2) << '\n';
}

// Tab-separated lines, or CSV with a header line.
void PrintResponse(const std::string& path, int slot, int channelSlot, bool csv)
{
    const MemoryFileImage file = ReadCheckedMemoryFile(path);
    const ResponseCurve curve = ComputeResponse(RecordSetting(ReadSlotRecord(file, slot - 1)), channelSlot);
    if (csv) {
        const ResponseCsvColumn column{"dB", curve};
        std::cout << ResponseCsv({&column, 1});
        return;
    }
    for (int k = 0; k < kFreqSteps; ++k)
        std::printf("%d\t%g\t%.6f\n", k, FreqTable[k], curve[static_cast<std::size_t>(k)]);
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
    CLI::App* response =
        app.add_subcommand("response", "Print the response curve of one record's channel: step, Hz and dB per line");
    response->add_option("FILE", args->path, "memory file (.cmf)")->required();
    response->add_option("SLOT", args->slot, "record 1..6")->required()->check(CLI::Range(1, kMemorySlots));
    response->add_option("CHANNEL", args->channel, "lr or sub")->required()->check(CLI::IsMember({"lr", "sub"}));
    response->add_flag("--csv", args->csv, "comma-separated, with the header line step,Hz,dB");
    response->callback([&action, args] {
        action = [args] {
            PrintResponse(args->path, args->slot, args->channel == "lr" ? kSlotLeftRight : kSlotSub, args->csv);
        };
    });
}
