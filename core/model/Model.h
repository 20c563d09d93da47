// The parameter model: the program's one copy of every setting of the unit.
//
// The unit holds the real state; the model mirrors it. Editors write a field
// and then send the matching parameter message, which reads its payload back
// from here. Reading the unit, recalling a memory and loading a memory file
// overwrite it through the memory-image unpacker.
//
// Per-channel fields are indexed by channel slot: 0 = Left&Right, 2 = Sub.
// Slot 1 exists in every array but is never edited, sent or stored.
// PEQ fields are indexed slot * 3 + band (bands 0..2).
#pragma once

#include <cstdint>

inline constexpr int kChannelSlots = 3;
inline constexpr int kPeqBands = 3;
inline constexpr int kPeqEntries = kChannelSlots * kPeqBands;
inline constexpr int kMemorySlots = 6;
inline constexpr int kMemNameBuffer = 17;  // 16 characters and a terminator
inline constexpr int kMemNameMaxLength = 10;
inline constexpr int kLogoLineLength = 20;
inline constexpr int kLogoTextBuffer = 2 * kLogoLineLength + 1;

// The two channel slots that are edited, sent and stored.
inline constexpr int kSlotLeftRight = 0;
inline constexpr int kSlotSub = 2;

inline constexpr int PeqIndex(int slot, int band) { return slot * kPeqBands + band; }

struct ParameterModel {
    // Per channel.
    int gain[kChannelSlots];  // 8..140, 0.5 dB per step, 128 = 0 dB
    int mute[kChannelSlots];
    int polarity[kChannelSlots];
    int delay[kChannelSlots];    // 0..125, 0.1 ms per step
    int hpfType[kChannelSlots];  // index into FilterTypeNames
    int hpfFreq[kChannelSlots];  // frequency step 0..394
    int lpfType[kChannelSlots];
    int lpfFreq[kChannelSlots];
    int xoverOn[kChannelSlots];
    int limThreshold[kChannelSlots];  // 11 = off, else 22 - v dBu
    int limAttack[kChannelSlots];
    int limHold[kChannelSlots];
    int limDecay[kChannelSlots];

    // Per PEQ band.
    int peqFreq[kPeqEntries];       // frequency step
    int peqGain[kPeqEntries];       // 0.1 dB per step, 128 = 0 dB
    int peqBandwidth[kPeqEntries];  // 2..41 from the editors; the wire byte is 43 - value
    int peqFlat[kPeqEntries];
    int peqHiShelf[kPeqEntries];
    int peqLoShelf[kPeqEntries];

    // The program's picture of the unit's six memories (entry n - 1 for memory n).
    int memUsed[kMemorySlots];
    char memName[kMemorySlots][kMemNameBuffer];
    int curMemory;  // 1..6

    // Connection and editing state.
    int curChannel;  // 0 or 2
    int curBand;     // 0..2
    int connected;   // 1 while the unit is connected
    std::uint8_t firmType;
    char logoText[kLogoTextBuffer];  // two 20-character display lines
};

// Puts every field that has a factory value back to it. Leaves curBand,
// connected, firmType and logoText alone and sends nothing. Returns 1.
int LoadDefaults(ParameterModel& model);
