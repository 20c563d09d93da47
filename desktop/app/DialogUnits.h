// Dialog layouts are given in dialog units. One horizontal unit is a quarter
// of the dialog font's average character width, one vertical unit an eighth
// of its character height, so a form keeps its proportions at any font or
// screen scale. Every form of the program lays itself out through here.
#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>

// The font every form is laid out and drawn with.
QFont DialogFont();

// Dialog units to pixels for the given font (default: DialogFont()).
QRect DialogUnitsToPixels(int x, int y, int w, int h, const QFont& font = DialogFont());
QSize DialogUnitsToPixels(int w, int h, const QFont& font = DialogFont());

// Places a child at a rectangle given in dialog units.
void PlaceInDialogUnits(QWidget* child, int x, int y, int w, int h);
