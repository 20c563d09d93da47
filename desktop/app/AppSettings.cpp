#include "app/AppSettings.h"

#include "app/Identity.h"

namespace {

const QString kPortEntry = QStringLiteral("Settings/RS232Port");
const QString kPortTextEntry = QStringLiteral("Settings/RS232PortString");
const QString kFirmTypeEntry = QStringLiteral("Settings/3CHANProcessFirmTypeV123");

QString PortDeviceEntry(int number) { return QStringLiteral("Ports/COM%1").arg(number); }

}  // namespace

std::unique_ptr<QSettings> ProgramSettings()
{
    return std::make_unique<QSettings>(QString::fromLatin1(kSettingsOrganisation),
                                       QString::fromLatin1(kApplicationName));
}

int StoredPortNumber() { return ProgramSettings()->value(kPortEntry, kDefaultPortNumber).toInt(); }

void StorePortNumber(int number)
{
    auto settings = ProgramSettings();
    settings->setValue(kPortEntry, number);
    settings->setValue(kPortTextEntry, QStringLiteral("COM%1").arg(number));
}

std::uint8_t LoadAndRewriteFirmType()
{
    const auto type = static_cast<std::uint8_t>(ProgramSettings()->value(kFirmTypeEntry, 0).toInt());
    StoreFirmType(type);
    return type;
}

void StoreFirmType(std::uint8_t type) { ProgramSettings()->setValue(kFirmTypeEntry, int{type}); }

QString StoredPortDevice(int number) { return ProgramSettings()->value(PortDeviceEntry(number)).toString(); }

void StorePortDevice(int number, const QString& device)
{
    ProgramSettings()->setValue(PortDeviceEntry(number), device);
}

void RemovePortDevice(int number) { ProgramSettings()->remove(PortDeviceEntry(number)); }

void StoreLogoLines(const std::array<std::string, 2>& lines)
{
    auto settings = ProgramSettings();
    settings->setValue(QStringLiteral("LOGO/str1"), QString::fromStdString(lines[0]));
    settings->setValue(QStringLiteral("LOGO/str2"), QString::fromStdString(lines[1]));
}
