#include "tests/support/TuningSamples.h"

#include <sstream>

#include "link/ParameterMessages.h"
#include "model/ParameterIds.h"

std::string MeasurementText(const std::string& header, char separator)
{
    PeqBands correction;
    correction[0] = {150, kGainStepZero + 40, 20, Shelf::None, false};
    correction[1] = {300, kGainStepZero - 50, 15, Shelf::None, false};
    const ResponseCurve curve = PeqBandsCurve(correction);
    std::ostringstream text;
    if (!header.empty()) text << header << '\n';
    for (int k = 20; k < kFreqSteps; k += 2) text << FreqTable[k] << separator << 80.0 - curve[k] << '\n';
    return text.str();
}

std::vector<std::vector<std::uint8_t>> BandMessages(ParameterModel setting, int slot, const PeqBands& before,
                                                    const PeqBands& after)
{
    WritePeqBands(setting, slot, after);
    std::vector<std::vector<std::uint8_t>> messages;
    for (int band = 0; band < kPeqBands; ++band) {
        if (before[static_cast<std::size_t>(band)] == after[static_cast<std::size_t>(band)]) continue;
        setting.curChannel = slot;
        setting.curBand = band;
        messages.push_back(ParameterPayload(setting, PID_PEQ_GAIN));
    }
    return messages;
}
