// One serial device, as the link needs it: open and configure it, read
// what has arrived without blocking, write, and let the receive thread sleep
// until input arrives or another thread wakes it.
//
// The POSIX backend (SerialLinePosix.cpp) serves termios devices and
// pseudo-terminals, the Windows one (SerialLineWin32.cpp) COM ports, and the
// network one (NetworkSerialLine.cpp) serial servers on the network;
// MakeSerialLine gives a line that takes the backend its device needs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Why a line could not be opened or set up.
enum class LineFailure {
    None,
    NoSuchDevice,      // the device does not exist
    PermissionDenied,  // the user may not open it
    Busy,              // another program holds it
    NotSerial,         // it exists but is no serial device
    SettingsRefused,   // the device refused 57600 8N1 raw
    // A serial line behind a network serial server:
    NameNotResolved,        // the server's host name is not known
    ConnectionRefused,      // nothing listens on the server's port
    TimedOut,               // the server did not answer in time
    ServerRefusedSettings,  // the server answered the line settings with others
    ConnectionDropped,      // the server closed the connection while it was set up
    Other,
};

struct LineError {
    LineFailure failure = LineFailure::None;
    std::string systemText;  // the system's own words for the error, if any
    std::string hint;        // what the person can do about it, if known
};

struct LineSettings {
    std::uint32_t baudRate = 57600;
    std::uint8_t dataBits = 8;
    std::uint8_t parity = 0;       // none
    std::uint8_t stopBits = 0;     // one stop bit
    std::uint8_t flowControl = 0;  // bit 0 DSR/DTR, bit 1 CTS/RTS, bit 2 XON/XOFF; always 0 here
};

class SerialLine {
public:
    enum class Event { Input, Woken, Gone };

    virtual ~SerialLine() = default;

    // Opens the device for exclusive, non-blocking reading and writing.
    // False when it cannot; LastError says why.
    virtual bool Open(const std::string& device) = 0;
    // Applies the line settings in raw mode; false (LastError says why) when
    // the device refuses them.
    virtual bool Configure(const LineSettings& settings) = 0;
    // Why the last Open or Configure failed.
    virtual const LineError& LastError() const = 0;
    // Raises or drops DTR where the device has modem lines (best effort):
    // false when the driver refuses, which the link notes and goes on.
    virtual bool SetDtr(bool raised) = 0;
    // Discards whatever is queued in either direction.
    virtual void Purge() = 0;
    virtual void Close() = 0;

    // Up to maxBytes of what has arrived; 0 when nothing has. Never blocks.
    virtual int ReadQueued(std::uint8_t* destination, int maxBytes) = 0;
    // Hands the bytes to the driver. Errors are not reported: the unit's
    // missing answer shows up as a time-out.
    virtual void Write(const std::uint8_t* bytes, int count) = 0;

    // Sleeps until input is waiting, Wake is called, or the device goes away
    // (hang-up, read error). Once gone, the line only waits for Wake.
    virtual Event WaitForEvent() = 0;
    // Ends a WaitForEvent on another thread at once. Safe from any thread.
    virtual void Wake() = 0;
    // True once the device went away (hang-up, read error), until it is opened again.
    virtual bool Gone() const = 0;
};

// A line whose Open takes the backend its device needs: the network line
// for "tcp://" and "rfc2217://" addresses, else the local one.
std::unique_ptr<SerialLine> MakeSerialLine();
// The serial devices of the platform the program is built for.
std::unique_ptr<SerialLine> MakeLocalSerialLine();
// A serial line behind a network serial server (NetworkAddress.h).
std::unique_ptr<SerialLine> MakeNetworkSerialLine();
