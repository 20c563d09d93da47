#include "UnitSession.h"

#include "CommandError.h"
#include "Trace.h"
#include "link/LineErrorText.h"
#include "link/PortName.h"
#include "model/Model.h"

UnitSession::UnitSession(const std::string& portName)
{
    LoadDefaults(model_);
    link_.SetTrafficObserver(SessionTraceObserver());
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
    if (!link_.Open()) throw PortOpenFailure(link_);
}

void UnitSession::Connect()
{
    // The command line keeps no settings, so the firmware type has nowhere
    // to be written back to.
    RequireConnected(link_, ConnectUnitWithReport(link_, [](std::uint8_t) {}));
}

std::string PortDevice(const std::string& portName)
{
    const std::optional<std::string> device = ResolvePortName(portName);
    if (!device) throw CommandError(kExitBadInput, "Unknown port " + portName + ": name COMn, an absolute device path, tcp://HOST:PORT or rfc2217://HOST:PORT.");
    return *device;
}

CommandError PortOpenFailure(const Link& link)
{
    return CommandError(kExitUnitFailed, "RS232 Connection failed.\n" + DescribeLineError(link.Device(), link.LastError()));
}

void RequireConnected(const Link& link, const ConnectReport& report)
{
    switch (report.result) {
        case ConnectResult::Connected:
            return;
        case ConnectResult::HandshakeFailed:
            throw CommandError(kExitUnitFailed, "Connect fail!\nPlease check rs232 port setting.\n" +
                                                DescribeConnectFailure(link.Device(), report));
        case ConnectResult::CurrentReadFailed:
            throw CommandError(kExitUnitFailed, "Read current value fail!.");
    }
}
