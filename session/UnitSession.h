// One conversation with the unit: a link of its own, the port opened, the
// connect sequence run (handshake, memory names, current setting into the
// session's model), and on leaving scope the disconnect and the port closed
// again.
#pragma once

#include <string>

#include "CommandError.h"
#include "link/Link.h"
#include "model/Model.h"
#include "unit/UnitOperations.h"

class UnitSession {
public:
    // Opens the named port (COMn or a device path) and connects. Throws
    // CommandError: 2 for a port name that names no device, 3 when the port
    // cannot be opened or the unit does not answer.
    explicit UnitSession(const std::string& portName);
    ~UnitSession();

    UnitSession(const UnitSession&) = delete;
    UnitSession& operator=(const UnitSession&) = delete;

    Link& link() { return link_; }
    ParameterModel& model() { return model_; }

private:
    void OpenPort(const std::string& portName);
    void Connect();
    void Close();

    ParameterModel model_{};
    Link link_{model_};
};

// The device a port name (COMn or a device path) stands for; CommandError 2
// when it names none.
std::string PortDevice(const std::string& portName);

// Why the link's device could not be opened, as CommandError 3.
CommandError PortOpenFailure(const Link& link);

// Throws CommandError 3 with the reason unless the connect sequence connected.
void RequireConnected(const Link& link, const ConnectReport& report);
