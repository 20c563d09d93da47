#include "model/Scales.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

// The unit's frequency scale, step 0..394. Close to 1/36 octave per step but
// not a formula: note the jump 90.1 -> 94 Hz (steps 114, 115) and the uneven
// 5440, 5500, 5660 Hz (steps 326..328). Step 238 is exactly 1000 Hz.
const double FreqTable[kFreqSteps] = {
    10.0,    10.2,    10.4,    10.6,    10.8,    11.0,    11.3,    11.5,    11.7,    11.9,     // 0-9
    12.2,    12.4,    12.6,    12.9,    13.1,    13.4,    13.7,    13.9,    14.2,    14.5,     // 10-19
    14.7,    15.0,    15.3,    15.6,    15.9,    16.2,    16.6,    16.9,    17.2,    17.5,     // 20-29
    17.9,    18.2,    18.6,    18.9,    19.3,    19.7,    20.1,    20.5,    20.9,    21.3,     // 30-39
    21.7,    22.1,    22.5,    23.0,    23.4,    23.9,    24.3,    24.8,    25.3,    25.8,     // 40-49
    26.3,    26.8,    27.3,    27.8,    28.4,    28.9,    29.5,    30.1,    30.7,    31.3,     // 50-59
    31.9,    32.5,    33.1,    33.8,    34.4,    35.1,    35.8,    36.5,    37.2,    37.9,     // 60-69
    38.6,    39.4,    40.1,    40.9,    41.7,    42.5,    43.4,    44.2,    45.1,    45.9,     // 70-79
    46.8,    47.7,    48.7,    49.6,    50.6,    51.6,    52.6,    53.6,    54.6,    55.7,     // 80-89
    56.8,    57.9,    59.0,    60.1,    61.3,    62.5,    63.7,    65.0,    66.2,    67.5,     // 90-99
    68.8,    70.2,    71.5,    72.9,    74.3,    75.8,    77.2,    78.7,    80.3,    81.8,     // 100-109
    83.4,    85.0,    86.7,    88.4,    90.1,    94.0,    95.0,    97.0,    99.0,    101.0,    // 110-119
    103.0,   105.0,   107.0,   109.0,   111.0,   114.0,   116.0,   118.0,   120.0,   123.0,    // 120-129
    125.0,   127.0,   130.0,   132.0,   135.0,   138.0,   140.0,   143.0,   146.0,   149.0,    // 130-139
    152.0,   154.0,   157.0,   161.0,   164.0,   167.0,   170.0,   173.0,   177.0,   180.0,    // 140-149
    184.0,   187.0,   191.0,   195.0,   198.0,   202.0,   206.0,   210.0,   214.0,   218.0,    // 150-159
    223.0,   227.0,   231.0,   236.0,   241.0,   245.0,   250.0,   255.0,   260.0,   265.0,    // 160-169
    270.0,   275.0,   281.0,   286.0,   292.0,   297.0,   303.0,   309.0,   315.0,   321.0,    // 170-179
    327.0,   334.0,   340.0,   347.0,   354.0,   360.0,   367.0,   375.0,   382.0,   389.0,    // 180-189
    397.0,   405.0,   412.0,   420.0,   429.0,   437.0,   445.0,   454.0,   463.0,   472.0,    // 190-199
    481.0,   490.0,   500.0,   510.0,   520.0,   530.0,   540.0,   551.0,   561.0,   572.0,    // 200-209
    583.0,   595.0,   606.0,   618.0,   630.0,   642.0,   655.0,   667.0,   680.0,   694.0,    // 210-219
    707.0,   721.0,   735.0,   749.0,   764.0,   779.0,   794.0,   809.0,   825.0,   841.0,    // 220-229
    857.0,   874.0,   891.0,   908.0,   926.0,   944.0,   962.0,   981.0,   1000.0,  1020.0,   // 230-239
    1040.0,  1060.0,  1080.0,  1100.0,  1120.0,  1140.0,  1170.0,  1190.0,  1210.0,  1240.0,   // 240-249
    1260.0,  1280.0,  1310.0,  1330.0,  1360.0,  1390.0,  1410.0,  1440.0,  1470.0,  1500.0,   // 250-259
    1530.0,  1560.0,  1590.0,  1620.0,  1650.0,  1680.0,  1710.0,  1750.0,  1780.0,  1820.0,   // 260-269
    1850.0,  1890.0,  1920.0,  1960.0,  2000.0,  2040.0,  2080.0,  2120.0,  2160.0,  2200.0,   // 270-279
    2240.0,  2290.0,  2330.0,  2380.0,  2420.0,  2470.0,  2520.0,  2570.0,  2620.0,  2670.0,   // 280-289
    2720.0,  2770.0,  2830.0,  2880.0,  2940.0,  3000.0,  3050.0,  3110.0,  3170.0,  3240.0,   // 290-299
    3300.0,  3360.0,  3430.0,  3500.0,  3560.0,  3630.0,  3700.0,  3780.0,  3850.0,  3920.0,   // 300-309
    4000.0,  4080.0,  4160.0,  4240.0,  4320.0,  4400.0,  4490.0,  4580.0,  4670.0,  4760.0,   // 310-319
    4850.0,  4940.0,  5040.0,  5140.0,  5240.0,  5340.0,  5440.0,  5500.0,  5660.0,  5770.0,   // 320-329
    5880.0,  5990.0,  6110.0,  6230.0,  6350.0,  6470.0,  6600.0,  6730.0,  6860.0,  6990.0,   // 330-339
    7130.0,  7270.0,  7410.0,  7550.0,  7700.0,  7850.0,  8000.0,  8160.0,  8310.0,  8480.0,   // 340-349
    8640.0,  8810.0,  8980.0,  9150.0,  9330.0,  9510.0,  9700.0,  9890.0,  10100.0, 10300.0,  // 350-359
    10500.0, 10700.0, 10900.0, 11100.0, 11300.0, 11500.0, 11800.0, 12000.0, 12200.0, 12500.0,  // 360-369
    12700.0, 12900.0, 13200.0, 13500.0, 13700.0, 14000.0, 14300.0, 14500.0, 14800.0, 15100.0,  // 370-379
    15400.0, 15700.0, 16000.0, 16300.0, 16600.0, 17000.0, 17300.0, 17600.0, 18000.0, 18300.0,  // 380-389
    18700.0, 19000.0, 19400.0, 19800.0, 20200.0,                                               // 390-394
};

