// What the tuning files share: the error that names the line at fault, and
// the reading of numbers as measurement and filter programs write them.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A file that cannot be used, with the line at fault (0: the file as a whole).
class TuningFileError : public std::runtime_error {
public:
    TuningFileError(int line, const std::string& reason);
    int Line() const { return line_; }

private:
    int line_;
};

// A number with a decimal point or a decimal comma and an optional sign
// ("-3,5", "+1.2e3"); empty when the whole text is not one. NaN and
// infinities are numbers here: the callers say why they refuse them.
std::optional<double> ReadDecimal(std::string_view text);

// The file's lines without their line ends (LF, CRLF or CR).
std::vector<std::string_view> SplitLines(std::string_view text);
