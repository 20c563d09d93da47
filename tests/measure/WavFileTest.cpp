#include "WavFile.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

std::uint32_t Le(const std::string& bytes, std::size_t at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
    return value;
}

// The samples of a mono float WAV file, read as any reader walks its chunks;
// nothing where the header does not say 32-bit IEEE float.
std::optional<std::vector<float>> ReadFloatWav(const std::string& bytes, std::uint32_t& rate)
{
    if (bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "WAVE") return std::nullopt;
    if (Le(bytes, 4, 4) != bytes.size() - 8) return std::nullopt;
    std::optional<std::vector<float>> samples;
    bool isFloat = false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string tag = bytes.substr(at, 4);
        const std::uint32_t size = Le(bytes, at + 4, 4);
        if (tag == "fmt ") {
            isFloat = Le(bytes, at + 8, 2) == 3 && Le(bytes, at + 10, 2) == 1 && Le(bytes, at + 22, 2) == 32 &&
                      Le(bytes, at + 16, 4) == Le(bytes, at + 12, 4) * 4 && Le(bytes, at + 20, 2) == 4;
            rate = Le(bytes, at + 12, 4);
        } else if (tag == "data") {
            samples.emplace();
            for (std::uint32_t i = 0; i < size; i += 4) samples->push_back(std::bit_cast<float>(Le(bytes, at + 8 + i, 4)));
        }
        at += 8 + size + (size & 1);
    }
    if (!isFloat) return std::nullopt;
    return samples;
}

TEST(WavFile, AFloatFileCarriesItsHeaderAndReadsBackSampleForSample)
{
    const std::vector<float> samples{0.0f, 1.0f, -1.0f, 0.25f, -1.5e-7f, 3.0f};
    const std::string bytes = FloatWavBytes(samples, 44100);
    // RIFF, the 16-byte format chunk (IEEE float, mono, 44.1 kHz), the frame count, the data.
    const std::string header("RIFF\x48\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x03\x00\x01\x00\x44\xac\x00\x00"
                             "\x10\xb1\x02\x00\x04\x00\x20\x00"
                             "fact\x04\x00\x00\x00\x06\x00\x00\x00"
                             "data\x18\x00\x00\x00",
                             56);
    EXPECT_EQ(bytes.substr(0, header.size()), header);
    ASSERT_EQ(bytes.size(), header.size() + 4 * samples.size());
    EXPECT_EQ(bytes.substr(header.size() + 4, 4), std::string("\x00\x00\x80\x3f", 4));  // 1.0f, little-endian
    std::uint32_t rate = 0;
    EXPECT_EQ(ReadFloatWav(bytes, rate), samples);
    EXPECT_EQ(rate, 44100u);
}

TEST(WavFile, IsWrittenWholeOrReportedAsNotWritten)
{
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "quenbar-wav-test.wav";
    const std::vector<float> samples(48000, 0.5f);
    ASSERT_TRUE(WriteFloatWav(path, samples, 48000));
    std::ifstream file(path, std::ios::binary);
    const std::string written{std::istreambuf_iterator<char>(file), {}};
    std::filesystem::remove(path);
    EXPECT_EQ(written, FloatWavBytes(samples, 48000));
    EXPECT_FALSE(WriteFloatWav(path / "no-such-folder" / "x.wav", samples, 48000));
    const std::vector<float> none;
    std::uint32_t rate = 0;
    EXPECT_EQ(ReadFloatWav(FloatWavBytes(none, 48000), rate), none);
}

}  // namespace
