#include "MemoryFileAccess.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "CommandError.h"
#include "memfile/MemoryFileJson.h"
#include "memfile/MemoryFileRanges.h"
#include "model/MemoryImage.h"

namespace {

std::string SystemReason() { return std::strerror(errno); }

}  // namespace

std::vector<std::uint8_t> ReadMemoryFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CommandError(kExitBadInput, "Cannot open file " + path + ": " + SystemReason());
    // Bytes after the file's size are ignored, so a larger file (or a
    // device that never ends) is read only that far.
    std::vector<std::uint8_t> bytes(kMemoryFileSize);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) throw CommandError(kExitBadInput, "Cannot read file " + path + ": " + SystemReason());
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::string LoadedMemoryFileProblem(std::span<const std::uint8_t> bytes)
{
    if (CheckMemoryFileFormat(MemoryFileFromBytes(bytes))) return {};
    // Bytes after the file's size are ignored: the reason lies within it.
    return MemoryFileFormatProblem(bytes.first(std::min(bytes.size(), kMemoryFileSize)));
}

void CheckMemoryFileBytes(const std::string& path, std::span<const std::uint8_t> bytes)
{
    const std::string problem = LoadedMemoryFileProblem(bytes);
    if (!problem.empty()) throw CommandError(kExitBadInput, "File format error!\n" + path + ": " + problem + ".");
}

MemoryFileImage ReadCheckedMemoryFile(const std::string& path)
{
    const std::vector<std::uint8_t> bytes = ReadMemoryFileBytes(path);
    CheckMemoryFileBytes(path, bytes);
    return MemoryFileFromBytes(bytes);
}

std::string OutOfRangeProblem(const std::string& what, const MemoryFileImage& file)
{
    const std::vector<OutOfRangeValue> values = FindOutOfRangeValues(file);
    if (values.empty()) return {};
    return what + " holds values outside their fields' ranges, which the unit never holds:\n" +
           DescribeOutOfRangeValues(values);
}

MemoryFileImage ReadLoadableMemoryFile(const std::string& path)
{
    const MemoryFileImage file = ReadCheckedMemoryFile(path);
    if (const std::string problem = OutOfRangeProblem(path, file); !problem.empty())
        throw CommandError(kExitBadInput, problem + "\nNothing was stored.");
    return file;
}

ParameterModel RecordSetting(const SlotRecord& record)
{
    ParameterModel model{};
    LoadDefaults(model);
    ImageToModel(model, record.imageBlock.data());
    return model;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path)
{
    constexpr std::size_t kLargest = kMemoryFileJsonLargestFile;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CommandError(kExitBadInput, "Cannot open file " + path + ": " + SystemReason());
    std::vector<std::uint8_t> bytes(kLargest + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) throw CommandError(kExitBadInput, "Cannot read file " + path + ": " + SystemReason());
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kLargest) throw CommandError(kExitBadInput, path + " is larger than 1 MiB: no memory file.");
    return bytes;
}

void WriteWholeFile(const std::string& path, std::string_view content)
{
    const std::string partial = path + ".partial";
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (out) out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (out) out.close();
    // std::filesystem::rename replaces an existing file on Windows too.
    std::error_code renameError;
    if (out) std::filesystem::rename(partial, path, renameError);
    if (!out || renameError) {
        const std::string reason = renameError ? renameError.message() : SystemReason();
        std::remove(partial.c_str());
        throw CommandError(kExitBadInput, "Fail to open file.\n" + path + ": " + reason);
    }
}

void WriteMemoryFile(const std::string& path, std::span<const std::uint8_t> bytes)
{
    WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}
