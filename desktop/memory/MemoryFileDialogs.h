// "Save File" and "Open File" of the memory dialog: all six unit memories to
// and from a memory file, with the file dialogs, the unit exchanges run off
// the GUI thread (UnitTasks.h: progress by slot, Cancel) and the result boxes.
// The same two moves serve the open document's bytes (File > Send Document to
// Unit, Read Unit into Document). While another operation runs on the unit,
// none starts.
#pragma once

#include <QByteArray>
#include <QFileDialog>
#include <QString>

#include <functional>

#include "unit/UnitOperations.h"

class QSaveFile;
class QWidget;

// Asks for a memory file's name, to open (an existing file) or to save
// (".cmf" added to a name without an extension, an existing file replaced
// only when confirmed). Empty when the person cancelled.
QString AskFileName(QWidget* owner, QFileDialog::AcceptMode mode);

// Writes the bytes into the file opened for writing and commits it: true
// only when all of it reached the disk.
bool WriteAndCommit(QSaveFile& file, const MemoryFileImage& bytes);

// Asks for a file name (".cmf" added to a name without an extension, an
// existing file replaced only when confirmed) and saves to it.
void SaveMemoryFile(QWidget* owner);

// "File format error!", then the file and why its bytes are not a memory
// file ("500 of 704 bytes", "no header").
void ShowFormatError(QWidget* owner, const QString& path, const QByteArray& bytes);

// Asks (No by default) before the used memories of a memory file are stored
// into the unit, naming the unit's used memories they replace; `source`
// names where they come from ("file", "document"). Bytes that hold no
// memory in use are said to send nothing, and false is returned.
bool ConfirmStoringMemories(QWidget* owner, const QByteArray& bytes, const QString& source);

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

// The unit side of a memory file without the file: stores the used records
// of these bytes into the unit as LoadMemoryFileFrom does.
void StoreMemoriesFrom(const QByteArray& bytes, QWidget* owner, const std::function<void()>& afterStores = {},
                       const std::function<void(LoadFileResult)>& finished = {});

// Reads every memory from the unit as SaveMemoryFileTo does, and hands the
// file's bytes to `take` once all of it is read; a memory that could not be
// read is named in an error box, and a Cancel ends it quietly.
void ReadMemoriesInto(QWidget* owner, const std::function<void(const MemoryFileImage&)>& take);
