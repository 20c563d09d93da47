#include "ChannelJson.h"

#include <cstring>

#include "memfile/ChannelValuesJson.h"
#include "memfile/MemoryFileJson.h"
#include "model/ChannelFields.h"

using json = nlohmann::ordered_json;

json ChannelJson(const ParameterModel& model, int slot)
{
    json channel = json::object();
    for (const ChannelField& field : ChannelFields()) channel[field.name] = field.In(model, slot);
    json bands = json::array();
    for (int band = 0; band < kPeqBands; ++band) {
        json peq = json::object();
        for (const PeqField& field : PeqFields()) peq[field.name] = field.In(model, slot, band);
        bands.push_back(std::move(peq));
    }
    channel["peq"] = std::move(bands);
    return channel;
}

json PeqProposalJson(const ParameterModel& model, int slot)
{
    return {{"peq", ChannelJson(model, slot)["peq"]}, {"values", ChannelValuesJson(model, slot)["peq"]}};
}

json SettingsJson(const ParameterModel& model)
{
    return {{"lr", ChannelJson(model, kSlotLeftRight)}, {"sub", ChannelJson(model, kSlotSub)}};
}

json ValuesJson(const ParameterModel& model)
{
    return {{"lr", ChannelValuesJson(model, kSlotLeftRight)}, {"sub", ChannelValuesJson(model, kSlotSub)}};
}

json MemoryDirectoryJson(const ParameterModel& model)
{
    json memories = json::array();
    for (int n = 1; n <= kMemorySlots; ++n) {
        const char* name = model.memName[n - 1];
        memories.push_back({{"slot", n},
                            {"used", model.memUsed[n - 1] != 0},
                            {"name", NameText(std::string_view(name, strnlen(name, kMemNameBuffer)))}});
    }
    return memories;
}