// The label of each step: one decimal below 100 Hz, whole hertz above.
const char* const FreqLabel[kFreqSteps] = {
    "10.0Hz",  "10.2Hz",  "10.4Hz",  "10.6Hz",  "10.8Hz",  "11.0Hz",  "11.3Hz",  "11.5Hz",  "11.7Hz",  "11.9Hz",
    "12.2Hz",  "12.4Hz",  "12.6Hz",  "12.9Hz",  "13.1Hz",  "13.4Hz",  "13.7Hz",  "13.9Hz",  "14.2Hz",  "14.5Hz",
    "14.7Hz",  "15.0Hz",  "15.3Hz",  "15.6Hz",  "15.9Hz",  "16.2Hz",  "16.6Hz",  "16.9Hz",  "17.2Hz",  "17.5Hz",
    "17.9Hz",  "18.2Hz",  "18.6Hz",  "18.9Hz",  "19.3Hz",  "19.7Hz",  "20.1Hz",  "20.5Hz",  "20.9Hz",  "21.3Hz",
    "21.7Hz",  "22.1Hz",  "22.5Hz",  "23.0Hz",  "23.4Hz",  "23.9Hz",  "24.3Hz",  "24.8Hz",  "25.3Hz",  "25.8Hz",
    "26.3Hz",  "26.8Hz",  "27.3Hz",  "27.8Hz",  "28.4Hz",  "28.9Hz",  "29.5Hz",  "30.1Hz",  "30.7Hz",  "31.3Hz",
    "31.9Hz",  "32.5Hz",  "33.1Hz",  "33.8Hz",  "34.4Hz",  "35.1Hz",  "35.8Hz",  "36.5Hz",  "37.2Hz",  "37.9Hz",
    "38.6Hz",  "39.4Hz",  "40.1Hz",  "40.9Hz",  "41.7Hz",  "42.5Hz",  "43.4Hz",  "44.2Hz",  "45.1Hz",  "45.9Hz",
    "46.8Hz",  "47.7Hz",  "48.7Hz",  "49.6Hz",  "50.6Hz",  "51.6Hz",  "52.6Hz",  "53.6Hz",  "54.6Hz",  "55.7Hz",
    "56.8Hz",  "57.9Hz",  "59.0Hz",  "60.1Hz",  "61.3Hz",  "62.5Hz",  "63.7Hz",  "65.0Hz",  "66.2Hz",  "67.5Hz",
    "68.8Hz",  "70.2Hz",  "71.5Hz",  "72.9Hz",  "74.3Hz",  "75.8Hz",  "77.2Hz",  "78.7Hz",  "80.3Hz",  "81.8Hz",
    "83.4Hz",  "85.0Hz",  "86.7Hz",  "88.4Hz",  "90.1Hz",  "94.0Hz",  "95.0Hz",  "97.0Hz",  "99.0Hz",  "101Hz",
    "103Hz",   "105Hz",   "107Hz",   "109Hz",   "111Hz",   "114Hz",   "116Hz",   "118Hz",   "120Hz",   "123Hz",
    "125Hz",   "127Hz",   "130Hz",   "132Hz",   "135Hz",   "138Hz",   "140Hz",   "143Hz",   "146Hz",   "149Hz",
    "152Hz",   "154Hz",   "157Hz",   "161Hz",   "164Hz",   "167Hz",   "170Hz",   "173Hz",   "177Hz",   "180Hz",
    "184Hz",   "187Hz",   "191Hz",   "195Hz",   "198Hz",   "202Hz",   "206Hz",   "210Hz",   "214Hz",   "218Hz",
    "223Hz",   "227Hz",   "231Hz",   "236Hz",   "241Hz",   "245Hz",   "250Hz",   "255Hz",   "260Hz",   "265Hz",
    "270Hz",   "275Hz",   "281Hz",   "286Hz",   "292Hz",   "297Hz",   "303Hz",   "309Hz",   "315Hz",   "321Hz",
    "327Hz",   "334Hz",   "340Hz",   "347Hz",   "354Hz",   "360Hz",   "367Hz",   "375Hz",   "382Hz",   "389Hz",
    "397Hz",   "405Hz",   "412Hz",   "420Hz",   "429Hz",   "437Hz",   "445Hz",   "454Hz",   "463Hz",   "472Hz",
    "481Hz",   "490Hz",   "500Hz",   "510Hz",   "520Hz",   "530Hz",   "540Hz",   "551Hz",   "561Hz",   "572Hz",
    "583Hz",   "595Hz",   "606Hz",   "618Hz",   "630Hz",   "642Hz",   "655Hz",   "667Hz",   "680Hz",   "694Hz",
    "707Hz",   "721Hz",   "735Hz",   "749Hz",   "764Hz",   "779Hz",   "794Hz",   "809Hz",   "825Hz",   "841Hz",
    "857Hz",   "874Hz",   "891Hz",   "908Hz",   "926Hz",   "944Hz",   "962Hz",   "981Hz",   "1000Hz",  "1020Hz",
    "1040Hz",  "1060Hz",  "1080Hz",  "1100Hz",  "1120Hz",  "1140Hz",  "1170Hz",  "1190Hz",  "1210Hz",  "1240Hz",
    "1260Hz",  "1280Hz",  "1310Hz",  "1330Hz",  "1360Hz",  "1390Hz",  "1410Hz",  "1440Hz",  "1470Hz",  "1500Hz",
    "1530Hz",  "1560Hz",  "1590Hz",  "1620Hz",  "1650Hz",  "1680Hz",  "1710Hz",  "1750Hz",  "1780Hz",  "1820Hz",
    "1850Hz",  "1890Hz",  "1920Hz",  "1960Hz",  "2000Hz",  "2040Hz",  "2080Hz",  "2120Hz",  "2160Hz",  "2200Hz",
    "2240Hz",  "2290Hz",  "2330Hz",  "2380Hz",  "2420Hz",  "2470Hz",  "2520Hz",  "2570Hz",  "2620Hz",  "2670Hz",
    "2720Hz",  "2770Hz",  "2830Hz",  "2880Hz",  "2940Hz",  "3000Hz",  "3050Hz",  "3110Hz",  "3170Hz",  "3240Hz",
    "3300Hz",  "3360Hz",  "3430Hz",  "3500Hz",  "3560Hz",  "3630Hz",  "3700Hz",  "3780Hz",  "3850Hz",  "3920Hz",
    "4000Hz",  "4080Hz",  "4160Hz",  "4240Hz",  "4320Hz",  "4400Hz",  "4490Hz",  "4580Hz",  "4670Hz",  "4760Hz",
    "4850Hz",  "4940Hz",  "5040Hz",  "5140Hz",  "5240Hz",  "5340Hz",  "5440Hz",  "5500Hz",  "5660Hz",  "5770Hz",
    "5880Hz",  "5990Hz",  "6110Hz",  "6230Hz",  "6350Hz",  "6470Hz",  "6600Hz",  "6730Hz",  "6860Hz",  "6990Hz",
    "7130Hz",  "7270Hz",  "7410Hz",  "7550Hz",  "7700Hz",  "7850Hz",  "8000Hz",  "8160Hz",  "8310Hz",  "8480Hz",
    "8640Hz",  "8810Hz",  "8980Hz",  "9150Hz",  "9330Hz",  "9510Hz",  "9700Hz",  "9890Hz",  "10100Hz", "10300Hz",
    "10500Hz", "10700Hz", "10900Hz", "11100Hz", "11300Hz", "11500Hz", "11800Hz", "12000Hz", "12200Hz", "12500Hz",
    "12700Hz", "12900Hz", "13200Hz", "13500Hz", "13700Hz", "14000Hz", "14300Hz", "14500Hz", "14800Hz", "15100Hz",
    "15400Hz", "15700Hz", "16000Hz", "16300Hz", "16600Hz", "17000Hz", "17300Hz", "17600Hz", "18000Hz", "18300Hz",
    "18700Hz", "19000Hz", "19400Hz", "19800Hz", "20200Hz",
};

