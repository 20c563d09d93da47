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

int OpenCurrentPort()
{
    UnitLink().SetDevice(DeviceForPort(currentPortNumber).toStdString());
    return UnitLink().Open() ? 1 : 0;
}
