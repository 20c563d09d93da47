#include "fuzz/ModelReaders.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "link/ParameterMessages.h"
#include "model/MemoryImage.h"
#include "model/Model.h"
#include "model/Scales.h"
#include "response/GraphCurve.h"
#include "response/Response.h"

namespace {

// The model each input is unpacked into.
ParameterModel model{};

constexpr int kEditedSlots[] = {kSlotLeftRight, kSlotSub};
constexpr int kUnusedSlot = 1;

using Block = std::array<std::uint8_t, kChannelBlockSize>;
using Image = std::array<std::uint8_t, kImageSize>;

Block PackedChannel(int slot)
{
    Block block;
    PackChannel(model, block.data(), slot);
    return block;
}

Image PackedModel()
{
    Image image;
    ModelToImage(model, image.data());
    return image;
}

// The part of the model an unpack must leave alone: memory directory,
// cursors, connection, firmware type and logo.
bool SameDirectoryAndState(const ParameterModel& a, const ParameterModel& b)
{
    constexpr std::size_t from = offsetof(ParameterModel, memUsed);
    constexpr std::size_t to = offsetof(ParameterModel, logoText) + kLogoTextBuffer;
    return std::memcmp(reinterpret_cast<const char*>(&a) + from, reinterpret_cast<const char*>(&b) + from, to - from) ==
           0;
}

// Raw table reads, as the pages make them: the unpack's clamps are what
// keep these inside their tables.
void ReadTables(int slot)
{
    FUZZ_CHECK(FilterTypeNames[model.hpfType[slot]] != nullptr);
    FUZZ_CHECK(FilterTypeNames[model.lpfType[slot]] != nullptr);
    FUZZ_CHECK(FreqLabel[model.hpfFreq[slot]] != nullptr);
    FUZZ_CHECK(FreqLabel[model.lpfFreq[slot]] != nullptr);
    FUZZ_CHECK(std::isfinite(FreqTable[model.hpfFreq[slot]]));
    FUZZ_CHECK(std::isfinite(FreqTable[model.lpfFreq[slot]]));
    for (int band = 0; band < kPeqBands; ++band) {
        const int peq = PeqIndex(slot, band);
        FUZZ_CHECK(FreqLabel[model.peqFreq[peq]] != nullptr);
        FUZZ_CHECK(*FreqLabelAt(model.peqFreq[peq]) != '\0');
        FUZZ_CHECK(!BandwidthText(model.peqBandwidth[peq], model.peqHiShelf[peq], model.peqLoShelf[peq]).empty());
        const auto octaves = BandwidthOctaves(model.peqBandwidth[peq]);
        FUZZ_CHECK(!octaves || std::isfinite(*octaves));
    }
}

void ReadTexts(int slot)
{
    FUZZ_CHECK(*FilterTypeNameAt(model.hpfType[slot]) != '\0');
    FUZZ_CHECK(*FreqLabelAt(model.lpfFreq[slot]) != '\0');
    FUZZ_CHECK(!GainText(model.gain[slot]).empty());
    FUZZ_CHECK(!DelayMsText(model.delay[slot]).empty());
    FUZZ_CHECK(!DelayMetresText(model.delay[slot]).empty());
    FUZZ_CHECK(!DelayFeetText(model.delay[slot]).empty());
    FUZZ_CHECK(!ThresholdText(model.limThreshold[slot]).empty());
    FUZZ_CHECK(!LimiterTimeText(model.limAttack[slot]).empty());
}

// The curve and where the graph draws it: every value finite, every line
// between neighbouring steps, within reach of the image and ending on a
// point that lies at or above the graph's floor.
void ReadResponse(int slot)
{
    const auto response = ComputeResponse(model, slot);
    for (const double db : response) FUZZ_CHECK(std::isfinite(db));
    for (const CurveSegment& segment : CurveSegments(response)) {
        FUZZ_CHECK(segment.x1 >= kPlotLeft + 1 && segment.x1 < kPlotRight);
        FUZZ_CHECK(segment.x1 - segment.x0 == 1);
        FUZZ_CHECK(response[static_cast<std::size_t>(segment.x1 - kPlotLeft)] >= kLowestDrawnDb);
        for (const int y : {segment.y0, segment.y1})
            FUZZ_CHECK(y >= -kCurveFarOutside && y <= kGraphHeight + kCurveFarOutside);
    }
}

// Every message the editors could send about this model, for both channels
// and every band: the payload is read from the model alone.
void ReadMessages()
{
    for (const int channel : kEditedSlots) {
        for (int band = 0; band < kPeqBands; ++band) {
            model.curChannel = channel;
            model.curBand = band;
            for (const int id : kAllParameterIds) {
                const std::size_t size = ParameterPayload(model, id).size();
                FUZZ_CHECK(size == 3 || size == 5 || size == 7);
            }
        }
    }
}

}  // namespace

void UnpackAndReadModel(const std::uint8_t* image62)
{
    model = ParameterModel{};
    LoadDefaults(model);
    const ParameterModel before = model;
    const Block unusedBefore = PackedChannel(kUnusedSlot);

    ImageToModel(model, image62);
    FUZZ_CHECK(PackedChannel(kUnusedSlot) == unusedBefore);
    FUZZ_CHECK(SameDirectoryAndState(model, before));

    // Once unpacked, the model packs to an image that unpacks to itself.
    const Image packed = PackedModel();
    ImageToModel(model, packed.data());
    FUZZ_CHECK(PackedModel() == packed);

    for (const int slot : kEditedSlots) {
        ReadTables(slot);
        ReadTexts(slot);
        ReadResponse(slot);
    }
    ReadMessages();
}
