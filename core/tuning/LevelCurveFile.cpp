#include "tuning/LevelCurveFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "model/Text.h"
#include "tuning/TuningText.h"

namespace {

constexpr double kAudioBandLow = 20.0;
constexpr double kAudioBandHigh = 20000.0;

bool IsComment(std::string_view line) { return !line.empty() && (line[0] == '*' || line[0] == '#' || line[0] == ';'); }

// The fields of a line: a comma separates only where nothing else does.
std::vector<std::string_view> Fields(std::string_view line)
{
    const bool commaIsDecimal =
        line.find_first_of(";\t") != std::string_view::npos ||
        (line.find(' ') != std::string_view::npos && line.find(", ") == std::string_view::npos &&
         line.find(" ,") == std::string_view::npos);
    const char* separators = commaIsDecimal ? " \t;" : " \t;,";
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start <= line.size()) {
        const std::size_t end = std::min(line.find_first_of(separators, start), line.size());
        if (end > start) fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

struct Point {
    double hz;
    double db;
};

// Empty for a line that does not start with two numbers.
std::optional<Point> ReadPoint(std::string_view line)
{
    const std::vector<std::string_view> fields = Fields(line);
    if (fields.size() < 2) return std::nullopt;
    const std::optional<double> hz = ReadDecimal(fields[0]);
    const std::optional<double> db = ReadDecimal(fields[1]);
    if (!hz || !db) return std::nullopt;
    return Point{*hz, *db};
}

std::string HzText(double hz)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", hz);
    return text;
}

void CheckPoint(const Point& point, const LevelCurve& soFar, int line)
{
    if (!std::isfinite(point.hz) || !std::isfinite(point.db)) throw TuningFileError(line, "not a finite number");
    if (point.hz <= 0.0) throw TuningFileError(line, "frequency " + HzText(point.hz) + " is not above 0");
    if (soFar.hz.empty()) return;
    const double previous = soFar.hz.back();
    if (point.hz == previous) throw TuningFileError(line, "frequency " + HzText(point.hz) + " repeats");
    if (point.hz < previous)
        throw TuningFileError(line, "frequency " + HzText(point.hz) + " is below the one before (" + HzText(previous) +
                                        "): the points must be sorted");
}

}  // namespace

LevelCurve ParseLevelCurve(std::string_view text)
{
    LevelCurve measurement;
    const std::vector<std::string_view> lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = TrimBlanks(lines[i]);
        const int number = static_cast<int>(i + 1);
        if (line.empty() || IsComment(line)) continue;
        const std::optional<Point> point = ReadPoint(line);
        if (!point) {
            if (measurement.hz.empty()) continue;  // a heading
            throw TuningFileError(number, "expected a frequency and a level in dB");
        }
        CheckPoint(*point, measurement, number);
        measurement.hz.push_back(point->hz);
        measurement.db.push_back(point->db);
    }
    const auto inBand = std::count_if(measurement.hz.begin(), measurement.hz.end(),
                                      [](double hz) { return hz >= kAudioBandLow && hz <= kAudioBandHigh; });
    if (inBand < kCurveLeastPoints)
        throw TuningFileError(0, "only " + std::to_string(inBand) + " points between 20 Hz and 20 kHz (at least " +
                                     std::to_string(kCurveLeastPoints) + " needed)");
    return measurement;
}

double LevelAt(const LevelCurve& m, double hz)
{
    const auto above = std::lower_bound(m.hz.begin(), m.hz.end(), hz);
    if (above == m.hz.begin()) return m.db.front();
    if (above == m.hz.end()) return m.db.back();
    const auto i = static_cast<std::size_t>(above - m.hz.begin());
    const double t = std::log(hz / m.hz[i - 1]) / std::log(m.hz[i] / m.hz[i - 1]);
    return m.db[i - 1] + t * (m.db[i] - m.db[i - 1]);
}
