#include "model/Model.h"

#include <cstring>
#include <string>

namespace {

void DefaultPeqBands(ParameterModel& model)
{
    for (int i = 0; i < kPeqEntries; ++i) {
        model.peqFreq[i] = 238;      // 1000 Hz
        model.peqGain[i] = 128;      // 0 dB
        model.peqBandwidth[i] = 18;  // 0.228 octave
        model.peqFlat[i] = 0;
        model.peqHiShelf[i] = 0;
        model.peqLoShelf[i] = 0;
    }
}

void DefaultChannels(ParameterModel& model)
{
    for (int slot = 0; slot < kChannelSlots; ++slot) {
        model.delay[slot] = 0;
        model.limDecay[slot] = 10;
        model.limHold[slot] = 10;
        model.limAttack[slot] = 10;
        model.limThreshold[slot] = 11;  // limiter off
        model.xoverOn[slot] = 1;
        model.lpfType[slot] = 0;
        model.lpfFreq[slot] = 382;  // 16000 Hz
        model.hpfType[slot] = 0;
        model.hpfFreq[slot] = 65;  // 35.1 Hz
        model.polarity[slot] = 0;
        model.mute[slot] = 0;
        model.gain[slot] = 128;  // 0 dB
    }
}

// "Preset n" padded with blanks and cut at ten characters: the name keeps
// two trailing blanks, unlike a name read from the unit. Everything after
// the terminator stays zero, as the memory file expects of a name.
void DefaultMemoryDirectory(ParameterModel& model)
{
    std::memset(model.memName, 0, sizeof model.memName);
    for (int n = 1; n <= kMemorySlots; ++n) {
        std::string name = "Preset " + std::to_string(n);
        name.resize(kMemNameMaxLength, ' ');
        std::memcpy(model.memName[n - 1], name.data(), kMemNameMaxLength);
        model.memUsed[n - 1] = 1;
    }
}

}  // namespace

int LoadDefaults(ParameterModel& model)
{
    DefaultPeqBands(model);
    model.curChannel = 0;
    model.curMemory = 1;
    DefaultChannels(model);
    DefaultMemoryDirectory(model);
    return 1;
}
