// Looks for the unit on serial devices. On each device the probe runs the
// handshake and, where a unit answered, the disconnect: nothing but the
// attention byte, the connect frame and the disconnect frame goes on the
// line, and a device is given up after its first time-out. A device that
// another program holds is reported busy and left alone.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "link/Link.h"
#include "unit/UnitCommands.h"

enum class ProbeOutcome {
    UnitAnswered,  // the handshake succeeded
    NoUnit,        // the device opened, the handshake failed (handshake says where)
    NotOpened,     // the device could not be had (lineError says why; Busy: held by another program)
};

struct ProbeResult {
    std::string device;
    ProbeOutcome outcome = ProbeOutcome::NotOpened;
    LineError lineError;
    Handshake handshake;
    int elapsedMs = 0;
};

ProbeResult ProbeDevice(const std::string& device, const LineFactory& makeLine = MakeSerialLine);

// Probes every device at once; the results come in the order of `devices`.
// `finished` is called for each device as its probe ends, on the probing
// thread, one call at a time.
std::vector<ProbeResult> ProbeDevices(const std::vector<std::string>& devices,
                                      const std::function<void(const ProbeResult&)>& finished = {},
                                      const LineFactory& makeLine = MakeSerialLine);

// One line for the person: "unit answered: \"RX7.4 EMULATOR\"", "busy: held
// by another program ...", "no unit: no answer to the attention byte ...".
std::string DescribeProbe(const ProbeResult& result);
