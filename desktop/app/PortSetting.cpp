#include "app/PortSetting.h"

#include "app/AppSettings.h"
#include "app/UnitLink.h"
#include "link/PortName.h"

namespace {

int currentPortNumber = kDefaultPortNumber;

}  // namespace

int CurrentPortNumber() { return currentPortNumber; }

void SetCurrentPortNumber(int number) { currentPortNumber = number; }

QString DeviceForPort(int number)
{
    return QString::fromStdString(ResolveComDevice(number, StoredPortDevice(number).toStdString()));
}

int OpenCurrentPort() { return OpenUnitPort(DeviceForPort(currentPortNumber).toStdString()) ? 1 : 0; }

int CheckCurrentPort() { return TryUnitPort(DeviceForPort(currentPortNumber).toStdString()) ? 1 : 0; }
