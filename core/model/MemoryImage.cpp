#include "model/MemoryImage.h"

#include <algorithm>

#include "model/Model.h"
#include "model/Scales.h"

namespace {

// Offsets within a channel block.
enum BlockOffset : std::size_t {
    kFlags = 0,
    kGain = 1,
    kDelay = 2,  // two bytes
    kHpfType = 4,
    kHpfFreq = 5,  // two bytes
    kLpfType = 7,
    kLpfFreq = 8,  // two bytes
    kLimThreshold = 10,
    kLimAttack = 11,
    kLimHold = 12,
    kLimDecay = 13,
    kConstantA = 14,
    kConstantB = 15,
    kPeqGain = 16,       // one byte per band
    kPeqBandwidth = 19,  // one byte per band
    kPeqFreq = 22,       // two bytes per band
    kShelfFlags = 28,
    kConstantC = 29,
    kConstantD = 30,
};

// Bits of the flags byte; bit b (0..2) is peqFlat of band b.
constexpr std::uint8_t kMuteBit = 0x80, kPolarityBit = 0x40, kXoverOnBit = 0x20;
// Bits of the shelf byte: high shelf of band b at bit b, low shelf at bit b + 4.
constexpr int kLoShelfShift = 4;

// Bytes the unit expects in every block; the program only writes them.
constexpr std::uint8_t kConstantBytes[][2] = {
    {kConstantA, 0x69}, {kConstantB, 0x2B}, {kConstantC, 0x23}, {kConstantD, 0xDC}};

// The byte of a bandwidth step: 43 - step, so 41 is the narrowest.
constexpr int kBandwidthComplement = 43;

constexpr int kFilterTypeMax = 25;

std::uint8_t LowByte(int value) { return static_cast<std::uint8_t>(value & 0xFF); }

void PutWord(std::uint8_t* at, int value)
{
    at[0] = LowByte(value >> 8);
    at[1] = LowByte(value);
}

int GetWord(const std::uint8_t* at) { return (at[0] << 8) | at[1]; }

std::uint8_t Bit(int flag, int mask) { return flag ? static_cast<std::uint8_t>(mask) : 0; }

int IsSet(std::uint8_t byte, int mask) { return (byte & mask) ? 1 : 0; }

std::uint8_t PackFlags(const ParameterModel& model, int slot)
{
    std::uint8_t flags = Bit(model.mute[slot], kMuteBit) | Bit(model.polarity[slot], kPolarityBit) |
                         Bit(model.xoverOn[slot], kXoverOnBit);
    for (int band = 0; band < kPeqBands; ++band) flags |= Bit(model.peqFlat[PeqIndex(slot, band)], 1 << band);
    return flags;
}

std::uint8_t PackShelves(const ParameterModel& model, int slot)
{
    std::uint8_t shelves = 0;
    for (int band = 0; band < kPeqBands; ++band) {
        const int peq = PeqIndex(slot, band);
        shelves |= Bit(model.peqHiShelf[peq], 1 << band);
        shelves |= Bit(model.peqLoShelf[peq], 1 << (band + kLoShelfShift));
    }
    return shelves;
}

void PackPeqBands(const ParameterModel& model, std::uint8_t* block, int slot)
{
    for (int band = 0; band < kPeqBands; ++band) {
        const int peq = PeqIndex(slot, band);
        block[kPeqGain + band] = LowByte(model.peqGain[peq]);
        block[kPeqBandwidth + band] = LowByte(kBandwidthComplement - LowByte(model.peqBandwidth[peq]));
        PutWord(block + kPeqFreq + 2 * band, model.peqFreq[peq]);
    }
}

void UnpackFlags(ParameterModel& model, std::uint8_t flags, std::uint8_t shelves, int slot)
{
    model.mute[slot] = IsSet(flags, kMuteBit);
    model.polarity[slot] = IsSet(flags, kPolarityBit);
    model.xoverOn[slot] = IsSet(flags, kXoverOnBit);
    for (int band = 0; band < kPeqBands; ++band) {
        const int peq = PeqIndex(slot, band);
        model.peqFlat[peq] = IsSet(flags, 1 << band);
        model.peqHiShelf[peq] = IsSet(shelves, 1 << band);
        model.peqLoShelf[peq] = IsSet(shelves, 1 << (band + kLoShelfShift));
    }
}

void UnpackPeqBands(ParameterModel& model, const std::uint8_t* block, int slot)
{
    for (int band = 0; band < kPeqBands; ++band) {
        const int peq = PeqIndex(slot, band);
        model.peqGain[peq] = block[kPeqGain + band];
        // Any byte gives a step here (-212..43); BandwidthOctaves and
        // BandwidthText guard the readers of the octave table.
        model.peqBandwidth[peq] = kBandwidthComplement - block[kPeqBandwidth + band];
        model.peqFreq[peq] = GetWord(block + kPeqFreq + 2 * band);
    }
}

void UnpackChannelExact(ParameterModel& model, const std::uint8_t* block, int slot)
{
    UnpackFlags(model, block[kFlags], block[kShelfFlags], slot);
    model.gain[slot] = block[kGain];
    model.delay[slot] = GetWord(block + kDelay);
    model.hpfType[slot] = block[kHpfType];
    model.hpfFreq[slot] = GetWord(block + kHpfFreq);
    model.lpfType[slot] = block[kLpfType];
    model.lpfFreq[slot] = GetWord(block + kLpfFreq);
    model.limThreshold[slot] = block[kLimThreshold];
    model.limAttack[slot] = block[kLimAttack];
    model.limHold[slot] = block[kLimHold];
    model.limDecay[slot] = block[kLimDecay];
    UnpackPeqBands(model, block, slot);
}

// The ranges a read from the unit holds the fields to.
void ClampChannel(ParameterModel& model, int slot)
{
    model.gain[slot] = std::clamp(model.gain[slot], kGainStepMin, kGainStepMax);
    model.hpfType[slot] = std::min(model.hpfType[slot], kFilterTypeMax);
    model.hpfFreq[slot] = std::min(model.hpfFreq[slot], kFreqStepHighest);
    model.lpfType[slot] = std::min(model.lpfType[slot], kFilterTypeMax);
    model.lpfFreq[slot] = std::min(model.lpfFreq[slot], kFreqStepHighest);
    model.limThreshold[slot] = std::min(model.limThreshold[slot], kThresholdStepMax);
    for (int band = 0; band < kPeqBands; ++band) {
        int& freq = model.peqFreq[PeqIndex(slot, band)];
        freq = std::min(freq, kFreqStepHighest);
    }
}

}  // namespace