const double OctaveTable[kOctaveSteps] = {
    0.011, 0.015, 0.022, 0.031, 0.037, 0.044, 0.052, 0.062, 0.074, 0.089,  // steps 2-11
    0.106, 0.126, 0.152, 0.182, 0.196, 0.211, 0.228, 0.246, 0.266, 0.288,  // steps 12-21
    0.312, 0.339, 0.370, 0.404, 0.442, 0.486, 0.537, 0.596, 0.666, 0.751,  // steps 22-31
    0.857, 0.991, 1.168, 1.414, 1.577, 1.780, 2.040, 2.387, 2.870, 3.595,  // steps 32-41
};

const char* const FilterTypeNames[kFilterTypes] = {
    "FLAT THRU ",      " 6dB Butterworth", "12dB/Q=0.5",       "12dB/Q=0.6",      "12dB/Q=0.7",       "12dB/Q=0.8",
    "12dB/Q=0.9",      "12dB/Q=1.0",       "12dB/Q=1.1",       "12dB/Q=1.2",      "12dB/Q=1.3",       "12dB/Q=1.4",
    "12dB/Q=1.5",      "12dB/Q=1.6",       "12dB/Q=1.7",       "12dB/Q=1.8",      "12dB/Q=1.9",       "12dB/Q=2.0",
    "12dB Bessel",     "12dB Butterworth", "18dB Butterworth", "18dB Bessel",     "24dB Butterworth", "24dB Bessel",
    "24dB Link-Riley", "48dB Butterworth", "48dB Bessel",      "48dB Link-Riley",
};

