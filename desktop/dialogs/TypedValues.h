// Reading numbers that the user typed into an edit box. Input is never
// refused: text without a number counts as 0, and every result is clamped
// into the caller's range without overflowing on the way.
#pragma once

#include <string_view>

// The longest leading decimal number (blanks, sign, digits, point, digits,
// exponent), or 0 when the text does not start with one.
double LeadingNumber(std::string_view text);

// The leading whole number (blanks, sign, digits), or 0; digits beyond the
// range of a double do not wrap around.
double LeadingInteger(std::string_view text);

// A typed frequency in hertz: the leading number, times 1000 when the text
// holds "k" or "K" anywhere after its first character ("1k" = 1000, "k5" = 0).
double TypedFrequencyHz(std::string_view text);

// value cut toward zero, clamped into lo..hi. Products of typed decimals
// such as 2.3 x 10 = 22.999999999999996 are read as the whole number the
// user meant, not one below it.
int TruncateClamped(double value, int lo, int hi);

// The smallest whole number not below value, clamped into lo..hi, with the
// same allowance for binary fractions (0.3 x 10 is 3, not 4).
int CeilClamped(double value, int lo, int hi);