void PackChannel(const ParameterModel& model, std::uint8_t* block, int slot)
{
    block[kFlags] = PackFlags(model, slot);
    block[kGain] = LowByte(model.gain[slot]);
    PutWord(block + kDelay, model.delay[slot]);
    block[kHpfType] = LowByte(model.hpfType[slot]);
    PutWord(block + kHpfFreq, model.hpfFreq[slot]);
    block[kLpfType] = LowByte(model.lpfType[slot]);
    PutWord(block + kLpfFreq, model.lpfFreq[slot]);
    block[kLimThreshold] = LowByte(model.limThreshold[slot]);
    block[kLimAttack] = LowByte(model.limAttack[slot]);
    block[kLimHold] = LowByte(model.limHold[slot]);
    block[kLimDecay] = LowByte(model.limDecay[slot]);
    PackPeqBands(model, block, slot);
    block[kShelfFlags] = PackShelves(model, slot);
    for (const auto& [offset, value] : kConstantBytes) block[offset] = value;
}

void UnpackChannel(ParameterModel& model, const std::uint8_t* block, int slot)
{
    UnpackChannelExact(model, block, slot);
    ClampChannel(model, slot);
}

void ModelToImage(const ParameterModel& model, std::uint8_t* image)
{
    PackChannel(model, image, kSlotLeftRight);
    PackChannel(model, image + kChannelBlockSize, kSlotSub);
}

void ImageToModel(ParameterModel& model, const std::uint8_t* image)
{
    UnpackChannel(model, image, kSlotLeftRight);
    UnpackChannel(model, image + kChannelBlockSize, kSlotSub);
}

void ImageToModelExact(ParameterModel& model, const std::uint8_t* image)
{
    UnpackChannelExact(model, image, kSlotLeftRight);
    UnpackChannelExact(model, image + kChannelBlockSize, kSlotSub);
}