int FreqIndexFromHz(double hz)
{
    if (std::isnan(hz)) return kFreqStepHighest;
    // The table rises strictly, so the first entry not below hz is the
    // smallest qualifying step. The search starts at step 1 on purpose.
    const double* found = std::lower_bound(FreqTable + 1, FreqTable + kFreqSteps, hz);
    if (found == FreqTable + kFreqSteps) return kFreqStepHighest;
    return static_cast<int>(found - FreqTable);
}

std::optional<double> BandwidthOctaves(int step)
{
    if (step < kBandwidthStepNarrowest || step > kBandwidthStepWidest) return std::nullopt;
    return OctaveTable[step - kBandwidthStepNarrowest];
}

std::string BandwidthText(int step, int hiShelf, int loShelf)
{
    if (hiShelf) return "HISHELF";
    if (loShelf) return "LOSHELF";
    const std::optional<double> octaves = BandwidthOctaves(step);
    if (!octaves) return kBandwidthOutOfRangeText;
    char text[32];
    std::snprintf(text, sizeof text, "%.3f oct", *octaves);
    return text;
}

int BandwidthStepFromOctaves(double octaves)
{
    const double first = OctaveTable[0];
    const double last = OctaveTable[kOctaveSteps - 1];
    // Written so that NaN fails the test and takes the narrowest value.
    const double x = !(octaves >= first) ? first : std::min(octaves, last);
    // Walk towards wider steps while the next entry is at least as close:
    // a value exactly halfway takes the wider step.
    int i = 0;
    while (i + 1 < kOctaveSteps && std::fabs(x - OctaveTable[i + 1]) <= std::fabs(x - OctaveTable[i])) ++i;
    return i + kBandwidthStepNarrowest;
}

