// The parameter ids: each names the field (or, for the delay and the PEQ
// ids, the field of the channel and band being edited) whose message tells
// the unit of an edit. The id is also the first byte of most messages.
#pragma once

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
