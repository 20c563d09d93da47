// The emulated unit's sound from end to end: its two inputs through the
// unit's three outputs (Left from input 1, Right from input 2, the Sub from
// half their sum), each through its loudspeaker and distance into the room
// and its reverberation, to one microphone; beside it, input 1 as it came in
// (the loopback). Both come out ProcessingLatency() late, whatever the setting.
// The microphone starts at the room's first position and may be moved while
// the sound plays.
#pragma once

#include <atomic>
#include <complex>
#include <cstddef>

#include "emulator/UnitState.h"
#include "emulator/audio/OutputChannel.h"
#include "emulator/audio/Room.h"
#include "emulator/audio/RoomSound.h"

namespace rx74emu {

enum class Output { Left, Right, Sub };
inline constexpr Output kOutputs[] = {Output::Left, Output::Right, Output::Sub};
const char* OutputName(Output);

class AudioPath {
public:
    // Two delays, the unit's and the distance's, each add their latency.
    static constexpr int kLatencySamples = 2 * FractionalDelay::kLatency;

    explicit AudioPath(const Room& room, const Image& setting = FactoryImage());

    // Takes the unit's setting; does nothing when it is the one it has.
    void Apply(const Image& setting);
    // From any thread: the microphone goes to `position` (1 .. Positions(),
    // else nothing happens) before the next block Process plays; the
    // sound of the loudspeakers' old distances stops there.
    bool MoveMicrophone(int position);
    int Positions() const { return room_.PositionCount(); }
    int Position() const { return wantedPosition_; }
    // `in`: frames of input 1 and input 2, interleaved; `out`: frames of the
    // microphone and the loopback, interleaved.
    void Process(const float* in, float* out, std::size_t frames);

    // What the microphone hears of an output for a signal on the inputs that
    // feed it (both, for the Sub), below the limiter's threshold and with
    // the output's mute aside; the latency and the arrival taken out of the phase.
    // The direct sound only: the reverberation is a room's random part, the
    // same for every setting, and a measurement's window keeps its late part
    // out (what of it falls within the window stays within its 1 dB at 1/6 octave).
    std::complex<double> Response(Output, double hz) const;
    // The direct sound's delay: the unit's delay and the distance's.
    double ArrivalMs(Output) const;
    bool Muted(Output output) const { return Channel(output).Setting().mute; }

private:
    void Take(const Image& setting);
    void Place(int position);
    const OutputChannel& Channel(Output) const;
    const SpeakerPath& Speaker(Output) const;

    Room room_;
    std::atomic<int> wantedPosition_{1};
    int position_ = 1;  // where the paths below are
    Image setting_;
    OutputChannel left_, right_, sub_;
    SpeakerPath leftSpeaker_, rightSpeaker_, subSpeaker_;
    FilterCascade resonances_;
    Reverb reverb_;
    NoiseSource noise_;
    FractionalDelay loopback_;
};

}  // namespace rx74emu
