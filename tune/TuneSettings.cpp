#include "TuneSettings.h"

#include <cstdio>

namespace {

std::string Figure(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

void CheckWithin(TuneField field, const char* what, double value, double low, double high)
{
    if (!(value >= low && value <= high))
        throw TuneSettingError(field, std::string(what) + " is " + RangeText(field) + ": " + Figure(value) + " is not.");
}

}  // namespace

TuneSettingError::TuneSettingError(TuneField field, const std::string& message)
    : std::invalid_argument(message), field_(field)
{
}

std::string RangeText(TuneField field)
{
    if (field == TuneField::SubOffset) return Figure(-kMostSubOffsetDb) + " to " + Figure(kMostSubOffsetDb) + " dB";
    return "0 to " + Figure(kMostMaxRiseDb) + " dB";
}

void CheckTuneSettings(const TuneSettings& settings)
{
    CheckMeasureSettings(settings.measure);
    const LevelOptions& levels = settings.options.levels;
    CheckWithin(TuneField::SubOffset, "The Sub's offset", levels.subOffsetDb, -kMostSubOffsetDb, kMostSubOffsetDb);
    CheckWithin(TuneField::MaxRise, "The largest rise", levels.maxRiseDb, 0.0, kMostMaxRiseDb);
}
