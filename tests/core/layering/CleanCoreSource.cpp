// A core source as the core writes them: only core headers and the standard
// library. It must build where the layering probes must not.
#include "link/Frame.h"
#include "model/Model.h"

int CleanCoreSourceCompiles(ParameterModel& model)
{
    LoadDefaults(model);
    return model.connected;
}
