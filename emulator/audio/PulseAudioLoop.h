// The emulated unit's audio on a PulseAudio server: it records the unit's
// two inputs from one device, plays the microphone and the loopback into
// another, block by block on a thread of its own, and takes the unit's
// setting anew before every block. Its latency is constant: one stream
// pair, no resampling, and the playback buffered deep enough not to run dry.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "emulator/UnitState.h"
#include "emulator/audio/AudioPath.h"

namespace rx74emu {

struct AudioDevices {
    std::string source = "quenbar_out.monitor";  // the unit's inputs
    std::string sink = "quenbar_mic";            // the microphone and the loopback
    int blockFrames = 256;
};

class PulseAudioLoop {
public:
    // `setting` is called on the audio thread before each block.
    PulseAudioLoop(AudioPath& path, std::function<Image()> setting);
    ~PulseAudioLoop();  // stops

    // Connects both streams and starts playing; false with the reason in
    // Error() when a device or the server cannot be had.
    bool Start(const AudioDevices&);
    void Stop();
    // Why it did not start. Should the server end the streams later, the
    // loop says so on stderr.
    std::string Error() const;

private:
    struct Streams;
    void Run();

    AudioPath& path_;
    std::function<Image()> setting_;
    AudioDevices devices_;
    std::unique_ptr<Streams> streams_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::string error_;
};

}  // namespace rx74emu
