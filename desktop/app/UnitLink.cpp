#include "app/UnitLink.h"

#include "app/ModelChanges.h"
#include "unit/UnitCommands.h"

ParameterModel model{};

Link& UnitLink()
{
    static Link link(model);
    return link;
}

void SendEdit(int parameterId)
{
    SendParameter(UnitLink(), parameterId);
    NotifyModelChanged();
}
