// The desktop program's model and its link to the unit.
//
// `model` is the setting the windows show and edit: the program's picture
// of the unit (current setting, memory directory, connection). Only the
// window thread touches it.
#pragma once

#include "link/Link.h"
#include "model/Model.h"

extern ParameterModel model;

// The program's one link, over `model`.
Link& UnitLink();

// Sends the message of the field the user has just edited (its payload read
// from `model`), and tells the windows (NotifyModelChanged). Nothing is sent
// while not connected.
void SendEdit(int parameterId);
