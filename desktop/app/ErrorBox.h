// The program's modal failure report: caption "Error", the error icon, OK.
#pragma once

#include <QString>

class QWidget;

void ShowErrorBox(QWidget* owner, const QString& text);
