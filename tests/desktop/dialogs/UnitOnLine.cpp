#include "tests/desktop/dialogs/UnitOnLine.h"

#include "app/UnitLink.h"
#include "unit/UnitOperations.h"

bool UnitOnLine::Open()
{
    model = ParameterModel{};
    LoadDefaults(model);
    if (!unit_.Start()) return false;
    UnitLink().SetDevice(unit_.DevicePath());
    if (!UnitLink().Open()) return false;
    return ConnectUnit(UnitLink(), [](std::uint8_t) {}) == ConnectResult::Connected;
}

void UnitOnLine::Close()
{
    CloseUnitPort();
    unit_.Stop();
}

void UnitOnLine::Reset()
{
    model = ParameterModel{};
    LoadDefaults(model);
    model.connected = 1;
    unit_.ClearReceived();
}

std::vector<Payload> UnitOnLine::Payloads() const
{
    UnitWorker().WaitIdle();
    return unit_.ReceivedPayloads();
}

Payload UnitOnLine::Last() const
{
    const auto payloads = Payloads();
    return payloads.empty() ? Payload{} : payloads.back();
}
