// The failure texts the desktop program shows.
#pragma once

inline constexpr char kAlreadyRunningText[] = "Application is running!";
inline constexpr char kPortFailedText[] = "RS232 Connection failed.\nPlease select another port.";
inline constexpr char kConnectFailedText[] = "Connect fail!\nPlease check rs232 port setting.";
inline constexpr char kReadCurrentFailedText[] = "Read current value fail!.";
