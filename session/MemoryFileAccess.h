// Reading and writing memory files for the command line; failures become
// CommandError with exit code 2.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "memfile/MemoryFile.h"

// Up to a memory file's size of bytes from the file, as the loader reads it.
std::vector<std::uint8_t> ReadMemoryFileBytes(const std::string& path);

// Why the loader refuses the bytes as a memory file (what lies beyond a
// memory file's size is ignored); empty when it takes them.
std::string LoadedMemoryFileProblem(std::span<const std::uint8_t> bytes);

// "File format error!", the file and why its bytes are no memory file, as a
// CommandError, unless they are one.
void CheckMemoryFileBytes(const std::string& path, std::span<const std::uint8_t> bytes);

// The file laid out in memory after the format check.
MemoryFileImage ReadCheckedMemoryFile(const std::string& path);

// What keeps the file out of the unit although its format is sound: values
// outside their fields' ranges, which the unit never holds (a damaged body),
// named one line per memory after "<what> holds values…:". Empty when none.
std::string OutOfRangeProblem(const std::string& what, const MemoryFileImage& file);

// The checked file, refused (CommandError, 2) also for OutOfRangeProblem:
// what is stored into the unit.
MemoryFileImage ReadLoadableMemoryFile(const std::string& path);

// The record's setting, with the clamps of a read from the unit.
ParameterModel RecordSetting(const SlotRecord& record);

// The whole file, for the JSON form that keeps every byte; a file larger
// than 1 MiB (a memory file has 704 bytes) is refused.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// Written beside the target and renamed over it once complete, so that an
// existing file is never left half-written.
void WriteWholeFile(const std::string& path, std::string_view content);
void WriteMemoryFile(const std::string& path, std::span<const std::uint8_t> bytes);
