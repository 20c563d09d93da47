#include "memfile/ChannelValuesJson.h"

#include <climits>
#include <cmath>
#include <functional>

#include "model/ChannelFields.h"
#include "model/MemoryImage.h"

namespace {

using json = nlohmann::ordered_json;
using FieldRef = std::function<int&(ParameterModel&)>;

std::string Key(const char* name, const ValueUnit& unit) { return std::string(name) + unit.keySuffix; }

// The key of a field's value: its name and its main unit.
std::string MainKey(const char* name, Scale scale)
{
    const std::span<const ValueUnit> units = UnitsOf(scale);
    return units.empty() ? std::string(name) : Key(name, units.front());
}

// Further keys that show the same value in other units (the delay's metres and feet).
std::vector<const ValueUnit*> AlsoShownIn(Scale scale)
{
    std::vector<const ValueUnit*> shown;
    const std::span<const ValueUnit> units = UnitsOf(scale);
    for (std::size_t i = 1; i < units.size(); ++i)
        if (units[i].keySuffix != nullptr) shown.push_back(&units[i]);
    return shown;
}

json UnitValue(const ValueUnit& unit, int step)
{
    const double value = unit.valueOf(step);
    if (unit.decimals == 0) return static_cast<std::int64_t>(std::llround(value));
    return value;
}

bool IsNumeric(const ScaledSteps& steps, int step) { return steps.Contains(step) && !StepWord(steps.scale, step); }

json StepJson(const ScaledSteps& steps, int step)
{
    if (!steps.Contains(step)) return {{"raw", step}, {"outOfRange", true}};
    if (steps.scale == Scale::Switch) return step != 0;
    if (std::optional<std::string> word = StepWord(steps.scale, step)) return *word;
    return UnitValue(UnitsOf(steps.scale).front(), step);
}

void AddField(json& object, const char* name, const ScaledSteps& steps, int step)
{
    object[MainKey(name, steps.scale)] = StepJson(steps, step);
    if (!IsNumeric(steps, step)) return;
    for (const ValueUnit* unit : AlsoShownIn(steps.scale)) object[Key(name, *unit)] = UnitValue(*unit, step);
}

// Every key that the fields' values may take.
template <typename Field>
std::vector<std::string> KeysOf(std::span<const Field> fields)
{
    std::vector<std::string> keys;
    for (const Field& field : fields) {
        keys.push_back(MainKey(field.name, field.steps.scale));
        for (const ValueUnit* unit : AlsoShownIn(field.steps.scale)) keys.push_back(Key(field.name, *unit));
    }
    return keys;
}

std::string Expected(Scale scale)
{
    switch (scale) {
        case Scale::Switch:
            return "true or false";
        case Scale::FilterType:
            return "a filter type name such as \"24dB-butterworth\"";
        case Scale::Threshold:
            return "a number in dBu or \"off\"";
        default:
            return std::string("a number in ") + UnitsOf(scale).front().symbol;
    }
}

// Whether `value` in the field comes back from an image unchanged.
bool FitsItsBytes(const FieldRef& field, int value)
{
    ParameterModel model{};
    field(model) = value;
    std::uint8_t image[kImageSize];
    ModelToImage(model, image);
    ParameterModel back{};
    ImageToModelExact(back, image);
    return field(back) == value;
}

int RawStep(const JsonNode& node, const FieldRef& field)
{
    node.ExpectKeys({"raw", "outOfRange"});
    const JsonNode raw = node.At("raw");
    const int step = static_cast<int>(raw.Integer(INT_MIN, INT_MAX));
    if (const std::optional<JsonNode> flag = node.Find("outOfRange")) flag->Bool();
    if (!FitsItsBytes(field, step)) raw.Fail(raw.Text() + " does not fit the bytes that hold this field");
    return step;
}

int WordStep(const JsonNode& node, const ScaledSteps& steps)
{
    const std::optional<int> step = StepOfWord(steps.scale, node.String());
    if (!step) node.Fail(node.Text() + " is not " + Expected(steps.scale));
    if (!steps.Contains(*step))
        node.Fail(node.Text() + " is step " + std::to_string(*step) + ", outside the steps " +
                  std::to_string(steps.min) + ".." + std::to_string(steps.max) + " of this field");
    return *step;
}

int NumberStep(const JsonNode& node, const ScaledSteps& steps, const ValueUnit& unit)
{
    const GridPlace place = PlaceOnGrid(steps, unit, node.Number());
    if (place.exact) return *place.exact;
    const std::string value = node.Text() + " " + unit.symbol;
    if (place.below && place.above)
        node.Fail(value + " is not a step of this field; the nearest allowed values are " +
                  StepText(steps.scale, *place.below) + " and " + StepText(steps.scale, *place.above));
    node.Fail(value + " is beyond this field's range; the nearest allowed value is " +
              StepText(steps.scale, place.below.value_or(place.above.value_or(steps.min))));
}

int StepFromJson(const JsonNode& node, const ScaledSteps& steps, const FieldRef& field)
{
    const json& value = node.Value();
    if (value.is_object()) return RawStep(node, field);
    if (steps.scale == Scale::Switch) return node.Bool() ? 1 : 0;
    if (steps.scale == Scale::FilterType || value.is_string()) return WordStep(node, steps);
    if (!value.is_number())
        node.Fail("expected " + Expected(steps.scale) + ", or {\"raw\": step}; found " + node.Text());
    return NumberStep(node, steps, UnitsOf(steps.scale).front());
}

// The metres and feet beside the milliseconds: optional, and the same step.
void CheckAlsoShown(const JsonNode& object, const char* name, const ScaledSteps& steps, int step)
{
    for (const ValueUnit* unit : AlsoShownIn(steps.scale)) {
        const std::optional<JsonNode> shown = object.Find(Key(name, *unit));
        if (!shown) continue;
        const std::string mainKey = MainKey(name, steps.scale);
        if (!IsNumeric(steps, step)) shown->Fail("goes only beside a value in " + mainKey);
        if (PlaceOnGrid(steps, *unit, shown->Number()).exact != step)
            shown->Fail(shown->Text() + " does not match " + mainKey + ": " + StepText(steps.scale, step) + " is " +
                        UnitValue(*unit, step).dump() + " " + unit->symbol);
    }
}

int ReadField(const JsonNode& object, const char* name, const ScaledSteps& steps, const FieldRef& field)
{
    const int step = StepFromJson(object.At(MainKey(name, steps.scale)), steps, field);
    CheckAlsoShown(object, name, steps, step);
    return step;
}

}  // namespace

