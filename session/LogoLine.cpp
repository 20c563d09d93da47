#include "LogoLine.h"

#include "CommandError.h"
#include "model/Model.h"

void CheckLogoLine(const std::string& line)
{
    if (line.size() > static_cast<std::size_t>(kLogoLineLength))
        throw CommandError(kExitBadInput, "A logo line has at most 20 characters: " + line);
}
