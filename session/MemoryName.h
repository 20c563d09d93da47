// The rules for what the person asks of a memory: a name the unit can keep,
// and a recall only of a used memory (the command line and the network
// remote both check them).
#pragma once

#include <string>

struct ParameterModel;

// Throws CommandError 2 with the reason unless the name has at most 10
// printable ASCII characters. Trailing blanks and the name given to a blank
// entry are the store operation's own business.
void CheckStoreName(const std::string& typed);

// Throws CommandError 2 unless memory `slot` (1..6) is used in the directory:
// an empty memory holds nothing anybody stored.
void CheckRecallable(const ParameterModel& directory, int slot);
