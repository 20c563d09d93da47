// What the program does with the unit, free of any window: each operation
// runs its exchanges over a link, reads and writes the link's model, and
// returns a result that the caller turns into the system's own message.
//
// A long operation reports each memory it moves on to through a
// SlotProgress callback (on the thread that runs it), and ends at its
// current step once the link is cancelled (Link::Cancel).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "memfile/MemoryFile.h"
#include "unit/UnitCommands.h"

class Link;

// Called with the memory (1..6) an operation turns to next.
using SlotProgress = std::function<void(int slot)>;

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
ConnectResult ConnectUnit(Link& link, const std::function<void(std::uint8_t)>& storeFirmType);

// What the connect sequence did, step by step.
struct ConnectReport {
    ConnectResult result = ConnectResult::HandshakeFailed;
    Handshake handshake;  // why the handshake failed, if it did
    // The stored firmware type that was not supported and became type 0.
    std::optional<std::uint8_t> replacedFirmType;
};
// ConnectUnit, telling which step failed.
ConnectReport ConnectUnitWithReport(Link& link, const std::function<void(std::uint8_t)>& storeFirmType);

// The person's words for the step that failed: "/dev/ttyUSB0: no answer to
// the attention byte: check the cable, the unit's power and the port."
std::string DescribeConnectFailure(const std::string& device, const ConnectReport& report);
// "The stored firmware type 3 is not supported: type 0 is used, ..."
std::string DescribeReplacedFirmType(std::uint8_t firmType);

// Sends the disconnect and clears `connected`.
void DisconnectUnit(Link& link);

// Reads the six memory names into memUsed/memName (failed reads keep the entry).
void ReadMemoryDirectory(Link& link);

// Reads the current setting into the model. 0, 1 or 3.
int ReadCurrentIntoModel(Link& link);

// Stores the model's current setting under the name into slot 1..6: trailing
// blanks dropped, a blank name stored as "2 x 2 WAY + Msum". 0, 1 or 3.
int StoreMemorySlot(Link& link, int slot, const std::string& name);

// The name a store gives the memory for a typed name (before it is cut to
// the sixteen characters the unit keeps).
std::string StoreName(const std::string& typed);

// The name the unit's directory lists once a store under the typed name is
// made (StoreName, then as ListedName reads it back), which a read of the
// memories writes into a memory file.
std::string StoredMemoryName(const std::string& typed);

// Recalls slot 1..6 into the unit and the model. 0, 1 or 3.
int RecallMemorySlot(Link& link, int slot);

// Erases slot 1..6. 0, 1 or 3.
int DeleteMemorySlot(Link& link, int slot);

// The memory file read from the unit: every memory the directory marks used
// is read into its record; an unused one gets the current setting's image.
// A used memory whose read fails is named in unreadSlots, and such a file
// must not be written: it would claim to hold a memory it does not hold.
struct UnitMemoryFile {
    MemoryFileImage bytes{};
    std::vector<int> unreadSlots;  // 1..6, in order
    bool cancelled = false;
    bool Complete() const { return unreadSlots.empty() && !cancelled; }
};
UnitMemoryFile ReadMemoryFileFromUnit(Link& link, const SlotProgress& progress = {});

enum class LoadFileResult { Loaded, FormatError, DownloadFailed, Cancelled };

struct LoadFileReport {
    LoadFileResult result = LoadFileResult::Loaded;
    std::vector<int> storedSlots;  // in the order stored
    // Records left out: the slot and the used byte that is not 1.
    std::vector<std::pair<int, std::uint8_t>> skipped;
    int failedSlot = 0;  // the store that failed (DownloadFailed)
};

// The memory-file restore over bytes already read from the file: the format
// check, then every record whose used byte is 1 stored into its slot in
// order (the unit takes a store into an empty memory), stopping at the
// first failed store.
LoadFileReport LoadMemoryFileIntoUnit(Link& link, std::span<const std::uint8_t> fileBytes,
                                      const SlotProgress& progress = {});

// What a restore did, for the person: the stores made and the records left
// out with the reason, one sentence each ("4 memories stored: 1, 2, 3, 5.",
// "Skipped: memory 4 (marked empty in the file).").
std::string DescribeLoad(const LoadFileReport& report);

// What a save wrote, for the person: "2 memories saved: 1, 3.\nEmpty: 2, 4,
// 5, 6 (holding the current setting)."
std::string DescribeSave(const MemoryFileImage& file);

// Why a read of the memories was not used: "Memory 2, 5 could not be read
// from the unit; the file was not written." (the outcome as given).
std::string DescribeUnreadSlots(const std::vector<int>& slots, const std::string& outcome = "the file was not written");

// The unit reset: the reset message, then the directory and the current
// setting read back. Returns the current-setting read's result (0, 1 or 3).
int ResetUnit(Link& link);

// Fills logoText from the two lines (7 bits, blank-padded to 20 characters)
// and sends it. Returns 0, 1 or 3. paddedLines receives the two padded lines
// so the caller can keep them in its settings.
int WriteLogo(Link& link, const std::string& line1, const std::string& line2,
              std::array<std::string, 2>* paddedLines = nullptr);
