#include "UnitOnLine.h"

#include "link/Transport.h"
#include "model/Model.h"
#include "unit/UnitOperations.h"

namespace {

// One channel block of the factory setting, as the unit stores it.
constexpr std::array<std::uint8_t, 31> kFactoryBlock = {
    0x20, 0x80, 0x00, 0x00, 0x00, 0x00, 0x41, 0x00, 0x01, 0x7E, 0x0B, 0x0A, 0x0A, 0x0A, 0x69, 0x2B,
    0x80, 0x80, 0x80, 0x19, 0x19, 0x19, 0x00, 0xEE, 0x00, 0xEE, 0x00, 0xEE, 0x00, 0x23, 0xDC};

constexpr std::size_t kGainByte = 1;
constexpr std::size_t kDelayLowByte = 3;
constexpr std::size_t kSubBlock = 31;

}  // namespace

Image DistinctImage(int seed)
{
    Image image{};
    std::copy(kFactoryBlock.begin(), kFactoryBlock.end(), image.begin());
    std::copy(kFactoryBlock.begin(), kFactoryBlock.end(), image.begin() + kSubBlock);
    image[kGainByte] = static_cast<std::uint8_t>(100 + seed);
    image[kDelayLowByte] = static_cast<std::uint8_t>(seed);
    image[kSubBlock + kGainByte] = static_cast<std::uint8_t>(120 - seed);
    return image;
}

UnitOnLine::UnitOnLine()
{
    model = ParameterModel{};
    LoadDefaults();
}

UnitOnLine::~UnitOnLine()
{
    if (model.connected != 0) {
        DisconnectUnit();
    }
    CommClose();
    emulator_.Stop();
}

bool UnitOnLine::Open()
{
    if (!emulator_.Start() || CommInit() != 1) {
        return false;
    }
    CommSetPortDevice(emulator_.DevicePath());
    return CommOpen() != 0;
}

bool UnitOnLine::Connect()
{
    return ConnectUnit([](std::uint8_t) {}) == ConnectResult::Connected;
}

void UnitOnLine::SetMemory(int slot, bool used, const std::string& name, const Image& image)
{
    std::string padded = name;
    padded.resize(Rx74Emulator::kNameBytes, ' ');
    emulator_.SetMemory(slot, {used, padded, image});
}
