// Parameter change messages: after an editor writes one field of the model
// it sends the message of that field's id, and the unit follows. The
// payload is always read back from the model (and, for the delay and PEQ
// ids, from curChannel and curBand), never from the control. Sending it is
// a unit command (unit/UnitCommands.h).
#pragma once

#include <cstdint>
#include <vector>

#include "model/ParameterIds.h"

struct ParameterModel;

// The message payload for `id` from the model as it stands (3, 5 or 7
// bytes); empty for an id that is not a parameter id.
std::vector<std::uint8_t> ParameterPayload(const ParameterModel& model, int id);
