// The files the response window's tuning row reads: chosen in an open
// dialog, and read whole as text.
#pragma once

#include <QString>

#include <optional>
#include <string>

class QWidget;

// The chosen file's path; empty when the dialog is cancelled.
QString AskOpenFileName(QWidget* owner, const QString& caption, const QString& filter);

// The whole file; empty with a box when it cannot be read.
std::optional<std::string> ReadTextFile(QWidget* owner, const QString& path);
