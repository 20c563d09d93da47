#include "unit/MemoryDirectory.h"

#include <cstring>

#include "link/Frame.h"
#include "model/Model.h"

std::string ListedName(const char* name16)
{
    char name[kNameChars + 1];
    std::memcpy(name, name16, kNameChars);
    name[kNameChars] = '\0';
    // Blanks at the end are padding; a name of only blanks keeps one.
    for (int i = kNameChars - 1; i >= 1 && (name[i] == ' ' || name[i] == '\0'); --i) name[i] = '\0';
    name[kMemNameMaxLength] = '\0';
    return name;
}

void SetMemoryEntry(ParameterModel& model, int slot, const char* name16, bool used)
{
    if (slot < 1 || slot > kMemorySlots) return;
    const std::string name = ListedName(name16);
    std::memset(model.memName[slot - 1], 0, kMemNameBuffer);
    std::memcpy(model.memName[slot - 1], name.data(), name.size());
    model.memUsed[slot - 1] = used ? 1 : 0;
}

void ApplyMemoryNameReply(ParameterModel& model, int slot, const std::uint8_t* reply18)
{
    SetMemoryEntry(model, slot, reinterpret_cast<const char*>(reply18 + 2), reply18[1] == 1);
}
