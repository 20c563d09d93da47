// What the PulseAudio (or PipeWire-Pulse) server calls its sinks and
// sources. RtAudio names a device by its description and opens it by the
// server's name, so a client's PULSE_SINK and PULSE_SOURCE, which hold server
// names, would otherwise never reach it.
#pragma once

#include <map>
#include <string>

struct PulseNames {
    std::map<std::string, std::string> sinks;    // description -> name
    std::map<std::string, std::string> sources;  // description -> name
};

// Empty when no PulseAudio server answers.
PulseNames QueryPulseNames();
