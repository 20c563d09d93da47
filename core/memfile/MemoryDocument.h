// A memory file worked on without the unit: its six memories (used flag,
// name, image) and the current setting.
//
// The file has no place of its own for the current setting: a read of the
// unit's memories writes it into every memory not in use. The document
// follows that rule. Opened, its current setting is the image of the first
// memory not in use (the factory setting when all six are used); a new
// current setting is written into every memory not in use. Every other byte
// stays as the file held it, so a file opened and saved unchanged is the
// same byte for byte.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "memfile/MemoryFile.h"

class MemoryDocument {
public:
    using Image = std::array<std::uint8_t, kImageSize>;

    // A new document: six empty memories holding the factory setting, which
    // is also the current setting.
    MemoryDocument();

    // Takes the bytes of a memory file as the document's, not yet on disk
    // (Modified() tells them from the ones last saved). False, and the
    // document unchanged, for anything but 704 bytes with the header and the
    // trailer.
    bool Replace(std::span<const std::uint8_t> bytes);
    // Replace with bytes read from disk: unmodified.
    bool Open(std::span<const std::uint8_t> bytes);
    const MemoryFileImage& Bytes() const { return bytes_; }

    // The bytes as they are now are the ones on disk.
    void MarkSaved() { saved_ = bytes_; }
    // Whether the bytes differ from the ones on disk. A current setting the
    // file cannot hold (all six memories used) leaves it unmodified.
    bool Modified() const { return bytes_ != saved_; }

    // Memory `slot` 1..6: used exactly when its used byte is 1.
    bool Used(int slot) const;
    std::string Name(int slot) const;
    Image MemoryImage(int slot) const;

    const Image& Current() const { return current_; }
    void SetCurrent(const Image& image);

    // The current setting into `slot` under `name` (16 bytes kept).
    void Store(int slot, const std::string& name);
    // Only the name of `slot` changes.
    void Rename(int slot, const std::string& name);
    // The memory is no longer in use: no name, the current setting in it.
    void Delete(int slot);
    // The memory's image becomes the current setting.
    void Recall(int slot);

private:
    MemoryFileImage bytes_{};
    MemoryFileImage saved_{};
    Image current_{};
};
