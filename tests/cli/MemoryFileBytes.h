// Memory files byte by byte, written here without the program's own layout
// code so that the command line is checked against an independent picture
// of the format.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using ImageBytes = std::array<std::uint8_t, 62>;

// The image the factory setting packs to (both channel blocks alike).
ImageBytes DefaultImage();

struct RecordBytes {
    std::uint8_t used = 1;
    std::string name;  // up to 16 bytes
    ImageBytes image = DefaultImage();
};

// Header "VNB1.00M" + 8 blanks, six 112-byte records, the same trailer.
std::vector<unsigned char> MemoryFileBytes(const std::array<RecordBytes, 6>& records);
