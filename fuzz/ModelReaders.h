// Everything that reads the parameter model after a memory image has been
// unpacked into it, run over both channels with the checks each reader
// promises: texts non-empty, table look-ups inside their tables, response
// values finite, message payloads of a valid length, and packing stable.
#pragma once

#include <cstdint>

// Unpacks `image62` into a fresh model and runs every reader over it.
void UnpackAndReadModel(const std::uint8_t* image62);
