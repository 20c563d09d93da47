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
