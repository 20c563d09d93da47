// The model as JSON: the channel objects printed by inspect, dump, recall and
// reset, and the memory directory printed by dump.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

struct ParameterModel;

// Every field of model slot `slot` by its model name, as integer steps, and
// "peq": the three bands.
nlohmann::ordered_json ChannelJson(const ParameterModel& model, int slot);

// {"lr": slot 0, "sub": slot 2}.
nlohmann::ordered_json SettingsJson(const ParameterModel& model);

// Six {"slot","used","name"} entries from memUsed and memName.
nlohmann::ordered_json MemoryDirectoryJson(const ParameterModel& model);

// Name bytes as JSON text: each byte is its own character (Latin-1), so any
// byte a unit or a file holds prints, and prints the same way every time.
std::string NameText(std::string_view bytes);
