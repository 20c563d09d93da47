// The memory image: the 62 bytes in which the unit keeps one complete setting
// of both output channels. The unit's current setting, each unit memory and
// each memory-file record are such an image.
//
// Two 31-byte channel blocks: model slot 0 (Left&Right) at offset 0, model
// slot 2 (Sub) at offset 31. Slot 1 is never packed or unpacked. Multi-byte
// numbers are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>

struct ParameterModel;

inline constexpr std::size_t kImageSize = 62, kChannelBlockSize = 31;

// Writes the 31-byte block of model slot `slot` (0 or 2), constant bytes
// included. Each field keeps its low 8 (or 16) bits, so a value outside the
// unit's range does not spill into a neighbouring byte.
void PackChannel(const ParameterModel& model, std::uint8_t* block, int slot);

// Reads a 31-byte block into model slot `slot` (0 or 2), clamping the gain,
// filter types, frequencies and limiter threshold to their ranges. The PEQ
// bandwidth is taken as 43 - byte without a range check, so that packing it
// again gives the same byte back; readers of it must cope with any step.
void UnpackChannel(ParameterModel& model, const std::uint8_t* block, int slot);

// Fills exactly kImageSize bytes from slots 0 and 2 of the model.
void ModelToImage(const ParameterModel& model, std::uint8_t* image);

// Overwrites the channel and PEQ fields of slots 0 and 2 from an image;
// nothing else in the model changes.
void ImageToModel(ParameterModel& model, const std::uint8_t* image);

// As ImageToModel, without the clamps: every field keeps what its bytes
// hold, so that ModelToImage gives back every byte and bit a field covers.
// Only the constant bytes and the unused flag bits are not kept. For
// readers that must lose nothing (the JSON form of a memory file).
void ImageToModelExact(ParameterModel& model, const std::uint8_t* image);
