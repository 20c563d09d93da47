// The memory file (".cmf"): all six unit memories in 704 bytes.
//
//   0    16 bytes  header "VNB1.00M" and eight blanks
//   16   6 x 112   slot records
//   688  16 bytes  trailer, the same as the header
//
// A slot record: slot number, used flag, "MEM", zeros, the 16-byte name,
// the 62-byte memory image, zeros.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "model/MemoryImage.h"
#include "model/Model.h"

inline constexpr std::size_t kMemoryFileSize = 704;
inline constexpr std::size_t kSlotRecordSize = 112;
inline constexpr std::size_t kSlotRecordsOffset = 16;
inline constexpr std::size_t kTrailerOffset = 688;

using MemoryFileImage = std::array<std::uint8_t, kMemoryFileSize>;

struct SlotRecord {
    std::uint8_t usedByte = 0;                  // the slot holds a program exactly when 1
    char name[kMemNameBuffer] = {};             // 16 name bytes and a terminator
    std::array<std::uint8_t, 64> imageBlock{};  // the memory image and two further bytes
};

// Lays out a whole file from six records (record i is slot i + 1).
MemoryFileImage BuildMemoryFile(const std::array<SlotRecord, kMemorySlots>& records);

// Change one part of record i (0..5) in place; every other byte of the file
// stays as it is. The name fills its 16-byte field from the start (cut to
// 16 bytes), the rest of the field zero.
void WriteRecordUsed(MemoryFileImage& file, int i, std::uint8_t usedByte);
void WriteRecordName(MemoryFileImage& file, int i, const std::string& name);
void WriteRecordImage(MemoryFileImage& file, int i, std::span<const std::uint8_t, kImageSize> image);

// The read-back buffer: up to 704 bytes of the given data, the rest zero.
MemoryFileImage MemoryFileFromBytes(std::span<const std::uint8_t> bytes);

// True when header and trailer both start with "VNB1.00M".
bool CheckMemoryFileFormat(const MemoryFileImage& file);
// Why the bytes read from a file are not a memory file ("500 of 704 bytes",
// "more than 704 bytes", "no header", "no trailer"); empty when they are.
std::string MemoryFileFormatProblem(std::span<const std::uint8_t> bytes);

// Record i (0..5) as stored in the file.
SlotRecord ReadSlotRecord(const MemoryFileImage& file, int i);
