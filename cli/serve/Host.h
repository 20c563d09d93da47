// What the remote asks of the machine it runs on, for POSIX systems and
// Windows alike.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The machine's IPv4 addresses that are up, other than loopback: where a
// server bound to every address can be reached from the network.
std::vector<std::string> NetworkAddresses();

// Fills `bytes` from the system's cryptographic random source; throws
// std::runtime_error when it gives none.
void SystemRandomBytes(unsigned char* bytes, std::size_t count);
