#include "RtAudioSystem.h"
#include "SoundSystem.h"

const SoundSystem& MachineSoundSystem()
{
    // WASAPI's shared mode leaves the device to other programs too; a device
    // it cannot open (a driver without it) may still open through DirectSound.
    static const RtAudioSystem windows({RtAudioSystem::Api::Wasapi, RtAudioSystem::Api::DirectSound});
    return windows;
}
