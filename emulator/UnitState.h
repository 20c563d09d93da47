// What the emulated unit remembers: its current setting, six memories and
// the power-on text, kept as raw bytes exactly as the unit holds them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "emulator/Emulator.h"

namespace rx74emu {

using Image = std::array<std::uint8_t, Rx74Emulator::kImageBytes>;

// Byte offsets inside one 31-byte channel block of an image.
inline constexpr std::size_t kBlockBytes = 31;
inline constexpr std::size_t kSubBlock = 31;  // the Sub channel's block starts here

// The image of a unit fresh from the factory: both channels at their defaults.
Image FactoryImage();
// "Preset n" padded with blanks to 16 characters.
std::string DefaultMemoryName(int slot);
// Pads or cuts a name to exactly 16 characters.
std::string PadName(const std::string& name);

struct UnitState {
    Image current = FactoryImage();
    std::array<EmulatedMemory, Rx74Emulator::kMemorySlots> memories = FactoryMemories();
    std::string logo = std::string(Rx74Emulator::kLogoBytes, ' ');

    static std::array<EmulatedMemory, Rx74Emulator::kMemorySlots> FactoryMemories();

    // Applies a parameter message (code byte first) to the current setting.
    // Returns false, changing nothing, when the payload is not a parameter
    // message the unit knows (unknown code or wrong length).
    bool ApplyParameter(const std::vector<std::uint8_t>& payload);
    // Back to the factory: current setting and all six memories. The logo is
    // kept, as it is not part of a setting.
    void FactoryReset();

    // A small text file; loading checks every line and changes nothing unless
    // the whole file is sound. Saving writes a new file and renames it over the
    // old one, so a crash never leaves half a file behind.
    bool Load(const std::string& path);
    bool Save(const std::string& path) const;
};

inline bool ValidSlot(int slot) { return slot >= 1 && slot <= Rx74Emulator::kMemorySlots; }

}  // namespace rx74emu
