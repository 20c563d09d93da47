#include "dialogs/TypedValues.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

// Relative allowance for the rounding error of one multiplication of a
// typed decimal by a scale factor.
constexpr double kDecimalSlack = 1e-9;

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

struct Cursor {
    std::string_view text;
    std::size_t at = 0;

    bool AtDigit() const { return at < text.size() && IsDigit(text[at]); }
    bool Take(char c)
    {
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    void SkipBlanks()
    {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    }
    // Appends the digits at the cursor to `value`; returns how many there were.
    int Digits(double& value)
    {
        int count = 0;
        for (; AtDigit(); ++at, ++count) value = value * 10.0 + (text[at] - '0');
        return count;
    }
};

double Sign(Cursor& cursor)
{
    if (cursor.Take('-')) return -1.0;
    cursor.Take('+');
    return 1.0;
}

double ClampToRange(double value, int lo, int hi)
{
    if (std::isnan(value)) return 0.0 < lo ? lo : (0.0 > hi ? hi : 0.0);
    return std::clamp(value, double(lo), double(hi));
}

}  // namespace

double LeadingNumber(std::string_view text)
{
    Cursor cursor{text};
    cursor.SkipBlanks();
    const double sign = Sign(cursor);
    double mantissa = 0.0;
    int digits = cursor.Digits(mantissa);
    int fractionDigits = 0;
    if (cursor.Take('.')) {
        fractionDigits = cursor.Digits(mantissa);
        digits += fractionDigits;
    }
    if (digits == 0 || mantissa == 0.0) return 0.0;
    int exponent = -fractionDigits;
    const std::size_t beforeExponent = cursor.at;
    if (cursor.Take('e') || cursor.Take('E')) {
        const double exponentSign = Sign(cursor);
        double exponentDigits = 0.0;
        if (cursor.Digits(exponentDigits) > 0)
            exponent += static_cast<int>(exponentSign * std::min(exponentDigits, 1000.0));
        else
            cursor.at = beforeExponent;
    }
    // Scale by a power of ten in one step so that "0.3" is the double 0.3.
    const double value = exponent < 0 ? mantissa / std::pow(10.0, -exponent) : mantissa * std::pow(10.0, exponent);
    return sign * value;
}

double LeadingInteger(std::string_view text)
{
    Cursor cursor{text};
    cursor.SkipBlanks();
    const double sign = Sign(cursor);
    double value = 0.0;
    cursor.Digits(value);
    return sign * value;
}

double TypedFrequencyHz(std::string_view text)
{
    const double hz = LeadingNumber(text);
    const bool kilo = text.size() > 1 && text.substr(1).find_first_of("kK") != std::string_view::npos;
    return kilo ? hz * 1000.0 : hz;
}

int TruncateClamped(double value, int lo, int hi)
{
    const double nudged = value + std::copysign(kDecimalSlack * std::max(1.0, std::fabs(value)), value);
    return static_cast<int>(ClampToRange(std::trunc(nudged), lo, hi));
}

int CeilClamped(double value, int lo, int hi)
{
    const double nudged = value - kDecimalSlack * std::max(1.0, std::fabs(value));
    return static_cast<int>(ClampToRange(std::ceil(nudged), lo, hi));
}
