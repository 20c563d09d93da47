// A QR code drawn with block characters, for a phone to read off the terminal.
#pragma once

#include <string>

// The code of `text` as lines of text (two module rows per line, light
// modules as blocks, with a quiet zone); empty when it cannot be encoded or
// the build has no QR encoder.
std::string TerminalQr(const std::string& text);