std::string GainText(int gainStep)
{
    char text[32];
    std::snprintf(text, sizeof text, "%+.1fdB", (static_cast<double>(gainStep) - 128.0) * 0.5);
    return text;
}

std::string DelayMsText(int delayStep)
{
    // Dividing by ten gives exact tenths of a millisecond (125 -> 12.5).
    char text[32];
    std::snprintf(text, sizeof text, "%.1f mS", delayStep / 10.0);
    return text;
}

std::string DelayMetresText(int delayStep)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.2f M", delayStep * kDelayMetresPerStep);
    return text;
}

std::string DelayFeetText(int delayStep)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.2f Ft", delayStep * kDelayFeetPerStep);
    return text;
}

std::string ThresholdText(int thresholdStep)
{
    if (thresholdStep == kThresholdStepOff) return "Off";
    char text[32];
    std::snprintf(text, sizeof text, "%lld dBu", 22LL - thresholdStep);
    return text;
}

std::string LimiterTimeText(int timeStep) { return std::to_string(static_cast<long long>(timeStep) * 10); }

std::string PeqGainText(int gainStep)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1fdB", (static_cast<double>(gainStep) - kGainStepZero) * 0.1);
    return text;
}

const char* FreqLabelAt(int step) { return step >= 0 && step < kFreqSteps ? FreqLabel[step] : kFreqOutOfRangeText; }

const char* FilterTypeNameAt(int type)
{
    return type >= 0 && type < kFilterTypes ? FilterTypeNames[type] : kFilterTypeOutOfRangeText;
}
