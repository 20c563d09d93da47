#include "AudioDevices.h"

#include <cstdlib>

#include "SoundSystem.h"

namespace {

int Channels(const AudioDevice& device, AudioDirection direction)
{
    return direction == AudioDirection::Output ? device.outputChannels : device.inputChannels;
}

std::string Listed(const AudioDevice& device)
{
    return device.serverName.empty() || device.serverName == device.name
               ? device.name
               : device.name + " (" + device.serverName + ")";
}

std::string DeviceList(const std::vector<AudioDevice>& devices, AudioDirection direction)
{
    std::string list;
    for (const AudioDevice& device : devices)
        if (Channels(device, direction) > 0) list += "\n  " + Listed(device);
    return list.empty() ? " none." : list;
}

// Where PULSE_SINK or PULSE_SOURCE names a device the server does not have,
// there is no default: say which.
std::string NoDefault(AudioDirection direction)
{
    const char* variable = direction == AudioDirection::Output ? "PULSE_SINK" : "PULSE_SOURCE";
    const char* wanted = std::getenv(variable);
    if (!wanted || !*wanted) return {};
    return std::string(": ") + variable + " names \"" + wanted + "\", which the sound server does not have";
}

}  // namespace

std::vector<AudioDevice> ListAudioDevices() { return MachineSoundSystem().Devices(); }

AudioDevice ChooseAudioDevice(const std::vector<AudioDevice>& devices, const std::string& name,
                              AudioDirection direction)
{
    const char* way = direction == AudioDirection::Output ? "output" : "input";
    std::vector<const AudioDevice*> named;
    for (const AudioDevice& device : devices)
        if (name.empty() ? (direction == AudioDirection::Output ? device.defaultOutput : device.defaultInput)
                         : device.serverName == name)
            named.push_back(&device);
    if (named.empty() && !name.empty())
        for (const AudioDevice& device : devices)
            if (device.name == name && Channels(device, direction) > 0) named.push_back(&device);
    if (named.empty() && !name.empty())
        for (const AudioDevice& device : devices)
            if (device.name == name) named.push_back(&device);
    if (named.size() > 1)
        throw AudioError("Several sound " + std::string(way) + " devices are called \"" + name +
                         "\": name one by the server's name. The " + way + " devices are:" +
                         DeviceList(devices, direction));
    if (named.empty()) {
        if (name.empty())
            throw AudioError(std::string("There is no default sound ") + way + " device" + NoDefault(direction) +
                             ". The " + way + " devices are:" + DeviceList(devices, direction));
        throw AudioError("There is no sound device \"" + name + "\". The " + way +
                         " devices are:" + DeviceList(devices, direction));
    }
    if (Channels(*named.front(), direction) > 0) return *named.front();
    throw AudioError("The sound device \"" + named.front()->name + "\" has no " + way + " channels.");
}
