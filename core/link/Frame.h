// The envelope of every message to the unit, and the bytes of each unit
// command.
//
//   0  "VNB10"   five header bytes
//   5  N         payload length, 0..192
//   6  payload   its first byte is the command or message code
//   6+N sum      the payload bytes added up, modulo 256
//   7+N 0x53     trailer
//
// Before every frame the program writes the attention byte, which the unit
// answers with "P"; the unit acknowledges a frame with "Q" or with a block.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

inline constexpr int kFrameHeaderSize = 6;  // "VNB10" and the length byte
inline constexpr int kFrameOverhead = 8;    // header, checksum and trailer
inline constexpr int kMaxPayload = 192;
inline constexpr std::uint8_t kFrameTrailer = 0x53;
inline constexpr std::uint8_t kAttentionByte = 0xFA;

// Command codes (first payload byte).
inline constexpr std::uint8_t kCodeConnect = 0xC9;
inline constexpr std::uint8_t kCodeDisconnect = 0xCA;
inline constexpr std::uint8_t kCodeStoreMemory = 0xCB;
inline constexpr std::uint8_t kCodeRecallMemory = 0xCC;
inline constexpr std::uint8_t kCodeReadCurrent = 0xCD;
inline constexpr std::uint8_t kCodeReadMemoryName = 0xCE;
inline constexpr std::uint8_t kCodeReadMemory = 0xD0;
inline constexpr std::uint8_t kCodeDeleteMemory = 0x2E;

// The first byte of a connect answer that accepts the connection.
inline constexpr std::uint8_t kConnectAccepted = 0x51;

// Reply sizes of the block answers.
inline constexpr int kConnectReplySize = 16;
inline constexpr int kImageReplySize = 65;  // the image and three unused bytes
inline constexpr int kMemoryNameReplySize = 21;
inline constexpr int kMemoryNameUsedSize = 18;  // byte 1 used flag, bytes 2..17 the name
inline constexpr int kStoreNameReplySize = 3;

inline constexpr int kStoreBlockSize = 64;      // the image and two zero bytes
inline constexpr int kStoreNameFieldSize = 17;  // 0x01 and sixteen name characters
inline constexpr int kNameChars = 16;
inline constexpr int kLogoBytes = 32;  // sixteen characters of each display line

// Frames the payload that sits at the start of `buffer`, in place. The
// length is taken as 8 bits and cut to kMaxPayload; the buffer must hold
// that length + kFrameOverhead bytes. Returns the frame length.
int BuildFrame(std::uint8_t* buffer, std::uint8_t length);

// The frame of a payload, as a new buffer (payloads beyond kMaxPayload are cut).
std::vector<std::uint8_t> FrameOf(std::span<const std::uint8_t> payload);

// The payload of a whole, well-formed frame (one that FrameOf makes from
// it); none for anything else.
std::optional<std::vector<std::uint8_t>> FramePayload(std::span<const std::uint8_t> frame);

// Payloads of the unit commands.
std::vector<std::uint8_t> CommandPayload(std::uint8_t code, std::uint8_t value);
std::vector<std::uint8_t> ReadMemoryNamePayload(int slot);
std::vector<std::uint8_t> LogoCommandPayload();

// The unframed blocks that follow a store or logo command.
std::array<std::uint8_t, kStoreBlockSize> StoreImageBlock(const std::uint8_t* image62);
// 0x01 then the sixteen characters, each control or non-ASCII character sent as a blank.
std::array<std::uint8_t, kStoreNameFieldSize> StoreNameField(const char* name16);
// Characters 1..16 of each of the two 20-character lines of logoText.
std::array<std::uint8_t, kLogoBytes> LogoBytes(const char* logoText40);

// Bytes 1..15 of a connect answer, the unit's description of itself, with
// trailing blanks dropped and anything unprintable shown as '?'.
std::string ConnectReplyIdentity(std::span<const std::uint8_t> reply16);
