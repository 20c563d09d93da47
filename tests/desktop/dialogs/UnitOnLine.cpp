#include "tests/desktop/dialogs/UnitOnLine.h"

#include "link/Transport.h"
#include "model/Model.h"
#include "unit/UnitOperations.h"

bool UnitOnLine::Open()
{
    model = ParameterModel{};
    LoadDefaults();
    if (!unit_.Start() || CommInit() != 1) return false;
    CommSetPortDevice(unit_.DevicePath());
    if (CommOpen() == 0) return false;
    return ConnectUnit([](std::uint8_t) {}) == ConnectResult::Connected;
}

void UnitOnLine::Close()
{
    CommShutdown();
    unit_.Stop();
}

void UnitOnLine::Reset()
{
    model = ParameterModel{};
    LoadDefaults();
    model.connected = 1;
    unit_.ClearReceived();
}

Payload UnitOnLine::Last() const
{
    const auto payloads = Payloads();
    return payloads.empty() ? Payload{} : payloads.back();
}
