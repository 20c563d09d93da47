#include "memory/MemoryDialog.h"

#include "memory/DlgMemory.h"

void ShowMemoryDialog(QWidget* owner)
{
    CDlgMemory dialog(owner);
    dialog.exec();
}
