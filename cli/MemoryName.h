// The rule for a memory name typed by the person: what the unit can keep
// (the command line's store and the network remote's both check it).
#pragma once

#include <string>

// Throws CliError 2 with the reason unless the name has at most 10
// printable ASCII characters. Trailing blanks and the name given to a blank
// entry are the store operation's own business.
void CheckStoreName(const std::string& typed);
