#include "LinkTuneUnit.h"

#include <array>

#include "link/Frame.h"
#include "link/Link.h"
#include "model/MemoryImage.h"
#include "unit/UnitCommands.h"

std::optional<ParameterModel> LinkTuneUnit::Setting()
{
    std::array<std::uint8_t, kImageSize> image{};
    if (UnitReadCurrent(link_, image.data()) != kResultDone) return std::nullopt;
    ParameterModel setting = link_.Model();
    ImageToModel(setting, image.data());
    return setting;
}

ApplyResult LinkTuneUnit::Apply(const ParameterModel& from, const ParameterModel& to, const std::string&)
{
    const ApplyResult result = SendSettingStep(
        from, to,
        [this](const std::vector<std::uint8_t>& payload) {
            const std::vector<std::uint8_t> frame = FrameOf(payload);
            return SendFramed(link_, frame.data(), static_cast<int>(frame.size())) == kResultDone;
        },
        cancel_);
    // The link's model mirrors what the unit holds (or may hold).
    ParameterModel& model = link_.Model();
    const std::vector<FieldChange> changes = SettingDifferences(model, result.Done() ? to : from);
    PutAfter(model, changes);
    PutAfter(model, result.leftChanged);
    return result;
}
