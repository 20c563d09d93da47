#include "link/Frame.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t kFrameHeader[5] = {0x56, 0x4E, 0x42, 0x31, 0x30};  // "VNB10"
constexpr std::uint8_t kLogoCommand[3] = {0xFB, 0x25, 0x8A};
constexpr std::uint8_t kStoreNameLead = 0x01;
constexpr int kLogoLineChars = 20;
constexpr int kLogoCharsSent = 16;

bool UnitTakesNameChar(char c)
{
    const auto byte = static_cast<std::uint8_t>(c);
    return byte >= 0x20 && byte <= 0x7F;
}

}  // namespace

int BuildFrame(std::uint8_t* buffer, std::uint8_t length)
{
    const int n = std::min<int>(length, kMaxPayload);
    std::memmove(buffer + kFrameHeaderSize, buffer, static_cast<std::size_t>(n));
    std::memcpy(buffer, kFrameHeader, sizeof kFrameHeader);
    buffer[5] = static_cast<std::uint8_t>(n);
    std::uint8_t sum = 0;
    for (int i = 0; i < n; ++i) sum = static_cast<std::uint8_t>(sum + buffer[kFrameHeaderSize + i]);
    buffer[kFrameHeaderSize + n] = sum;
    buffer[kFrameHeaderSize + n + 1] = kFrameTrailer;
    return n + kFrameOverhead;
}

std::vector<std::uint8_t> FrameOf(std::span<const std::uint8_t> payload)
{
    const std::size_t n = std::min<std::size_t>(payload.size(), kMaxPayload);
    std::vector<std::uint8_t> frame(n + kFrameOverhead);
    std::copy_n(payload.begin(), n, frame.begin());
    frame.resize(static_cast<std::size_t>(BuildFrame(frame.data(), static_cast<std::uint8_t>(n))));
    return frame;
}

std::optional<std::vector<std::uint8_t>> FramePayload(std::span<const std::uint8_t> frame)
{
    if (frame.size() < static_cast<std::size_t>(kFrameOverhead)) return std::nullopt;
    const std::size_t length = frame[kFrameHeaderSize - 1];
    if (frame.size() != length + kFrameOverhead) return std::nullopt;
    std::vector<std::uint8_t> payload(frame.begin() + kFrameHeaderSize, frame.begin() + kFrameHeaderSize + length);
    const std::vector<std::uint8_t> rebuilt = FrameOf(payload);
    if (!std::equal(rebuilt.begin(), rebuilt.end(), frame.begin(), frame.end())) return std::nullopt;
    return payload;
}

std::vector<std::uint8_t> CommandPayload(std::uint8_t code, std::uint8_t value) { return {code, value}; }

std::vector<std::uint8_t> ReadMemoryNamePayload(int slot)
{
    return {kCodeReadMemoryName, static_cast<std::uint8_t>(slot), 0x00};
}

std::vector<std::uint8_t> LogoCommandPayload() { return {std::begin(kLogoCommand), std::end(kLogoCommand)}; }

std::array<std::uint8_t, kStoreBlockSize> StoreImageBlock(const std::uint8_t* image62)
{
    std::array<std::uint8_t, kStoreBlockSize> block{};
    std::copy_n(image62, kStoreBlockSize - 2, block.begin());
    return block;
}

std::array<std::uint8_t, kStoreNameFieldSize> StoreNameField(const char* name16)
{
    std::array<std::uint8_t, kStoreNameFieldSize> field{};
    field[0] = kStoreNameLead;
    for (int i = 0; i < kNameChars; ++i)
        field[1 + i] = UnitTakesNameChar(name16[i]) ? static_cast<std::uint8_t>(name16[i]) : ' ';
    return field;
}

std::array<std::uint8_t, kLogoBytes> LogoBytes(const char* logoText40)
{
    std::array<std::uint8_t, kLogoBytes> bytes{};
    std::copy_n(logoText40, kLogoCharsSent, bytes.begin());
    std::copy_n(logoText40 + kLogoLineChars, kLogoCharsSent, bytes.begin() + kLogoCharsSent);
    return bytes;
}

std::string ConnectReplyIdentity(std::span<const std::uint8_t> reply16)
{
    std::string identity;
    for (std::size_t i = 1; i < reply16.size() && i < kConnectReplySize; ++i)
        identity += reply16[i] >= 0x20 && reply16[i] < 0x7F ? static_cast<char>(reply16[i]) : '?';
    identity.erase(identity.find_last_not_of(' ') + 1);
    return identity;
}
