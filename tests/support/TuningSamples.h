// What the PEQ tuning tests of every layer share: a measurement export of a
// loudspeaker that two bands would make flat, the band messages a unit
// should hear when a channel's bands are replaced, and a channel's bands
// read back from the JSON the command line and the remote give.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/Model.h"
#include "tuning/PeqBands.h"
#include "tuning/SystemMeasurement.h"

// 80 dB less what two bands (+4 dB at step 150, −5 dB at step 300) add, at
// every second frequency step from 20, one "frequency<separator>dB" line
// each after `header` (a comment line, or none when empty).
std::string MeasurementText(const std::string& header = "* measured at 1 m", char separator = '\t');

// The band messages (PID_PEQ_GAIN, whole bands) that take `setting`, whose
// bands of `slot` are `before`, to `after`: one for each band that differs.
std::vector<std::vector<std::uint8_t>> BandMessages(ParameterModel setting, int slot, const PeqBands& before,
                                                    const PeqBands& after);

// A channel's bands from their JSON: each {"freq", "gain", "bandwidth",
// "loShelf", "hiShelf", "flat"} in steps.
PeqBands PeqBandsOfJson(const nlohmann::json& bands);

// Tops and a Sub crossed at 100 Hz (fourth-order Link-Riley), flat
// otherwise, at every 1/24 octave from 10 Hz: the Sub 2.3 ms late,
// reversed, and 3 dB below both tops together.
SystemMeasurement CrossedSystemMeasurement();
