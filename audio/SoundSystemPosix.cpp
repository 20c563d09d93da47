#include "SoundSystem.h"

#include "PulseSystem.h"
#include "RtAudioSystem.h"

const SoundSystem& MachineSoundSystem()
{
    static const PulseSystem pulse;
    static const RtAudioSystem rtAudio;
    // Asked anew each time: a server may come or go while the program runs.
    if (PulseSystem::ServerAnswers()) return pulse;
    return rtAudio;
}
