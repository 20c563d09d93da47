#include "ports/DeviceChoices.h"

#include <QStringList>

namespace {

// "FTDI FT232R USB UART", else the driver; empty when nothing is known.
QString AdapterText(const SerialPortInfo& port)
{
    QStringList words;
    for (const std::string* text : {&port.manufacturer, &port.product})
        if (!text->empty()) words << QString::fromStdString(*text);
    if (words.isEmpty() && !port.driver.empty()) words << QString::fromStdString(port.driver);
    return words.join(QLatin1Char(' '));
}

DeviceChoice Choice(const std::string& device, const SerialPortInfo& port)
{
    const QString path = QString::fromStdString(device);
    const QString adapter = AdapterText(port);
    return {path, adapter.isEmpty() ? path : path + QStringLiteral("   (") + adapter + QLatin1Char(')')};
}

}  // namespace

QList<DeviceChoice> DeviceChoices(const std::vector<SerialPortInfo>& ports)
{
    QList<DeviceChoice> choices;
    for (const SerialPortInfo& port : ports)
        if (!port.stableName.empty()) choices << Choice(port.stableName, port);
    for (const SerialPortInfo& port : ports) choices << Choice(port.device, port);
    return choices;
}
