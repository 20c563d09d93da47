#include "tuning/FilterFile.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "model/Text.h"
#include "tuning/TuningText.h"

namespace {

// A 12 dB per octave shelf (the cookbook's S = 1) when the file gives no slope.
constexpr double kDefaultShelfSlope = 12.0;

std::string Upper(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

// Blank-separated words, with a unit glued to a number ("6dB", "100Hz")
// split off as a word of its own.
std::vector<std::string> Words(std::string_view line)
{
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
        std::string word(line.substr(start, end - start));
        start = end + 1;
        if (word.empty()) continue;
        const std::size_t unit = word.find_first_not_of("+-0123456789.,");
        if (unit > 0 && unit != std::string::npos && std::isalpha(static_cast<unsigned char>(word[unit])) &&
            ReadDecimal(word.substr(0, unit))) {
            words.push_back(word.substr(0, unit));
            word.erase(0, unit);
        }
        words.push_back(std::move(word));
    }
    return words;
}

// The number after keyword `key` (several words for "BW Oct"), in any case.
std::optional<double> NumberAfter(const std::vector<std::string>& words, const std::vector<std::string>& key)
{
    for (std::size_t i = 0; i + key.size() < words.size(); ++i) {
        bool match = true;
        for (std::size_t k = 0; k < key.size() && match; ++k) match = Upper(words[i + k]) == key[k];
        if (match) return ReadDecimal(words[i + key.size()]);
    }
    return std::nullopt;
}

bool IsNumberedFilter(const std::vector<std::string>& words)
{
    if (words.empty() || Upper(words[0]).rfind("FILTER", 0) != 0) return false;
    const std::string first = Upper(words[0]);
    if (first == "FILTER:") return true;
    return words.size() > 1 && !words[1].empty() && words[1].back() == ':' &&
           ReadDecimal(std::string_view(words[1]).substr(0, words[1].size() - 1)).has_value();
}

const std::vector<std::string> kKnownTypes = {"PK", "PEQ", "MODAL", "LS",  "HS",  "LSC", "HSC", "LSQ", "HSQ", "NO",
                                              "AP", "LP",  "HP",    "LPQ", "HPQ", "BP",  "LP1", "HP1", "NONE"};

// The type word: the first known type in the line.
std::string TypeOf(const std::vector<std::string>& words, std::size_t& at)
{
    for (at = 0; at < words.size(); ++at) {
        const std::string upper = Upper(words[at]);
        if (std::find(kKnownTypes.begin(), kKnownTypes.end(), upper) != kKnownTypes.end()) return upper;
    }
    return {};
}

std::optional<FilterKind> KindOf(const std::string& type)
{
    if (type == "PK" || type == "PEQ" || type == "MODAL") return FilterKind::Peak;
    if (type == "LS" || type == "LSC" || type == "LSQ") return FilterKind::LowShelf;
    if (type == "HS" || type == "HSC" || type == "HSQ") return FilterKind::HighShelf;
    return std::nullopt;
}

// Fills filter or problem from the line's words.
void ReadFilter(FileFilter& out, const std::vector<std::string>& words, std::size_t typeAt)
{
    const std::optional<FilterKind> kind = KindOf(out.type);
    if (!kind) {
        out.problem = out.type.empty() ? "no filter type" : "unsupported type " + out.type;
        return;
    }
    const bool off = std::any_of(words.begin(), words.end(), [](const std::string& w) { return Upper(w) == "OFF"; });
    if (off) {
        out.problem = "switched off";
        return;
    }
    std::optional<double> hz = NumberAfter(words, {"FC"});
    const std::optional<double> gain = NumberAfter(words, {"GAIN"});
    if (hz) {
        const std::size_t fc = static_cast<std::size_t>(
            std::find_if(words.begin(), words.end(), [](const std::string& w) { return Upper(w) == "FC"; }) -
            words.begin());
        if (fc + 2 < words.size() && Upper(words[fc + 2]) == "KHZ") *hz *= 1000.0;
    }
    if (!hz || !std::isfinite(*hz) || *hz <= 0.0) {
        out.problem = "no frequency (Fc)";
        return;
    }
    if (!gain || !std::isfinite(*gain)) {
        out.problem = "no gain";
        return;
    }
    std::optional<double> q = NumberAfter(words, {"Q"});
    if (!q) {
        if (const std::optional<double> octaves = NumberAfter(words, {"BW", "OCT"}))
            q = *octaves > 0.0 ? std::optional(QFromOctaves(*octaves)) : std::optional(0.0);
    }
    if (!q && *kind != FilterKind::Peak) {
        // "LSC 6 dB": the slope follows the type.
        const std::optional<double> slope =
            typeAt + 1 < words.size() ? ReadDecimal(words[typeAt + 1]) : std::optional<double>{};
        q = ShelfQFromSlope(*gain, slope && *slope > 0.0 ? *slope : kDefaultShelfSlope);
    }
    if (!q) {
        out.problem = "no Q or bandwidth";
        return;
    }
    if (!std::isfinite(*q) || *q <= 0.0) {
        out.problem = "Q is not above 0";
        return;
    }
    out.filter = IdealFilter{*kind, *hz, *gain, *q};
}

}  // namespace

FilterFile ParseFilterFile(std::string_view text)
{
    FilterFile file;
    const std::vector<std::string_view> lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = TrimBlanks(lines[i]);
        const int number = static_cast<int>(i + 1);
        const std::vector<std::string> words = Words(line);
        if (!words.empty() && Upper(words[0]) == "PREAMP:") {
            const std::optional<double> db = words.size() > 1 ? ReadDecimal(words[1]) : std::nullopt;
            if (!db || !std::isfinite(*db)) throw TuningFileError(number, "the preamp is not a number of dB");
            file.preampDb = *db;
            file.preampLine = number;
            continue;
        }
        const bool hasFc =
            std::any_of(words.begin(), words.end(), [](const std::string& w) { return Upper(w) == "FC"; });
        if (!hasFc && !IsNumberedFilter(words)) continue;
        FileFilter filter;
        filter.line = number;
        filter.text = std::string(line);
        std::size_t typeAt = 0;
        filter.type = TypeOf(words, typeAt);
        if (filter.type == "NONE") continue;
        ReadFilter(filter, words, typeAt);
        file.filters.push_back(std::move(filter));
    }
    if (file.filters.empty() && !file.preampDb) throw TuningFileError(0, "no filter and no preamp in the file");
    return file;
}
