// A mono WAV file of 32-bit float samples (WAVE_FORMAT_IEEE_FLOAT), as every
// audio editor and measurement program reads it: the RIFF header, a 16-byte
// "fmt " chunk, the "fact" chunk that a format other than PCM carries, and
// the samples, all little-endian.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

// The whole file as bytes.
std::string FloatWavBytes(std::span<const float> samples, std::uint32_t rate);

// Writes the file; false when it cannot be written whole.
bool WriteFloatWav(const std::filesystem::path& path, std::span<const float> samples, std::uint32_t rate);
