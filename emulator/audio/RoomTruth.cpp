#include "emulator/audio/RoomTruth.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>

namespace rx74emu {
namespace {

constexpr double kLowestHz = 10.0, kHighestHz = 20000.0;
constexpr int kPointsPerOctave = 48;

nlohmann::ordered_json OutputsJson(const AudioPath& path)
{
    nlohmann::ordered_json outputs;
    const auto hz = TruthFrequencies();
    for (Output output : kOutputs) {
        std::vector<double> db, phase;
        for (double f : hz) {
            const auto h = path.Response(output, f);
            db.push_back(20.0 * std::log10(std::abs(h)));
            phase.push_back(std::arg(h) * 180.0 / std::numbers::pi);
        }
        outputs[OutputName(output)] = {{"arrivalMs", path.ArrivalMs(output)},
                                       {"muted", path.Muted(output)},
                                       {"hz", hz},
                                       {"db", db},
                                       {"phaseDeg", phase}};
    }
    return outputs;
}

}  // namespace

std::vector<double> TruthFrequencies()
{
    std::vector<double> hz;
    for (int k = 0;; ++k) {
        const double f = kLowestHz * std::pow(2.0, static_cast<double>(k) / kPointsPerOctave);
        if (f > kHighestHz * (1 + 1e-9)) return hz;
        hz.push_back(f);
    }
}

std::string RoomTruthJson(const Room& room, const Image& setting)
{
    auto positions = nlohmann::ordered_json::array();
    for (int k = 1; k <= room.PositionCount(); ++k)
        positions.push_back({{"outputs", OutputsJson(AudioPath(room.At(k), setting))}});
    const nlohmann::ordered_json truth = {{"rate", static_cast<int>(kSampleRate)},
                                          {"latencyMs", SamplesToMs(AudioPath::kLatencySamples)},
                                          {"outputs", positions[0]["outputs"]},
                                          {"positions", positions}};
    return truth.dump();
}

}  // namespace rx74emu
