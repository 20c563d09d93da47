#include "app/LinkFailureText.h"

#include "app/Messages.h"
#include "link/LineErrorText.h"
#include "link/Link.h"
#include "unit/UnitOperations.h"

QString PortFailedText(const Link& link)
{
    return QString::fromLatin1(kPortFailedLine) + QLatin1Char('\n') +
           QString::fromStdString(DescribeLineError(link.Device(), link.LastError()));
}

QString ConnectFailedText(const Link& link, const ConnectReport& report)
{
    std::string reason = DescribeConnectFailure(link.Device(), report);
    if (!link.IsOpen())
        reason = link.LastError().failure == LineFailure::None ? link.Device() + ": the port is not open."
                                                               : DescribeLineError(link.Device(), link.LastError());
    return QString::fromLatin1(kConnectFailedText) + QLatin1Char('\n') + QString::fromStdString(reason);
}
