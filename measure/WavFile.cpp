#include "WavFile.h"

#include <bit>
#include <cstring>
#include <fstream>

namespace {

constexpr std::uint16_t kIeeeFloat = 3;
constexpr std::uint16_t kBytesPerSample = 4;
// "WAVE", the "fmt " chunk (8 + 16 bytes), the "fact" chunk (8 + 4) and the
// "data" chunk's header (8), before the samples.
constexpr std::uint32_t kHeaderAfterRiff = 4 + 24 + 12 + 8;

void Put(std::string& bytes, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutTag(std::string& bytes, const char (&tag)[5]) { bytes.append(tag, 4); }

}  // namespace

std::string FloatWavBytes(std::span<const float> samples, std::uint32_t rate)
{
    const auto count = static_cast<std::uint32_t>(samples.size());
    const std::uint32_t dataBytes = count * kBytesPerSample;
    std::string bytes;
    bytes.reserve(8 + kHeaderAfterRiff + dataBytes);
    PutTag(bytes, "RIFF");
    Put(bytes, kHeaderAfterRiff + dataBytes, 4);
    PutTag(bytes, "WAVE");
    PutTag(bytes, "fmt ");
    Put(bytes, 16, 4);
    Put(bytes, kIeeeFloat, 2);
    Put(bytes, 1, 2);  // one channel
    Put(bytes, rate, 4);
    Put(bytes, rate * kBytesPerSample, 4);  // bytes a second
    Put(bytes, kBytesPerSample, 2);         // bytes a frame
    Put(bytes, 8 * kBytesPerSample, 2);     // bits a sample
    PutTag(bytes, "fact");
    Put(bytes, 4, 4);
    Put(bytes, count, 4);  // frames
    PutTag(bytes, "data");
    Put(bytes, dataBytes, 4);
    for (const float sample : samples) Put(bytes, std::bit_cast<std::uint32_t>(sample), 4);
    return bytes;
}

bool WriteFloatWav(const std::filesystem::path& path, std::span<const float> samples, std::uint32_t rate)
{
    const std::string bytes = FloatWavBytes(samples, rate);
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}
