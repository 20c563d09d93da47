#include "FieldEdit.h"

#include <charconv>
#include <cstdio>

#include "CliError.h"
#include "model/ChannelFields.h"
#include "model/Scales.h"

namespace {

CliError BadInput(const std::string& message) { return CliError(kExitBadInput, message); }

int StepOf(const std::string& label, const ScaledSteps& steps, const std::string& value)
{
    const TypedStep typed = ParseTypedValue(steps, value);
    if (!typed.step) throw BadInput(label + ": " + typed.error);
    return *typed.step;
}

FieldEdit::Assignment ChannelAssignment(const std::string& channel, int slot, const ChannelField& field,
                                        const std::string& value)
{
    const std::string label = channel + " " + field.name;
    return {label, field.steps.scale, [&field, slot](ParameterModel& model) -> int& { return field.In(model, slot); },
            StepOf(label, field.steps, value)};
}

const ChannelField& SendableChannelField(int slot, const std::string& name)
{
    const ChannelField* field = FindChannelField(name);
    if (field == nullptr) throw BadInput("Unknown channel field: " + name);
    if (slot == kSlotSub && !field->subId)
        throw BadInput("The Sub channel's " + name + " has no parameter message and cannot be set.");
    return *field;
}

int ParameterId(const ChannelField& field, int slot)
{
    return slot == kSlotLeftRight ? field.leftRightId : *field.subId;
}

FieldEdit ChannelFieldEdit(const std::string& channel, int slot, const std::string& name, const std::string& value)
{
    const ChannelField& field = SendableChannelField(slot, name);
    return {slot, 0, ParameterId(field, slot), {ChannelAssignment(channel, slot, field, value)}};
}

// "hpf 24dB-butterworth 80Hz": each value that names a filter type is the
// type, any other the frequency (a bare number is a frequency step).
FieldEdit CrossoverEdit(const std::string& channel, int slot, const std::string& side,
                        const std::vector<std::string>& values)
{
    const ChannelField& type = SendableChannelField(slot, side + "Type");
    const ChannelField& freq = SendableChannelField(slot, side + "Freq");
    FieldEdit edit{slot, 0, ParameterId(type, slot), {}};
    bool typeGiven = false, freqGiven = false;
    for (const std::string& value : values) {
        const bool isType = StepOfWord(Scale::FilterType, value).has_value();
        bool& given = isType ? typeGiven : freqGiven;
        if (given) throw BadInput(side + " takes one filter type and one frequency: " + value);
        given = true;
        edit.assignments.push_back(ChannelAssignment(channel, slot, isType ? type : freq, value));
    }
    return edit;
}

FieldEdit PeqFieldEdit(const std::string& channel, int slot, const std::string& bandText, const std::string& name,
                       const std::string& value)
{
    int band = 0;
    const char* end = bandText.data() + bandText.size();
    const auto [stop, error] = std::from_chars(bandText.data(), end, band);
    if (bandText.empty() || error != std::errc{} || stop != end || band < 0 || band >= kPeqBands)
        throw BadInput("BAND must be 0, 1 or 2: " + bandText);
    const PeqField* field = FindPeqField(name);
    if (field == nullptr) throw BadInput("Unknown PEQ field: " + name);
    const std::string label = channel + " peq " + bandText + " " + name;
    return {slot,
            band,
            field->id,
            {{label, field->steps.scale,
              [field, slot, band](ParameterModel& model) -> int& { return field->In(model, slot, band); },
              StepOf(label, field->steps, value)}}};
}

std::string RangeText(const ScaledSteps& steps)
{
    // The threshold's Off sits below its dBu values.
    const bool offFirst = steps.scale == Scale::Threshold;
    const int first = offFirst ? steps.min + 1 : steps.min;
    return (offFirst ? StepText(steps.scale, steps.min) + ", " : "") + StepText(steps.scale, first) + " .. " +
           StepText(steps.scale, steps.max);
}

std::string FieldLine(const char* name, const ScaledSteps& steps)
{
    char line[160];
    std::snprintf(line, sizeof line, "  %-14s%-20s%-32ssteps %d..%d\n", name, UnitsHelp(steps.scale).c_str(),
                  RangeText(steps).c_str(), steps.min, steps.max);
    return line;
}

}  // namespace

FieldEdit ParseFieldEdit(const std::string& channel, const std::vector<std::string>& words)
{
    const int slot = channel == "lr" ? kSlotLeftRight : kSlotSub;
    const bool crossover = !words.empty() && (words[0] == "hpf" || words[0] == "lpf");
    if (crossover && (words.size() == 2 || words.size() == 3))
        return CrossoverEdit(channel, slot, words[0], {words.begin() + 1, words.end()});
    if (words.size() == 2) return ChannelFieldEdit(channel, slot, words[0], words[1]);
    if (words.size() == 4 && words[0] == "peq") return PeqFieldEdit(channel, slot, words[1], words[2], words[3]);
    throw BadInput(
        "Expected: set CHANNEL FIELD VALUE, set CHANNEL hpf|lpf TYPE FREQ or set CHANNEL peq BAND FIELD VALUE");
}

std::string DescribeFieldEdit(const FieldEdit& edit)
{
    std::string text;
    for (const FieldEdit::Assignment& assignment : edit.assignments)
        text += assignment.label + " " + StepText(assignment.scale, assignment.step) + " (step " +
                std::to_string(assignment.step) + ")\n";
    return text;
}

std::string FieldsHelp()
{
    std::string help =
        "VALUE: a whole number is a raw step, held to the range; a value with its unit goes to the nearest step.\n"
        "Channel fields (set CHANNEL FIELD VALUE):\n";
    for (const ChannelField& field : ChannelFields()) help += FieldLine(field.name, field.steps);
    help +=
        "  hpf, lpf      a filter type and/or a frequency, sent together: set sub hpf 24dB-butterworth 80Hz\n"
        "PEQ fields (set CHANNEL peq BAND FIELD VALUE; BAND 0..2, the index in the JSON \"peq\" arrays):\n";
    for (const PeqField& field : PeqFields()) help += FieldLine(field.name, field.steps);
    help += "Filter types:";
    for (int type = 0; type <= FindChannelField("hpfType")->steps.max; ++type)
        help += (type % 6 == 0 ? "\n  " : " ") + FilterTypeWord(type);
    return help + "\nThe Sub channel has no xoverOn message.";
}
