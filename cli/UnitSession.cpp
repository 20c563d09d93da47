#include "UnitSession.h"

#include "link/PortName.h"
#include "model/Model.h"

UnitSession::UnitSession(const std::string& portName)
{
    LoadDefaults(model_);
    OpenPort(portName);
    try {
        Connect();
    } catch (...) {
        Close();
        throw;
    }
}

UnitSession::~UnitSession() { Close(); }

void UnitSession::Close()
{
    if (model_.connected) DisconnectUnit(link_);
    link_.Close();
}

void UnitSession::OpenPort(const std::string& portName)
{
    link_.SetDevice(PortDevice(portName));
    if (!link_.Open()) throw PortOpenFailure(link_.Device());
}

void UnitSession::Connect()
{
    // The command line keeps no settings, so the firmware type has nowhere
    // to be written back to.
    RequireConnected(ConnectUnit(link_, [](std::uint8_t) {}));
}

std::string PortDevice(const std::string& portName)
{
    const std::optional<std::string> device = ResolvePortName(portName);
    if (!device) throw CliError(kExitBadInput, "Unknown port " + portName + ": name COMn or an absolute device path.");
    return *device;
}

CliError PortOpenFailure(const std::string& device)
{
    return CliError(kExitUnitFailed, "RS232 Connection failed.\n" + device + " cannot be opened.");
}

void RequireConnected(ConnectResult result)
{
    switch (result) {
        case ConnectResult::Connected:
            return;
        case ConnectResult::HandshakeFailed:
            throw CliError(kExitUnitFailed, "Connect fail!\nPlease check rs232 port setting.");
        case ConnectResult::CurrentReadFailed:
            throw CliError(kExitUnitFailed, "Read current value fail!.");
    }
}
