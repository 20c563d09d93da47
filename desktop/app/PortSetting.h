// The COM port number in force and the device it stands for. A number
// resolves through QUENBAR_COM<n>, then the "Ports"/"COM<n>" setting, then
// the system's n-th serial device.
#pragma once

#include <QString>

inline constexpr int kFirstPortNumber = 1;
inline constexpr int kLastPortNumber = 10;

int CurrentPortNumber();
void SetCurrentPortNumber(int number);

// The device COMn opens, as things stand.
QString DeviceForPort(int number);

// Names the current port's device to the transport and opens it:
// non-zero on success.
int OpenCurrentPort();
// Opens the current port to learn whether it can be had, and lets it go
// again unless the unit is connected: non-zero on success.
int CheckCurrentPort();
