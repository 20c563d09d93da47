// Turns the port a user names into the device the transport opens.
#pragma once

#include <optional>
#include <string>

inline constexpr int kMaxComNumber = 256;  // Windows numbers its ports COM1 to COM256

// "QUENBAR_COM3" for COM3.
std::string ComVariableName(int comNumber);
// The device the variable QUENBAR_COM<n> names, when it is set and not empty.
std::optional<std::string> DeviceFromComVariable(int comNumber);

// The device for port COMn: the environment variable QUENBAR_COM<n>, else
// the configured path (the settings entry "Ports"/"COM<n>", read by the
// desktop program), else /dev/ttyS<n-1> (\\.\COM<n> on Windows).
std::string ResolveComDevice(int comNumber, const std::string& configuredPath = {});

// "COMn" (any case, n up to 256) resolves as above; an absolute device path
// (on Windows a \\.\ name) and a network line ("tcp://HOST:PORT",
// "rfc2217://HOST:PORT") stay as they are. Anything else gives no device.
std::optional<std::string> ResolvePortName(const std::string& name);
