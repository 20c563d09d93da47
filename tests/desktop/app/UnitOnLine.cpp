#include "tests/desktop/app/UnitOnLine.h"

#include <algorithm>

#include "app/PortSetting.h"
#include "app/UnitLink.h"
#include "tests/desktop/UnitWork.h"
#include "tests/desktop/app/DesktopTest.h"
#include "unit/UnitOperations.h"

namespace {

// One channel block of the factory setting, as the unit stores it.
constexpr std::array<std::uint8_t, 31> kFactoryBlock = {
    0x20, 0x80, 0x00, 0x00, 0x00, 0x00, 0x41, 0x00, 0x01, 0x7E, 0x0B, 0x0A, 0x0A, 0x0A, 0x69, 0x2B,
    0x80, 0x80, 0x80, 0x19, 0x19, 0x19, 0x00, 0xEE, 0x00, 0xEE, 0x00, 0xEE, 0x00, 0x23, 0xDC};

constexpr std::size_t kGainByte = 1;
constexpr std::size_t kDelayLowByte = 3;
constexpr std::size_t kSubBlock = 31;

void ModelToDefaults()
{
    model = ParameterModel{};
    LoadDefaults(model);
}

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

UnitOnLine::UnitOnLine() : rig_(UnitLink()) { ModelToDefaults(); }

UnitOnLine::~UnitOnLine()
{
    if (model.connected != 0) {
        StartDisconnect(nullptr, {});
        WaitForUnit();
    }
}

// The current port leads to the unit too, since a Connect after a
// Disconnect opens it afresh.
bool UnitOnLine::Open()
{
    if (!rig_.Open()) return false;
    PointComAt(CurrentPortNumber(), UnitLink().Device());
    return true;
}

std::vector<Payload> UnitOnLine::Payloads() const
{
    UnitWorker().WaitIdle();
    return Unit().ReceivedPayloads();
}

bool UnitOnLine::Connect()
{
    ConnectResult result = ConnectResult::HandshakeFailed;
    StartConnect(nullptr, [&result](const ConnectReport& ended) { result = ended.result; });
    WaitForUnit();
    return result == ConnectResult::Connected;
}

void UnitOnLine::Reset()
{
    ModelToDefaults();
    model.connected = 1;
    Unit().ClearReceived();
}

void UnitOnLine::SetMemory(int slot, bool used, const std::string& name, const Image& image)
{
    Unit().SetMemory(slot, {used, name, image});
}

Payload UnitOnLine::Last() const
{
    const auto payloads = Payloads();
    return payloads.empty() ? Payload{} : payloads.back();
}
