// The program's picture of the unit's six memories: memUsed and memName of
// the model, updated after a store, and from the unit's name replies at
// connect and after a reset.
#pragma once

#include <cstdint>
#include <string>

struct ParameterModel;

// The name the program lists for the sixteen characters the unit holds:
// trailing blanks (and padding zeros) removed, though never the first
// character, then cut to ten characters.
std::string ListedName(const char* name16);

// Sets entry `slot` (1..6) to the ListedName of the sixteen characters.
// Slots outside 1..6 are ignored.
void SetMemoryEntry(ParameterModel& model, int slot, const char* name16, bool used);

// Applies an 18-byte read-name reply: byte 1 is the used flag (used exactly
// when it is 1), bytes 2..17 the name.
void ApplyMemoryNameReply(ParameterModel& model, int slot, const std::uint8_t* reply18);
