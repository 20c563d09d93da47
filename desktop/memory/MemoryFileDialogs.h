// "Save File" and "Open File" of the memory dialog: all six unit memories to
// and from a memory file, with the file dialogs, the unit exchanges run off
// the GUI thread (UnitTasks.h: progress by slot, Cancel) and the result boxes.
// While another operation runs on the unit, neither starts.
#pragma once

#include <QString>

#include <functional>

#include "unit/UnitOperations.h"

class QWidget;

// Asks for a file name (".cmf" added to a name without an extension, an
// existing file replaced only when confirmed) and saves to it.
void SaveMemoryFile(QWidget* owner);

// Asks for an existing file and loads it. afterStores runs once the stores
// are over, before the outcome is shown, so the list behind the box is
// already up to date.
void LoadMemoryFile(QWidget* owner, const std::function<void()>& afterStores = {});

// Reads every memory from the unit and writes the file at path. The file is
// replaced only once all of it is written and flushed; any failure shows an
// error box, and a failure or a Cancel leaves a previous file as it was.
// `finished` runs at the end (the boxes closed) with whether it was saved.
void SaveMemoryFileTo(const QString& path, QWidget* owner, const std::function<void(bool saved)>& finished = {});

// Reads the file at path and stores its used records into the unit, runs
// afterStores, then shows the outcome (a Cancel names the memories already
// stored); `finished` runs at the end with the result.
void LoadMemoryFileFrom(const QString& path, QWidget* owner, const std::function<void()>& afterStores = {},
                        const std::function<void(LoadFileResult)>& finished = {});
