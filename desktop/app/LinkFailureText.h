// The boxes the desktop program shows when the port or the handshake
// fails: the system's own first line, then the device and the reason in
// the core's words.
#pragma once

#include <QString>

class Link;
struct ConnectReport;

// "RS232 Connection failed.\n/dev/ttyS2: no such device (...).\n<hint>"
QString PortFailedText(const Link& link);
// "Connect fail!\nPlease check rs232 port setting.\n/dev/ttyUSB0: no answer
// to the attention byte: ..."; for a port that is not open, why it is not.
QString ConnectFailedText(const Link& link, const ConnectReport& report);
