// A memory file as the JSON document people read and edit, and back: the
// same document quenbar-cli export and import write and read
// (memfile/MemoryFileJson.h). File to file, without the unit. Each file is
// written whole or not at all (QSaveFile), so a failure leaves an existing
// file as it was.
#pragma once

#include <QString>

class QWidget;

// Asks for a memory file, then for the JSON file to write, and exports.
void ExportMemoryFileAsJson(QWidget* owner);
// Asks for a JSON document, then for the memory file to write, and imports.
void ImportMemoryFileFromJson(QWidget* owner);

// Writes the document of the memory file at filePath to jsonPath. False
// after an error box: the file cannot be read, fails the format check
// ("File format error!"), or the document cannot be written.
bool ExportMemoryFileJson(const QString& filePath, const QString& jsonPath, QWidget* owner);
// Writes the memory file the document at jsonPath describes to filePath.
// A bad document writes nothing: the error box names the document, the
// JSON path of the first thing wrong and why.
bool ImportMemoryFileJson(const QString& jsonPath, const QString& filePath, QWidget* owner);
