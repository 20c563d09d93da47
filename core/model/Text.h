// Text helpers shared by the readers of typed values and of files.
#pragma once

#include <string_view>

// Leading and trailing blanks (spaces, tabs, line ends) off.
std::string_view TrimBlanks(std::string_view text);
