// The program's per-user settings store: section "Settings" (port and
// firmware type), "Ports" (the device each COM number stands for) and
// "LOGO" (the logo lines last sent).
#pragma once

#include <QSettings>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

inline constexpr int kDefaultPortNumber = 1;

// The store under the program's organisation and application name.
std::unique_ptr<QSettings> ProgramSettings();

// "Settings"/"RS232Port", default 1.
int StoredPortNumber();
// Writes "Settings"/"RS232Port" and the text "Settings"/"RS232PortString" ("COM%d").
void StorePortNumber(int number);

// Reads "Settings"/"3CHANProcessFirmTypeV123" (default 0) as one byte and
// writes that byte back, so the entry exists after the first run.
std::uint8_t LoadAndRewriteFirmType();
void StoreFirmType(std::uint8_t type);

// "Ports"/"COM<n>": the device path the user gave for COMn, empty if none.
QString StoredPortDevice(int number);
void StorePortDevice(int number, const QString& device);
void RemovePortDevice(int number);

// "LOGO"/"str1" and "LOGO"/"str2".
void StoreLogoLines(const std::array<std::string, 2>& lines);
