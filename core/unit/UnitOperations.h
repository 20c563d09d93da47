// What the program does with the unit, free of any window: each operation
// runs its exchanges and returns a result that the caller turns into the
// system's own message.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "memfile/MemoryFile.h"

// The firmware index of a stored firmware type: types 0..9 give 0..9,
// 10..14 give 0; types beyond the table give -1. Only index 0 is supported.
int FirmwareIndex(std::uint8_t firmType);

enum class ConnectResult {
    Connected,          // handshake, directory and current setting read
    HandshakeFailed,    // "Connect fail!..." — still disconnected
    CurrentReadFailed,  // "Read current value fail!." — connected all the same
};

// The connect sequence: handshake, the stored firmware type checked (an
// unsupported one becomes 0 and the model gets its defaults), the six memory
// names, the current setting into the model. A name that cannot be read
// keeps that slot's previous entry. storeFirmType writes the firmware type
// back to the settings; it is called as the sequence requires.
// While connected, acts as DisconnectUnit and returns HandshakeFailed.
ConnectResult ConnectUnit(const std::function<void(std::uint8_t)>& storeFirmType);

// Sends the disconnect and clears `connected`.
void DisconnectUnit();

// Reads the six memory names into memUsed/memName (failed reads keep the entry).
void ReadMemoryDirectory();

// Reads the current setting into the model. 0, 1 or 3.
int ReadCurrentIntoModel();

// Stores the model's current setting under the name into slot 1..6: trailing
// blanks dropped, a blank name stored as "2 x 2 WAY + Msum". 0, 1 or 3.
int StoreMemorySlot(int slot, const std::string& name);

// Recalls slot 1..6 into the unit and the model. 0, 1 or 3.
int RecallMemorySlot(int slot);

// Erases slot 1..6. 0, 1 or 3.
int DeleteMemorySlot(int slot);

// The memory-file writing algorithm: every used slot read from the unit,
// the current setting's image wherever a read is not possible.
MemoryFileImage BuildMemoryFileFromUnit();

enum class LoadFileResult { Loaded, FormatError, DownloadFailed };

// The memory-file reading algorithm over bytes already read from the file:
// the format check, then each used record stored into its slot in order,
// stopping at the first failed store.
LoadFileResult LoadMemoryFileIntoUnit(std::span<const std::uint8_t> fileBytes);

// The unit reset: the reset message, then the directory and the current
// setting read back. Returns the current-setting read's result (0, 1 or 3).
int ResetUnit();

// Fills logoText from the two lines (7 bits, blank-padded to 20 characters)
// and sends it. Returns 0, 1 or 3. paddedLines receives the two padded lines
// so the caller can keep them in its settings.
int WriteLogo(const std::string& line1, const std::string& line2, std::array<std::string, 2>* paddedLines = nullptr);
