// A bare serial client for tests: opens the emulator's device raw and
// exchanges bytes written out by hand, with no help from the program's code.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "emulator/Emulator.h"

using Bytes = std::vector<std::uint8_t>;

// "VNB10", length, payload, 8-bit sum, "S".
Bytes Frame(const Bytes& payload);

class RawLine {
public:
    explicit RawLine(const std::string& device);
    ~RawLine();
    bool IsOpen() const { return fd_ >= 0; }

    void Write(const Bytes& bytes);
    // Reads until `count` bytes have arrived or `timeout` has passed.
    Bytes Read(std::size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
    Bytes Exchange(const Bytes& bytes, std::size_t count,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(1000))
    {
        Write(bytes);
        return Read(count, timeout);
    }
    // The attention byte, then the frame; returns what came back for the frame
    // (empty when the attention byte was not answered with "P").
    Bytes Command(const Bytes& payload, std::size_t replyCount,
                  std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
    // True once the other end has closed the line.
    bool HungUp(std::chrono::milliseconds timeout);

private:
    int fd_ = -1;
};

// An emulator started on a pty with a raw client connected to it.
struct EmulatedLine {
    explicit EmulatedLine(EmulatorFaults faults = {});
    Rx74Emulator unit;
    bool started;
    RawLine line;
};
