#include "memory/MemoryDialog.h"

#include "memory/DlgMemory.h"

void ShowMemoryDialog(QWidget* owner, MemoryPlace& place)
{
    CDlgMemory dialog(place, owner);
    dialog.exec();
}
