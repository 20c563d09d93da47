// Building the channel forms: controls placed in dialog units, plain labels
// and frames, and the model's texts shown in Qt strings.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

#include <string>

#include "app/DialogUnits.h"

// Places a new control at a rectangle in dialog units and hands it back.
template <typename Control>
Control* Place(Control* control, int x, int y, int w, int h)
{
    PlaceInDialogUnits(control, x, y, w, h);
    return control;
}

QLabel* AddLabel(QWidget* form, const char* text, int x, int y, int w, int h, Qt::Alignment alignment = Qt::AlignLeft);

// A group frame (with an optional title) behind the controls it holds.
void AddFrame(QWidget* form, const char* title, int x, int y, int w, int h);

inline QString ToQString(const std::string& text) { return QString::fromStdString(text); }
