// Reading and writing memory files for the command line; failures become
// CliError with exit code 2.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "memfile/MemoryFile.h"

// Up to a memory file's size of bytes from the file, as the loader reads it.
std::vector<std::uint8_t> ReadMemoryFileBytes(const std::string& path);

// The file laid out in memory after the format check ("File format error!").
MemoryFileImage ReadCheckedMemoryFile(const std::string& path);

// The record's setting, with the clamps of a read from the unit.
ParameterModel RecordSetting(const SlotRecord& record);

void WriteMemoryFile(const std::string& path, const MemoryFileImage& file);
