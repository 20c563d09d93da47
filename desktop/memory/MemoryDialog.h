// The memory dialog, bound to the main view's "&Memory" command.
#pragma once

class MemoryPlace;
class QWidget;

// Runs CDlgMemory modally on the memories of `place`.
void ShowMemoryDialog(QWidget* owner, MemoryPlace& place);
