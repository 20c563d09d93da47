// One channel's settings as JSON in units. Each field of the channel table
// (model/ChannelFields.h) is keyed by its name and the unit of its value:
// "gainDb", "delayMs" (with "delayMetres" and "delayFeet" as the output page
// shows them), "hpfType", "hpfFreqHz", "limThresholdDbu", "limAttackMs" ...
// and "peq" holds the three bands ("freqHz", "gainDb", "bandwidthOct",
// "flat", "hiShelf", "loShelf"). Switches are true or false, filter types
// and the limiter's Off are words (model/Units.h), the rest numbers with the
// digits the pages show. A value outside its field's range is kept as
// {"raw": step, "outOfRange": true}.
#pragma once

#include <nlohmann/json.hpp>

#include "memfile/JsonReader.h"

struct ParameterModel;

nlohmann::ordered_json ChannelValuesJson(const ParameterModel& model, int slot);

// Reads such an object into model slot `slot`. A value in units must be a
// step of its field exactly (else the error names the nearest allowed
// values); a raw step must fit the bytes that hold its field; the metres and
// feet may be left out, and must match the milliseconds when given. Throws
// JsonDocumentError.
void ChannelValuesFromJson(const JsonNode& channel, ParameterModel& model, int slot);
