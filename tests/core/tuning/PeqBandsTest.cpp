#include <gtest/gtest.h>

#include "tuning/PeqBands.h"

TEST(PeqBands, ReadBackAsWrittenWithEachShelfAndOnlyFromTheirSlot)
{
    ParameterModel model{};
    LoadDefaults(model);
    const PeqBands bands{PeqBand{40, 100, 3, Shelf::Low, false}, PeqBand{200, 150, 30, Shelf::None, true},
                         PeqBand{380, 60, 41, Shelf::High, false}};
    WritePeqBands(model, kSlotSub, bands);
    EXPECT_EQ(ReadPeqBands(model, kSlotSub), bands);
    // The flat band only switched the band flat: it sounds as written, and keeps what it held.
    EXPECT_EQ(model.peqFreq[PeqIndex(kSlotSub, 1)], kFreqStep1kHz);
    EXPECT_NE(ReadPeqBands(model, kSlotSub)[1], (PeqBand{200, 150, 30, Shelf::None, false}));
    const PeqBand factory{kFreqStep1kHz, kGainStepZero, 18, Shelf::None, false};
    EXPECT_EQ(ReadPeqBands(model, kSlotLeftRight), (PeqBands{factory, factory, factory}));
    model.peqHiShelf[PeqIndex(kSlotSub, 0)] = 1;  // both switches on
    EXPECT_EQ(ReadPeqBands(model, kSlotSub)[0].shelf, Shelf::Low);
}
