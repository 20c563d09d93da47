#include "app/PortSetting.h"

#include <QDir>

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

QStringList SystemSerialDevices()
{
    QStringList devices;
    const QDir dev(QStringLiteral("/dev"));
    for (const QString& name :
         dev.entryList({QStringLiteral("ttyS*"), QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")},
                       QDir::System | QDir::Files, QDir::Name))
        devices << dev.filePath(name);
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QString& name : byId.entryList(QDir::System | QDir::Files, QDir::Name)) devices << byId.filePath(name);
    return devices;
}
