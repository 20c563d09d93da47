#include "tests/support/TuningSamples.h"

#include <cmath>
#include <numbers>
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

SystemMeasurement CrossedSystemMeasurement()
{
    SystemMeasurement m;
    for (double hz = 10.0; hz <= 20000.0; hz *= std::exp2(1.0 / 24.0)) {
        const Complex s(0.0, hz / 100.0);
        const Complex low = 1.0 / std::pow(s * s + std::sqrt(2.0) * s + 1.0, 2);
        for (MeasuredResponse* o : {&m.left, &m.right, &m.sub}) o->hz.push_back(hz);
        m.left.response.push_back(std::pow(s, 4) * low);
        m.right.response.push_back(std::pow(s, 4) * low);
        m.sub.response.push_back(-2.0 * std::pow(10.0, -3.0 / 20.0) * low *
                                 std::polar(1.0, -2.0 * std::numbers::pi * hz * 0.0023));
    }
    return m;
}

PeqBands PeqBandsOfJson(const nlohmann::json& bands)
{
    PeqBands out;
    for (int band = 0; band < kPeqBands; ++band) {
        const nlohmann::json& b = bands[static_cast<std::size_t>(band)];
        out[static_cast<std::size_t>(band)] = {
            b["freq"].get<int>(), b["gain"].get<int>(), b["bandwidth"].get<int>(),
            b["loShelf"].get<int>() ? Shelf::Low : (b["hiShelf"].get<int>() ? Shelf::High : Shelf::None),
            b["flat"].get<int>() != 0};
    }
    return out;
}
