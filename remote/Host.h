// What the remote asks of the machine it runs on, for POSIX systems and
// Windows alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The machine's IPv4 addresses that are up, other than loopback: where a
// server bound to every address can be reached from the network.
std::vector<std::string> NetworkAddresses();

// Fills `bytes` from the system's cryptographic random source; throws
// std::runtime_error when it gives none.
void SystemRandomBytes(unsigned char* bytes, std::size_t count);

// The folder where the program keeps what it remembers for this user between
// runs: $XDG_STATE_HOME/quenbar (else ~/.local/state/quenbar), or
// %LOCALAPPDATA%\Quenbar on Windows; empty when none is known.
std::string StateFolder();

// Starts the user's default browser on `url` (xdg-open, or the Windows
// shell) and does not wait for it; false when none could be started. A
// browser that fails after starting goes unnoticed: callers also print the
// address.
bool OpenInBrowser(const std::string& url);

// Marks a socket (a POSIX descriptor or a Windows SOCKET) so that no program
// the server starts inherits it: a browser that outlives the server would
// otherwise keep its port taken and the next server could not listen.
void KeepFromChildProcesses(std::intptr_t socket);
