// What the Measure and Tune windows show of a measurement at several
// microphone positions: the control for their number, and between two
// positions a box that does not block the window, saying what spoils the
// position just measured and where to take the microphone next, with the
// buttons for the next position, for measuring the last one again, and
// Cancel. Before a tuning's verifying round (after 0 positions) the
// person goes back to the first, and the box offers only that and Cancel.
#pragma once

#include <QString>

#include <functional>

#include "measure/SoundRun.h"

class QMessageBox;
class QSpinBox;
class QWidget;

// The number of positions, its range and default the settings' own.
QSpinBox* MakePositionsBox(QWidget* parent);

// The line the window's status says while the person is awaited.
QString WaitingText(const PositionShown& pause);

// Opens the box over `parent`; `answered` gets the person's choice once a
// button is pressed (the box then closes and deletes itself).
QMessageBox* OpenPositionBox(QWidget* parent, const PositionShown& pause,
                             std::function<void(PositionChoice)> answered);
