#include "MemoryName.h"

#include <algorithm>

#include "CommandError.h"
#include "model/Model.h"

void CheckStoreName(const std::string& typed)
{
    if (typed.size() > static_cast<std::size_t>(kMemNameMaxLength))
        throw CommandError(kExitBadInput, "A memory name has at most 10 characters: " + typed);
    if (std::any_of(typed.begin(), typed.end(), [](char c) { return c < 0x20 || c > 0x7E; }))
        throw CommandError(kExitBadInput, "A memory name takes printable ASCII characters only.");
}

void CheckRecallable(const ParameterModel& directory, int slot)
{
    if (directory.memUsed[slot - 1] == 0)
        throw CommandError(kExitBadInput, "Memory " + std::to_string(slot) + " is empty: there is nothing to recall.");
}
