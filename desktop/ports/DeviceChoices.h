// The devices the RS232 dialog offers: what the system lists, the stable
// /dev/serial/by-id names first (they survive replugging), each labelled
// with the strings the adapter reports.
#pragma once

#include <QList>
#include <QString>
#include <vector>

#include "link/PortDiscovery.h"

struct DeviceChoice {
    QString device;  // what goes into the field
    QString label;   // what the list shows: the device and, if known, the adapter
};

QList<DeviceChoice> DeviceChoices(const std::vector<SerialPortInfo>& ports);
