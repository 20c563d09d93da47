#include "emulator/audio/ChannelSetting.h"

#include <algorithm>

namespace rx74emu {
namespace {

constexpr double kFrequencyTable[kFrequencySteps] = {
    // 0..19
    10.0,
    10.2,
    10.4,
    10.6,
    10.8,
    11.0,
    11.3,
    11.5,
    11.7,
    11.9,
    12.2,
    12.4,
    12.6,
    12.9,
    13.1,
    13.4,
    13.7,
    13.9,
    14.2,
    14.5,
    // 20..39
    14.7,
    15.0,
    15.3,
    15.6,
    15.9,
    16.2,
    16.6,
    16.9,
    17.2,
    17.5,
    17.9,
    18.2,
    18.6,
    18.9,
    19.3,
    19.7,
    20.1,
    20.5,
    20.9,
    21.3,
    // 40..59
    21.7,
    22.1,
    22.5,
    23.0,
    23.4,
    23.9,
    24.3,
    24.8,
    25.3,
    25.8,
    26.3,
    26.8,
    27.3,
    27.8,
    28.4,
    28.9,
    29.5,
    30.1,
    30.7,
    31.3,
    // 60..79
    31.9,
    32.5,
    33.1,
    33.8,
    34.4,
    35.1,
    35.8,
    36.5,
    37.2,
    37.9,
    38.6,
    39.4,
    40.1,
    40.9,
    41.7,
    42.5,
    43.4,
    44.2,
    45.1,
    45.9,
    // 80..99
    46.8,
    47.7,
    48.7,
    49.6,
    50.6,
    51.6,
    52.6,
    53.6,
    54.6,
    55.7,
    56.8,
    57.9,
    59.0,
    60.1,
    61.3,
    62.5,
    63.7,
    65.0,
    66.2,
    67.5,
    // 100..119
    68.8,
    70.2,
    71.5,
    72.9,
    74.3,
    75.8,
    77.2,
    78.7,
    80.3,
    81.8,
    83.4,
    85.0,
    86.7,
    88.4,
    90.1,
    94.0,
    95.0,
    97.0,
    99.0,
    101.0,
    // 120..139
    103.0,
    105.0,
    107.0,
    109.0,
    111.0,
    114.0,
    116.0,
    118.0,
    120.0,
    123.0,
    125.0,
    127.0,
    130.0,
    132.0,
    135.0,
    138.0,
    140.0,
    143.0,
    146.0,
    149.0,
    // 140..159
    152.0,
    154.0,
    157.0,
    161.0,
    164.0,
    167.0,
    170.0,
    173.0,
    177.0,
    180.0,
    184.0,
    187.0,
    191.0,
    195.0,
    198.0,
    202.0,
    206.0,
    210.0,
    214.0,
    218.0,
    // 160..179
    223.0,
    227.0,
    231.0,
    236.0,
    241.0,
    245.0,
    250.0,
    255.0,
    260.0,
    265.0,
    270.0,
    275.0,
    281.0,
    286.0,
    292.0,
    297.0,
    303.0,
    309.0,
    315.0,
    321.0,
    // 180..199
    327.0,
    334.0,
    340.0,
    347.0,
    354.0,
    360.0,
    367.0,
    375.0,
    382.0,
    389.0,
    397.0,
    405.0,
    412.0,
    420.0,
    429.0,
    437.0,
    445.0,
    454.0,
    463.0,
    472.0,
    // 200..219
    481.0,
    490.0,
    500.0,
    510.0,
    520.0,
    530.0,
    540.0,
    551.0,
    561.0,
    572.0,
    583.0,
    595.0,
    606.0,
    618.0,
    630.0,
    642.0,
    655.0,
    667.0,
    680.0,
    694.0,
    // 220..239
    707.0,
    721.0,
    735.0,
    749.0,
    764.0,
    779.0,
    794.0,
    809.0,
    825.0,
    841.0,
    857.0,
    874.0,
    891.0,
    908.0,
    926.0,
    944.0,
    962.0,
    981.0,
    1000.0,
    1020.0,
    // 240..259
    1040.0,
    1060.0,
    1080.0,
    1100.0,
    1120.0,
    1140.0,
    1170.0,
    1190.0,
    1210.0,
    1240.0,
    1260.0,
    1280.0,
    1310.0,
    1330.0,
    1360.0,
    1390.0,
    1410.0,
    1440.0,
    1470.0,
    1500.0,
    // 260..279
    1530.0,
    1560.0,
    1590.0,
    1620.0,
    1650.0,
    1680.0,
    1710.0,
    1750.0,
    1780.0,
    1820.0,
    1850.0,
    1890.0,
    1920.0,
    1960.0,
    2000.0,
    2040.0,
    2080.0,
    2120.0,
    2160.0,
    2200.0,
    // 280..299
    2240.0,
    2290.0,
    2330.0,
    2380.0,
    2420.0,
    2470.0,
    2520.0,
    2570.0,
    2620.0,
    2670.0,
    2720.0,
    2770.0,
    2830.0,
    2880.0,
    2940.0,
    3000.0,
    3050.0,
    3110.0,
    3170.0,
    3240.0,
    // 300..319
    3300.0,
    3360.0,
    3430.0,
    3500.0,
    3560.0,
    3630.0,
    3700.0,
    3780.0,
    3850.0,
    3920.0,
    4000.0,
    4080.0,
    4160.0,
    4240.0,
    4320.0,
    4400.0,
    4490.0,
    4580.0,
    4670.0,
    4760.0,
    // 320..339
    4850.0,
    4940.0,
    5040.0,
    5140.0,
    5240.0,
    5340.0,
    5440.0,
    5500.0,
    5660.0,
    5770.0,
    5880.0,
    5990.0,
    6110.0,
    6230.0,
    6350.0,
    6470.0,
    6600.0,
    6730.0,
    6860.0,
    6990.0,
    // 340..359
    7130.0,
    7270.0,
    7410.0,
    7550.0,
    7700.0,
    7850.0,
    8000.0,
    8160.0,
    8310.0,
    8480.0,
    8640.0,
    8810.0,
    8980.0,
    9150.0,
    9330.0,
    9510.0,
    9700.0,
    9890.0,
    10100.0,
    10300.0,
    // 360..379
    10500.0,
    10700.0,
    10900.0,
    11100.0,
    11300.0,
    11500.0,
    11800.0,
    12000.0,
    12200.0,
    12500.0,
    12700.0,
    12900.0,
    13200.0,
    13500.0,
    13700.0,
    14000.0,
    14300.0,
    14500.0,
    14800.0,
    15100.0,
    // 380..394
    15400.0,
    15700.0,
    16000.0,
    16300.0,
    16600.0,
    17000.0,
    17300.0,
    17600.0,
    18000.0,
    18300.0,
    18700.0,
    19000.0,
    19400.0,
    19800.0,
    20200.0,
};

// PEQ bandwidth steps 2..41, narrowest first.
constexpr double kOctaveTable[] = {0.011, 0.015, 0.022, 0.031, 0.037, 0.044, 0.052, 0.062, 0.074, 0.089,
                                   0.106, 0.126, 0.152, 0.182, 0.196, 0.211, 0.228, 0.246, 0.266, 0.288,
                                   0.312, 0.339, 0.370, 0.404, 0.442, 0.486, 0.537, 0.596, 0.666, 0.751,
                                   0.857, 0.991, 1.168, 1.414, 1.577, 1.780, 2.040, 2.387, 2.870, 3.595};
constexpr int kNarrowestBandwidthStep = 2;

// Block offsets and bits.
constexpr std::size_t kFlags = 0, kLevel = 1, kDelay = 2, kHighPass = 4, kLowPass = 7, kLimiterThreshold = 10,
                      kLimiterHold = 12, kLimiterDecay = 13, kPeqGain = 16, kPeqBandwidth = 19, kPeqFreq = 22,
                      kShelves = 28;
constexpr std::uint8_t kMuteBit = 0x80, kPolarityBit = 0x40, kCrossoverBit = 0x20;
constexpr std::uint8_t kHighShelfBits = 0x01, kLowShelfBits = 0x10;  // shifted by the band

constexpr int kLevelZeroStep = 128, kLowestLevelStep = 8, kHighestLevelStep = 140;
constexpr double kLevelStepDb = 0.5, kPeqGainStepDb = 0.1, kDelayStepMs = 0.1;
constexpr int kPeqGainZeroStep = 128;
constexpr int kBandwidthByteBase = 43;  // the byte holds 43 minus the step
constexpr int kLimiterOffStep = 11, kLimiterTopStep = 62, kLimiterDbuBase = 22;
constexpr double kLimiterTimeStepMs = 10.0;

int Word(const std::uint8_t* at) { return at[0] << 8 | at[1]; }

CrossoverFilter DecodeFilter(const std::uint8_t* at) { return {at[0], StepFrequencyHz(Word(at + 1))}; }

PeqBand DecodeBand(const std::uint8_t* block, int band)
{
    PeqBand decoded;
    const std::uint8_t shelves = block[kShelves];
    // Both shelf bits: the unit shows a high shelf, and so it sounds.
    if (shelves & (kHighShelfBits << band))
        decoded.shape = PeqBand::Shape::HighShelf;
    else if (shelves & (kLowShelfBits << band))
        decoded.shape = PeqBand::Shape::LowShelf;
    decoded.flat = (block[kFlags] >> band) & 1;
    decoded.hz = StepFrequencyHz(Word(block + kPeqFreq + 2 * band));
    decoded.gainDb = (block[kPeqGain + band] - kPeqGainZeroStep) * kPeqGainStepDb;
    decoded.octaves = BandwidthOctaves(kBandwidthByteBase - block[kPeqBandwidth + band]);
    return decoded;
}

}  // namespace

double StepFrequencyHz(int step) { return kFrequencyTable[std::clamp(step, 0, kFrequencySteps - 1)]; }

double BandwidthOctaves(int step)
{
    const int last = static_cast<int>(std::size(kOctaveTable)) - 1;
    return kOctaveTable[std::clamp(step - kNarrowestBandwidthStep, 0, last)];
}

ChannelSetting DecodeChannel(const std::uint8_t* block)
{
    ChannelSetting setting;
    const std::uint8_t flags = block[kFlags];
    const int level = std::clamp<int>(block[kLevel], kLowestLevelStep, kHighestLevelStep);
    setting.levelDb = (level - kLevelZeroStep) * kLevelStepDb;
    setting.mute = flags & kMuteBit;
    setting.inverted = flags & kPolarityBit;
    setting.delayMs = Word(block + kDelay) * kDelayStepMs;
    if (flags & kCrossoverBit) {
        setting.highPass = DecodeFilter(block + kHighPass);
        setting.lowPass = DecodeFilter(block + kLowPass);
    }
    const int threshold = std::min<int>(block[kLimiterThreshold], kLimiterTopStep);
    if (threshold > kLimiterOffStep) setting.limiterDbu = kLimiterDbuBase - threshold;
    setting.limiterHoldMs = block[kLimiterHold] * kLimiterTimeStepMs;
    setting.limiterReleaseMs = block[kLimiterDecay] * kLimiterTimeStepMs;
    for (int band = 0; band < kBandsPerChannel; ++band) setting.bands[band] = DecodeBand(block, band);
    return setting;
}

UnitSetting DecodeSetting(const Image& image)
{
    return {DecodeChannel(image.data()), DecodeChannel(image.data() + kSubBlock)};
}

}  // namespace rx74emu
