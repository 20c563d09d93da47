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

inline constexpr int PID_LR_GAIN = 211;
inline constexpr int PID_LR_MUTE = 212;
inline constexpr int PID_SUB_GAIN = 4;
inline constexpr int PID_SUB_MUTE = 232;
inline constexpr int PID_LR_PHASE = 127;
inline constexpr int PID_SUB_PHASE = 84;
inline constexpr int PID_DELAY = 11;
inline constexpr int PID_LR_LIMIT_THRESHOLD = 129;
inline constexpr int PID_SUB_LIMIT_THRESHOLD = 85;
inline constexpr int PID_LR_LIMIT_ATTACK = 162;
inline constexpr int PID_SUB_LIMIT_ATTACK = 118;
inline constexpr int PID_LR_LIMIT_HOLD = 164;
inline constexpr int PID_SUB_LIMIT_HOLD = 120;
inline constexpr int PID_LR_LIMIT_DECAY = 165;
inline constexpr int PID_SUB_LIMIT_DECAY = 121;
inline constexpr int PID_LR_XOVER_ON = 213;
inline constexpr int PID_LR_HPF = 59;
inline constexpr int PID_LR_LPF = 69;
inline constexpr int PID_SUB_HPF = 39;
inline constexpr int PID_SUB_LPF = 49;
inline constexpr int PID_PEQ_FLAT = 8;
inline constexpr int PID_PEQ_GAIN = 205;
inline constexpr int PID_PEQ_FREQ = 206;
inline constexpr int PID_PEQ_BANDWIDTH = 207;
inline constexpr int PID_RESET = 250;

// Every id above, in table order.
inline constexpr int kAllParameterIds[] = {PID_LR_GAIN,
                                           PID_LR_MUTE,
                                           PID_SUB_GAIN,
                                           PID_SUB_MUTE,
                                           PID_LR_PHASE,
                                           PID_SUB_PHASE,
                                           PID_DELAY,
                                           PID_LR_LIMIT_THRESHOLD,
                                           PID_SUB_LIMIT_THRESHOLD,
                                           PID_LR_LIMIT_ATTACK,
                                           PID_SUB_LIMIT_ATTACK,
                                           PID_LR_LIMIT_HOLD,
                                           PID_SUB_LIMIT_HOLD,
                                           PID_LR_LIMIT_DECAY,
                                           PID_SUB_LIMIT_DECAY,
                                           PID_LR_XOVER_ON,
                                           PID_LR_HPF,
                                           PID_LR_LPF,
                                           PID_SUB_HPF,
                                           PID_SUB_LPF,
                                           PID_PEQ_FLAT,
                                           PID_PEQ_GAIN,
                                           PID_PEQ_FREQ,
                                           PID_PEQ_BANDWIDTH,
                                           PID_RESET};

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
