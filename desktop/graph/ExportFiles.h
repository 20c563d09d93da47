// Files the desktop program writes for people rather than for the unit: the
// file dialog that names them, and the settings report of the current
// setting.
#pragma once

#include <QString>

class QWidget;

// Asks for the name of a file to write, of the kind `filter` names; a name
// without an extension gets `suffix`, and an existing file is replaced only
// when confirmed. Empty when cancelled.
QString AskExportFileName(QWidget* owner, const QString& caption, const QString& filter, const QString& suffix);

// The error box for a file that could not be written.
void ShowExportFailed(QWidget* owner, const QString& path);

// Writes the settings report of the current setting to path. False when
// the file cannot be written.
bool SaveSettingsReportTo(const QString& path);

// Asks for a PDF file name and writes the report there.
void SaveSettingsReport(QWidget* owner);
