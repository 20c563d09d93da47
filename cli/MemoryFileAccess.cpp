#include "MemoryFileAccess.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "CliError.h"
#include "model/MemoryImage.h"

namespace {

std::string SystemReason() { return std::strerror(errno); }

}  // namespace

std::vector<std::uint8_t> ReadMemoryFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CliError(kExitBadInput, "Cannot open file " + path + ": " + SystemReason());
    // Bytes after the file's size are ignored, so a larger file (or a
    // device that never ends) is read only that far.
    std::vector<std::uint8_t> bytes(kMemoryFileSize);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) throw CliError(kExitBadInput, "Cannot read file " + path + ": " + SystemReason());
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

MemoryFileImage ReadCheckedMemoryFile(const std::string& path)
{
    const MemoryFileImage file = MemoryFileFromBytes(ReadMemoryFileBytes(path));
    if (!CheckMemoryFileFormat(file)) throw CliError(kExitBadInput, "File format error!");
    return file;
}

ParameterModel RecordSetting(const SlotRecord& record)
{
    ParameterModel model{};
    LoadDefaults(model);
    ImageToModel(model, record.imageBlock.data());
    return model;
}

void WriteMemoryFile(const std::string& path, const MemoryFileImage& file)
{
    // Written beside the target and renamed over it once complete, so an
    // existing file is never left half-written.
    const std::string partial = path + ".partial";
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    if (out) out.close();
    if (!out || std::rename(partial.c_str(), path.c_str()) != 0) {
        const std::string reason = SystemReason();
        std::remove(partial.c_str());
        throw CliError(kExitBadInput, "Fail to open file.\n" + path + ": " + reason);
    }
}
