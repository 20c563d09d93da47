// "Find unit": the probe of the given devices (see unit/UnitProbe.h), with a
// progress dialog while it runs. The probe runs on threads of its own; the
// window thread keeps painting and counts the devices done.
#pragma once

#include <string>
#include <vector>

#include "unit/UnitProbe.h"

class QWidget;

std::vector<ProbeResult> ProbeWithProgress(QWidget* parent, const std::vector<std::string>& devices);
