// What the tests of the live watch against the emulated room share,
// whichever build watches: the programme played into the unit, the
// system's truth as the microphone hears a mono programme, and the live
// trace measured against it.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

using json = nlohmann::json;

// Plays a programme (scripts/programme.sh's "pink" or "music", four times
// over) into the sink `sink` for as long as it lives.
class Programme {
public:
    explicit Programme(const std::string& name, const std::string& sink = "quenbar_out");
    ~Programme();
    Programme(const Programme&) = delete;
    Programme& operator=(const Programme&) = delete;

private:
    pid_t pid_;
};

// The whole system as the microphone hears it from a mono programme: the
// sum of every output's truth, each at its arrival, at the truth's points.
struct SystemTruth {
    std::vector<double> hz, db;
    double leftArrivalMs = 0.0;
};
SystemTruth TruthOfTheSystem();

// The largest deviation of the live trace from the truth over 40 Hz ..
// 16 kHz, both over 1/12 octave (three live points), where the coherence
// of all three is above 0.8; and how many points were compared.
std::pair<double, int> LargestDeviation(const json& look, const SystemTruth& truth);

// The lines of watch --json.
std::vector<json> Lines(const std::string& out);
