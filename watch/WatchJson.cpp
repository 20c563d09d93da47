#include "WatchJson.h"

#include <cmath>
#include <cstdio>

namespace {

// Rounded to what a curve on a screen can show, so that a line a look stays short.
double Rounded(double value, double step) { return std::round(value / step) * step; }

nlohmann::ordered_json RoundedList(const std::vector<double>& values, double step)
{
    auto list = nlohmann::ordered_json::array();
    for (double v : values) list.push_back(Rounded(v, step));
    return list;
}

// Whole numbers as integers: "45", not "45.0".
nlohmann::ordered_json WholeList(const std::vector<double>& values)
{
    auto list = nlohmann::ordered_json::array();
    for (double v : values) list.push_back(std::lround(v));
    return list;
}

nlohmann::ordered_json FiguresList(const std::vector<double>& values, int figures)
{
    auto list = nlohmann::ordered_json::array();
    for (double v : values) {
        const double step = std::pow(10.0, std::floor(std::log10(std::abs(v))) + 1 - figures);
        if (step >= 1.0) list.push_back(std::lround(Rounded(v, step)));
        else list.push_back(Rounded(v, step));
    }
    return list;
}

nlohmann::ordered_json KnownList(const std::vector<bool>& known)
{
    auto list = nlohmann::ordered_json::array();
    for (bool k : known) list.push_back(k ? 1 : 0);
    return list;
}

}  // namespace

nlohmann::ordered_json WatchLookJson(const WatchLook& look, WatchJsonDetail detail)
{
    const bool fine = detail == WatchJsonDetail::Fine;
    nlohmann::ordered_json json;
    json["t"] = Rounded(look.seconds, 0.001);
    json["delayMs"] = look.delaySeconds ? nlohmann::ordered_json(Rounded(*look.delaySeconds * 1000.0, 0.001)) : nullptr;
    json["hz"] = fine ? RoundedList(look.trace.hz, 0.01) : FiguresList(look.trace.hz, 3);
    json["db"] = RoundedList(look.trace.db, fine ? 0.01 : 0.1);
    json["phaseDeg"] = fine ? RoundedList(look.trace.phaseDeg, 0.1) : WholeList(look.trace.phaseDeg);
    json["coherence"] = RoundedList(look.trace.coherence, fine ? 0.001 : 0.01);
    json["known"] = KnownList(look.trace.known);
    json["alarms"] = nlohmann::ordered_json::array();
    for (const WatchAlarm& alarm : look.alarms)
        json["alarms"].push_back(
            {{"hz", Rounded(alarm.alarm.hz, 0.1)}, {"deviationDb", Rounded(alarm.alarm.deviationDb, 0.1)}, {"text", alarm.text}});
    json["storedOffsetDb"] =
        look.storedOffsetDb ? nlohmann::ordered_json(Rounded(*look.storedOffsetDb, 0.1)) : nlohmann::ordered_json(nullptr);
    return json;
}

nlohmann::ordered_json StoredTraceJson(const LevelCurve& stored, const std::vector<double>& points)
{
    return {{"hz", FiguresList(points, 3)}, {"db", RoundedList(StoredLevels(stored, points), 0.1)}};
}

std::string LiveTraceText(const WatchLook& look)
{
    std::string points;
    for (std::size_t i = 0; i < look.trace.hz.size(); ++i) {
        if (look.trace.coherence[i] < kTrustedCoherence) continue;
        char line[80];
        std::snprintf(line, sizeof line, "%.3f %.3f %.2f\n", look.trace.hz[i], look.trace.db[i], look.trace.phaseDeg[i]);
        points += line;
    }
    if (points.empty()) return {};
    char head[160];
    std::snprintf(head, sizeof head, "* Quenbar live trace after %.1f s, delay %.3f ms, its coherent points\n", look.seconds,
                  look.delaySeconds ? *look.delaySeconds * 1000.0 : 0.0);
    return std::string(head) + "* Hz dB phase(degrees)\n" + points;
}
