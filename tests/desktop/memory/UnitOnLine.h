// The program's serial line wired to an emulated unit, and memory images a
// test can tell apart.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "emulator/Emulator.h"

using Image = std::array<std::uint8_t, 62>;

// A valid memory image: the factory channel blocks with the gain of each
// channel and the delay of the first one changed by seed (0..20), so that it
// survives unpacking and packing unchanged.
Image DistinctImage(int seed);

// The model reset to its defaults, the emulator started and the transport
// opened on it. Stop() (or the destructor) closes the line again.
class UnitOnLine {
public:
    UnitOnLine();
    ~UnitOnLine();
    UnitOnLine(const UnitOnLine&) = delete;
    UnitOnLine& operator=(const UnitOnLine&) = delete;

    bool Open();     // false if the emulator or the port cannot be started
    bool Connect();  // the connect sequence of the program
    Rx74Emulator& unit() { return emulator_; }

    void SetMemory(int slot, bool used, const std::string& name, const Image& image);

private:
    Rx74Emulator emulator_;
};
