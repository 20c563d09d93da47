// The sound devices the system offers: under PulseAudio or PipeWire every
// sink and source of the server (a sink's monitor among them) is one device.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

struct AudioDevice {
    std::string name;         // what the person reads (a server's description)
    std::string serverName;   // the sound server's own name ("quenbar_out"), where it has one: unique
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

// Every device of the machine's sound system (MachineSoundSystem), in its
// order. The default flags follow PULSE_SINK and PULSE_SOURCE where they are
// set (as every PulseAudio client would), else the server's defaults.
// Throws AudioError when no sound system answers.
std::vector<AudioDevice> ListAudioDevices();

enum class AudioDirection { Output, Input };

// The device to use in one direction: the one named (by its server name, or
// by a name no other device of that direction shares), or the default where
// `name` is empty. Never another in its place: throws AudioError naming the
// device when there is no such device, several go by that name, or it has no
// channels that way, listing what there is.
AudioDevice ChooseAudioDevice(const std::vector<AudioDevice>& devices, const std::string& name,
                              AudioDirection direction);
