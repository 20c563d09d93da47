#include <gtest/gtest.h>

#include <cmath>

#include "model/Scales.h"
#include "tuning/MeasurementLevels.h"

TEST(MeasurementLevels, CentredOnTheFitRangeAndEmptyOutsideTheMeasuredSpan)
{
    // 80 dB up to 1 kHz, 86 dB above, measured from 30 Hz.
    LevelCurve measurement;
    for (int k = FreqIndexFromHz(30.0); k < kFreqSteps; ++k) {
        measurement.hz.push_back(FreqTable[k]);
        measurement.db.push_back(FreqTable[k] <= 1000.0 ? 80.0 : 86.0);
    }
    const ResponseCurve levels = MeasurementLevels(measurement);
    EXPECT_TRUE(std::isnan(levels[static_cast<std::size_t>(FreqIndexFromHz(20.0))]));
    const int low = FreqIndexFromHz(40.0), high = FreqIndexFromHz(16000.0);
    EXPECT_NEAR(MeanLevel(levels.data(), low, high), 0.0, 1e-9);
    EXPECT_NEAR(levels[100] - levels[300], -6.0, 1e-9);  // the shape kept
    EXPECT_EQ(MeanLevel(levels.data(), 0, 5), 0.0);      // nothing measured there
}
