// The sound devices the system offers, as the audio library (RtAudio) sees
// them: under PulseAudio or PipeWire every sink and source (a sink's monitor
// among them) is one device.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

struct AudioDevice {
    std::string name;         // what the person names it by (--play, --record)
    std::string serverName;   // the sound server's own name ("quenbar_out"), where it has one
    int inputChannels = 0;
    int outputChannels = 0;
    std::vector<int> rates;   // rising
    bool defaultInput = false;
    bool defaultOutput = false;
};

// A device that cannot be had or a stream that cannot run, in words for the
// person (the device named).
class AudioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Every device, in the library's order. The default flags follow PULSE_SINK
// and PULSE_SOURCE where they are set (as every PulseAudio client would),
// else the server's defaults. Throws AudioError when no sound system answers.
std::vector<AudioDevice> ListAudioDevices();

enum class AudioDirection { Output, Input };

// The device to use in one direction: the one named (by its name or its
// server name), or the default where `name` is empty. Throws AudioError
// naming the device when there is no such device or it has no channels that
// way, and listing what there is.
AudioDevice ChooseAudioDevice(const std::vector<AudioDevice>& devices, const std::string& name,
                              AudioDirection direction);
