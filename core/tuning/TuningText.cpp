#include "tuning/TuningText.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

TuningFileError::TuningFileError(int line, const std::string& reason)
    : std::runtime_error(line > 0 ? "line " + std::to_string(line) + ": " + reason : reason), line_(line)
{
}

std::optional<double> ReadDecimal(std::string_view text)
{
    std::string number(text);
    if (!number.empty() && number.front() == '+') number.erase(0, 1);
    for (char& c : number)
        if (c == ',') c = '.';
    const std::string lower = [&] {
        std::string l;
        for (const char c : number) l += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return l;
    }();
    // from_chars reads "nan" and "inf" in any case; a leading "-" is its own.
    double value = 0.0;
    const auto [end, error] = std::from_chars(lower.data(), lower.data() + lower.size(), value);
    if (lower.empty() || end != lower.data() + lower.size()) return std::nullopt;
    if (error == std::errc::result_out_of_range) return std::numeric_limits<double>::infinity();
    if (error != std::errc{}) return std::nullopt;
    return value;
}

std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}
