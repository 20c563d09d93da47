#include "app/ModelChanges.h"

ModelChanges& ModelChangeNotifier()
{
    static ModelChanges notifier;
    return notifier;
}

void NotifyModelChanged() { emit ModelChangeNotifier().changed(); }
