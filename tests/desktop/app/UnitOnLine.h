// The desktop program's own link (UnitLink()) opened on an emulated unit on
// a pseudo-terminal, over the program's `model` set to its defaults; and
// memory images a test can tell apart.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/UnitBehindLink.h"

using Payload = std::vector<std::uint8_t>;
using Image = std::array<std::uint8_t, 62>;

// A valid memory image: the factory channel blocks with the gain of each
// channel and the delay of the first one changed by seed (0..20), so that it
// survives unpacking and packing unchanged.
Image DistinctImage(int seed);

class UnitOnLine {
public:
    UnitOnLine();   // the model to its defaults
    ~UnitOnLine();  // disconnects when connected, closes the link, stops the unit

    bool Open();     // starts the unit and opens the program's link on it
    bool Connect();  // the program's own connect sequence
    // The model back to its defaults while staying connected; the frames
    // heard so far forgotten.
    void Reset();

    rx74emu::EmulatedUnit& Unit() const { return rig_.Unit(); }
    void SetMemory(int slot, bool used, const std::string& name, const Image& image);
    // What the unit received once the messages posted so far have gone out.
    std::vector<Payload> Payloads() const;
    // The payload of the last frame the unit received (empty if none).
    Payload Last() const;
    std::size_t Count() const { return Payloads().size(); }

private:
    UnitBehindLink rig_;
};
