#include "link/LineErrorText.h"

namespace {

const char* LineFailureReason(LineFailure failure)
{
    switch (failure) {
        case LineFailure::None:
            return "no failure";
        case LineFailure::NoSuchDevice:
            return "no such device";
        case LineFailure::PermissionDenied:
            return "no permission to open it";
        case LineFailure::Busy:
            return "held by another program";
        case LineFailure::NotSerial:
            return "not a serial device";
        case LineFailure::SettingsRefused:
            return "the device refused the line settings (57600 baud, 8 data bits, no parity, 1 stop bit)";
        case LineFailure::NameNotResolved:
            return "the host name could not be resolved";
        case LineFailure::ConnectionRefused:
            return "the server refused the connection: nothing listens on that port";
        case LineFailure::TimedOut:
            return "no answer from the server in time";
        case LineFailure::ServerRefusedSettings:
            return "the server refused the line settings (57600 baud, 8 data bits, no parity, 1 stop bit, no flow "
                   "control)";
        case LineFailure::ConnectionDropped:
            return "the server closed the connection";
        case LineFailure::Other:
            break;
    }
    return "cannot be opened";
}

}  // namespace

std::string DescribeLineFailure(const LineError& error, const std::string& hintSeparator)
{
    std::string text = LineFailureReason(error.failure);
    if (!error.systemText.empty()) text += " (" + error.systemText + ")";
    text += ".";
    if (!error.hint.empty()) text += hintSeparator + error.hint;
    return text;
}

std::string DescribeLineError(const std::string& device, const LineError& error)
{
    return device + ": " + DescribeLineFailure(error);
}
