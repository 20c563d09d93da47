// The emulated unit's audio on a PulseAudio server: it records the unit's
// two inputs from one device, plays the microphone and the loopback into
// another, block by block on a thread of its own, and takes the unit's
// setting anew before every block.
//
// Its latency is constant by construction, as a sound card's on one clock:
// the output of the input's frame n is written at the playback's place when
// both streams ran + n + lead (an absolute position), and the playback never waits to
// fill up again (no pre-buffering), so its frames keep their times whatever
// arrives. A hold-up of the audio thread longer than the lead loses the
// frames that come too late (the server drops what is behind its read
// index, and plays silence there); it never shifts the frames after it.
// That holds while the recording's buffer takes the hold-up (seconds).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
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
    // How far ahead of its input an output frame is placed in the playback
    // stream: the input's way through the server and a block's work, and
    // room for the audio thread to be held up that long without losing a
    // frame. A unit's own is about a millisecond; a busy machine needs more.
    double leadMs = 150.0;
};

class PulseAudioLoop {
public:
    // `setting` is called on the audio thread before each block.
    PulseAudioLoop(AudioPath& path, std::function<Image()> setting);
    ~PulseAudioLoop();  // stops

    // Connects both streams and starts playing; returns once the sound runs
    // steadily (half a second written in time, block after block). False
    // with the reason in Error() when a device or the server cannot be had,
    // or the sound does not run steadily within 5 s.
    bool Start(const AudioDevices&);
    void Stop();
    // Why it did not start. Should the server end the streams later, the
    // loop says so on stderr.
    std::string Error() const;

    // For tests: the audio thread stops this long once, between a block
    // read and its output written, as a thread held up on a busy machine.
    void HoldUpOnce(std::chrono::milliseconds duration) { holdUpMs_ = duration.count(); }

private:
    struct Streams;
    void Run();
    // On the audio thread, after each write: whether it came before the
    // server read there.
    void NoteInTime(bool inTime, std::size_t frames);
    void HoldUpIfAsked();

    AudioPath& path_;
    std::function<Image()> setting_;
    AudioDevices devices_;
    std::unique_ptr<Streams> streams_;
    std::atomic<bool> stopping_{false};
    std::atomic<long long> holdUpMs_{0};
    std::thread thread_;
    std::string error_;
    std::size_t inTimeFrames_ = 0;  // the audio thread's
    std::mutex steadyMutex_;
    std::condition_variable steadyChanged_;
    bool steady_ = false;
    bool ended_ = false;  // the audio thread stopped
};

}  // namespace rx74emu
