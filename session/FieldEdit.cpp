#include "FieldEdit.h"

#include <charconv>
#include <cstdio>

#include "CommandError.h"
#include "model/ChannelFields.h"
#include "model/Scales.h"

namespace {

CommandError BadInput(const std::string& message) { return CommandError(kExitBadInput, message); }

// The channel an edit names, and how its values are read.
struct EditedChannel {
    const std::string& name;
    int slot;
    StepBeyondRange beyond;
};

int StepOf(const std::string& label, const ScaledSteps& steps, const std::string& value, StepBeyondRange beyond)
{
    const TypedStep typed = ParseTypedValue(steps, value, beyond);
    if (!typed.step) throw BadInput(label + ": " + typed.error);
    return *typed.step;
}

FieldEdit::Assignment ChannelAssignment(const EditedChannel& channel, const ChannelField& field,
                                        const std::string& value)
{
    const std::string label = channel.name + " " + field.name;
    return {label, field.steps,
            [&field, slot = channel.slot](ParameterModel& model) -> int& { return field.In(model, slot); },
            StepOf(label, field.steps, value, channel.beyond)};
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

FieldEdit ChannelFieldEdit(const EditedChannel& channel, const std::string& name, const std::string& value)
{
    const ChannelField& field = SendableChannelField(channel.slot, name);
    return {channel.slot, 0, ParameterId(field, channel.slot), {ChannelAssignment(channel, field, value)}};
}

// "hpf 24dB-butterworth 80Hz": each value that names a filter type is the
// type, any other the frequency (a bare number is a frequency step).
FieldEdit CrossoverEdit(const EditedChannel& channel, const std::string& side, const std::vector<std::string>& values)
{
    const ChannelField& type = SendableChannelField(channel.slot, side + "Type");
    const ChannelField& freq = SendableChannelField(channel.slot, side + "Freq");
    FieldEdit edit{channel.slot, 0, ParameterId(type, channel.slot), {}};
    bool typeGiven = false, freqGiven = false;
    for (const std::string& value : values) {
        const bool isType = StepOfWord(Scale::FilterType, value).has_value();
        bool& given = isType ? typeGiven : freqGiven;
        if (given) throw BadInput(side + " takes one filter type and one frequency: " + value);
        given = true;
        edit.assignments.push_back(ChannelAssignment(channel, isType ? type : freq, value));
    }
    return edit;
}

FieldEdit PeqFieldEdit(const EditedChannel& channel, const std::string& bandText, const std::string& name,
                       const std::string& value)
{
    int band = 0;
    const char* end = bandText.data() + bandText.size();
    const auto [stop, error] = std::from_chars(bandText.data(), end, band);
    if (bandText.empty() || error != std::errc{} || stop != end || band < 0 || band >= kPeqBands)
        throw BadInput("BAND must be 0, 1 or 2: " + bandText);
    const PeqField* field = FindPeqField(name);
    if (field == nullptr) throw BadInput("Unknown PEQ field: " + name);
    const std::string label = channel.name + " peq " + bandText + " " + name;
    return {
        channel.slot,
        band,
        field->id,
        {{label, field->steps,
          [field, slot = channel.slot, band](ParameterModel& model) -> int& { return field->In(model, slot, band); },
          StepOf(label, field->steps, value, channel.beyond)}}};
}

std::string FieldLine(const char* name, const ScaledSteps& steps)
{
    char line[160];
    std::snprintf(line, sizeof line, "  %-14s%-20s%-32ssteps %d..%d\n", name, UnitsHelp(steps.scale).c_str(),
                  RangeText(steps).c_str(), steps.min, steps.max);
    return line;
}

}  // namespace

FieldEdit ParseFieldEdit(const std::string& channel, const std::vector<std::string>& words, StepBeyondRange beyond)
{
    const EditedChannel edited{channel, channel == "lr" ? kSlotLeftRight : kSlotSub, beyond};
    const bool crossover = !words.empty() && (words[0] == "hpf" || words[0] == "lpf");
    if (crossover && (words.size() == 2 || words.size() == 3))
        return CrossoverEdit(edited, words[0], {words.begin() + 1, words.end()});
    if (words.size() == 2) return ChannelFieldEdit(edited, words[0], words[1]);
    if (words.size() == 4 && words[0] == "peq") return PeqFieldEdit(edited, words[1], words[2], words[3]);
    throw BadInput(
        "Expected: set CHANNEL FIELD VALUE, set CHANNEL hpf|lpf TYPE FREQ or set CHANNEL peq BAND FIELD VALUE");
}

std::string DescribeFieldEdit(const FieldEdit& edit)
{
    std::string text;
    for (const FieldEdit::Assignment& assignment : edit.assignments)
        text += assignment.label + " " + StepText(assignment.steps.scale, assignment.step) + " (step " +
                std::to_string(assignment.step) + ")\n";
    return text;
}

std::string FieldsHelp()
{
    std::string help =
        "VALUE: a whole number is a raw step, held to the range; a value with its unit goes to the nearest step\n"
        "(beyond the range it is refused).\n"
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
