// Text across the Windows API boundary: the core speaks UTF-8, the system's
// wide-character calls speak UTF-16.
#pragma once

#include <string>

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const wchar_t* text);

// The system's own words for a GetLastError code, without the line break it ends with.
std::string SystemErrorText(unsigned long error);
