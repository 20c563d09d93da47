#include "AudioDevices.h"

#include <cstdlib>
#include <rtaudio/RtAudio.h>

#include "PulseNames.h"

namespace {

std::string ServerName(const std::map<std::string, std::string>& names, const std::string& description)
{
    const auto found = names.find(description);
    return found == names.end() ? std::string() : found->second;
}

// PULSE_SINK or PULSE_SOURCE, where set and naming a device of the list.
bool DefaultFromEnvironment(std::vector<AudioDevice>& devices, const char* variable, bool AudioDevice::* flag)
{
    const char* wanted = std::getenv(variable);
    if (!wanted || !*wanted) return false;
    bool found = false;
    for (AudioDevice& device : devices) found |= device.serverName == wanted;
    if (!found) return false;
    for (AudioDevice& device : devices) device.*flag = device.serverName == wanted;
    return true;
}

std::string DeviceList(const std::vector<AudioDevice>& devices, AudioDirection direction)
{
    std::string list;
    for (const AudioDevice& device : devices) {
        const int channels = direction == AudioDirection::Output ? device.outputChannels : device.inputChannels;
        if (channels > 0) list += "\n  " + device.name;
    }
    return list.empty() ? " none." : list;
}

}  // namespace

std::vector<AudioDevice> ListAudioDevices()
{
    std::vector<AudioDevice> devices;
    try {
        RtAudio audio;
        audio.showWarnings(false);
        const PulseNames pulse = audio.getCurrentApi() == RtAudio::LINUX_PULSE ? QueryPulseNames() : PulseNames{};
        for (unsigned int id = 0; id < audio.getDeviceCount(); ++id) {
            const RtAudio::DeviceInfo info = audio.getDeviceInfo(id);
            if (!info.probed) continue;
            AudioDevice device{info.name, {}, static_cast<int>(info.inputChannels),
                               static_cast<int>(info.outputChannels), {}, info.isDefaultInput,
                               info.isDefaultOutput};
            device.rates.assign(info.sampleRates.begin(), info.sampleRates.end());
            device.serverName = ServerName(device.outputChannels > 0 ? pulse.sinks : pulse.sources, device.name);
            devices.push_back(std::move(device));
        }
    } catch (const RtAudioError& e) {
        throw AudioError("The sound system did not answer: " + e.getMessage());
    }
    DefaultFromEnvironment(devices, "PULSE_SINK", &AudioDevice::defaultOutput);
    DefaultFromEnvironment(devices, "PULSE_SOURCE", &AudioDevice::defaultInput);
    return devices;
}

AudioDevice ChooseAudioDevice(const std::vector<AudioDevice>& devices, const std::string& name,
                              AudioDirection direction)
{
    const bool output = direction == AudioDirection::Output;
    const char* way = output ? "output" : "input";
    for (const AudioDevice& device : devices) {
        const bool named = name.empty() ? (output ? device.defaultOutput : device.defaultInput)
                                        : device.name == name || device.serverName == name;
        if (!named) continue;
        if ((output ? device.outputChannels : device.inputChannels) > 0) return device;
        throw AudioError("The sound device \"" + device.name + "\" has no " + way + " channels.");
    }
    if (name.empty()) throw AudioError(std::string("There is no default sound ") + way + " device.");
    throw AudioError("There is no sound device \"" + name + "\". The " + way +
                     " devices are:" + DeviceList(devices, direction));
}
