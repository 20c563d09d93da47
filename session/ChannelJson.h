// The model as JSON: the channel objects printed by inspect, dump, recall and
// reset, as raw steps and in units, and the memory directory printed by dump.
#pragma once

#include <nlohmann/json.hpp>

struct ParameterModel;

// Every field of model slot `slot` by its model name, as integer steps, and
// "peq": the three bands.
nlohmann::ordered_json ChannelJson(const ParameterModel& model, int slot);

// The three bands of slot `slot` as a proposal gives them: {"peq": in
// steps, "values": in units}.
nlohmann::ordered_json PeqProposalJson(const ParameterModel& model, int slot);

// {"lr": slot 0, "sub": slot 2}.
nlohmann::ordered_json SettingsJson(const ParameterModel& model);

// The same in units, as a memory file's JSON form has them (memfile/ChannelValuesJson.h).
nlohmann::ordered_json ValuesJson(const ParameterModel& model);

// Six {"slot","used","name"} entries from memUsed and memName.
nlohmann::ordered_json MemoryDirectoryJson(const ParameterModel& model);