json ChannelValuesJson(const ParameterModel& model, int slot)
{
    json channel = json::object();
    for (const ChannelField& field : ChannelFields()) AddField(channel, field.name, field.steps, field.In(model, slot));
    json bands = json::array();
    for (int band = 0; band < kPeqBands; ++band) {
        json peq = json::object();
        for (const PeqField& field : PeqFields()) AddField(peq, field.name, field.steps, field.In(model, slot, band));
        bands.push_back(std::move(peq));
    }
    channel["peq"] = std::move(bands);
    return channel;
}

void ChannelValuesFromJson(const JsonNode& channel, ParameterModel& model, int slot)
{
    std::vector<std::string> keys = KeysOf(ChannelFields());
    keys.push_back("peq");
    channel.ExpectKeys(keys);
    for (const ChannelField& field : ChannelFields()) {
        const FieldRef ref = [&field, slot](ParameterModel& m) -> int& { return field.In(m, slot); };
        field.In(model, slot) = ReadField(channel, field.name, field.steps, ref);
    }

    const std::vector<std::string> peqKeys = KeysOf(PeqFields());
    const JsonNode bands = channel.At("peq");
    bands.ExpectArray(kPeqBands);
    for (int band = 0; band < kPeqBands; ++band) {
        const JsonNode peq = bands.At(static_cast<std::size_t>(band));
        peq.ExpectKeys(peqKeys);
        for (const PeqField& field : PeqFields()) {
            const FieldRef ref = [&field, slot, band](ParameterModel& m) -> int& { return field.In(m, slot, band); };
            field.In(model, slot, band) = ReadField(peq, field.name, field.steps, ref);
        }
    }
}
