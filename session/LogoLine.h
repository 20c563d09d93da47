// The rule for a line of the unit's display logo, which the command line's
// `logo` and the remote's service function share.
#pragma once

#include <string>

// Throws CommandError 2 for a line longer than the display's 20 characters.
void CheckLogoLine(const std::string& line);
