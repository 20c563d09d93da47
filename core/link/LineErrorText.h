// The person's words for a port that could not be had: which device, why,
// and what to do about it. The desktop program and the command line both
// show this text below their own first line.
#pragma once

#include <string>

#include "link/SerialLine.h"

// "/dev/ttyUSB0: no permission to open it (Permission denied)." and, when
// the line knows one, the hint on a line of its own.
std::string DescribeLineError(const std::string& device, const LineError& error);

// The same without the device; `hintSeparator` goes before the hint.
std::string DescribeLineFailure(const LineError& error, const std::string& hintSeparator = "\n");
