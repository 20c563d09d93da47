// The memory dialog, bound to the main view's "&Memory" command.
#pragma once

class QWidget;

// Runs CDlgMemory modally.
void ShowMemoryDialog(QWidget* owner = nullptr);
