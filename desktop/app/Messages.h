// The failure texts the desktop program shows.
#pragma once

inline constexpr char kAlreadyRunningText[] = "Application is running!";
inline constexpr char kPortFailedLine[] = "RS232 Connection failed.";  // then the device and the reason
inline constexpr char kConnectFailedText[] = "Connect fail!\nPlease check rs232 port setting.";
inline constexpr char kReadCurrentFailedText[] = "Read current value fail!.";
