// The unit's fields as the remote's requests name them, by the words and
// value rules of `quenbar-cli set` (FieldEdit.h): PUT /api/settings/CHANNEL/
// FIELD, .../CHANNEL/hpf|lpf or .../CHANNEL/peq/BAND/FIELD with
// {"value": V}, where V is a whole number of steps or a text ("-3.5dB",
// "1.2kHz", "off", "24dB-butterworth").
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "FieldEdit.h"

// "lr" or "sub" for model slot 0 or 2.
const char* ChannelName(int slot);
// The slot of "lr" or "sub"; throws RequestError 400 for any other name.
int ChannelSlot(const std::string& channel);

// The edit a request asks for: `words` are the path's segments after the
// channel. A value in units goes to the field's nearest allowed step, as
// for `set`; a whole number of steps outside the field's range, given as a
// number or a text, is refused rather than held to it. Throws RequestError
// 400 with the reason.
FieldEdit ParseApiFieldEdit(std::string_view channel, const std::vector<std::string>& words,
                            const nlohmann::json& value);

// Per field name its range and the text of every step, {"gain": {"min":8,
// "max":140,"texts":["-60dB",...]}, ..., "peq": {...}}, so that a page shows
// the value in units while a control moves.
nlohmann::ordered_json ScalesJson();
