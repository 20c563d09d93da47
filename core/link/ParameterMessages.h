// Parameter change messages: after an editor writes one field of the model
// it sends the message of that field's id, and the unit follows. The
// payload is always read back from the model (and, for the delay and PEQ
// ids, from curChannel and curBand), never from the control. Sending it is
// a unit command (unit/UnitCommands.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/Model.h"
#include "model/ParameterIds.h"


// The message payload for `id` from the model as it stands (3, 5 or 7
// bytes); empty for an id that is not a parameter id.
std::vector<std::uint8_t> ParameterPayload(const ParameterModel& model, int id);

// A message read back: its id (the first of the ids that send the same
// bytes, so PID_PEQ_FLAT for every PEQ message), the channel slot and band
// it is about, and the values it carries in a model that otherwise holds
// the defaults.
struct ParameterReading {
    int id = 0;
    int slot = kSlotLeftRight;
    int band = 0;
    ParameterModel values;
};

// The reading of a payload that ParameterPayload can make; none for bytes
// it cannot (unknown first byte, wrong length, a flag other than 0 or 1, a
// constant byte that differs).
std::optional<ParameterReading> ReadParameterPayload(std::span<const std::uint8_t> payload);

// What a message sets, in the editors' units: "gain Left&Right -3.0dB",
// "PEQ Sub band 2: +1.5dB 1.00KHz 0.333 oct", "reset to the factory setting".
std::string DescribeParameter(const ParameterReading& reading);
