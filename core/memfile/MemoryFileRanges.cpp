#include "memfile/MemoryFileRanges.h"

#include "model/ChannelFields.h"

namespace {

const char* ChannelLabel(int channel) { return channel == kSlotSub ? "Sub" : "Left&Right"; }

void FindInChannel(const ParameterModel& record, int memory, int channel, std::vector<OutOfRangeValue>& found)
{
    for (const ChannelField& field : ChannelFields()) {
        if (channel == kSlotSub && !field.subId) continue;  // a byte the Sub does not use
        const int step = field.In(record, channel);
        if (!field.steps.Contains(step)) found.push_back({memory, channel, -1, field.name, step});
    }
    for (int band = 0; band < kPeqBands; ++band)
        for (const PeqField& field : PeqFields()) {
            const int step = field.In(record, channel, band);
            if (!field.steps.Contains(step)) found.push_back({memory, channel, band, field.name, step});
        }
}

std::string Describe(const OutOfRangeValue& value)
{
    std::string text = ChannelLabel(value.channel);
    if (value.band >= 0) text += " PEQ band " + std::to_string(value.band + 1);
    return text + " " + value.field;
}

}  // namespace

std::vector<OutOfRangeValue> FindOutOfRangeValues(const MemoryFileImage& file)
{
    std::vector<OutOfRangeValue> found;
    for (int memory = 1; memory <= kMemorySlots; ++memory) {
        const SlotRecord record = ReadSlotRecord(file, memory - 1);
        ParameterModel values{};
        ImageToModelExact(values, record.imageBlock.data());
        for (const int channel : {kSlotLeftRight, kSlotSub}) FindInChannel(values, memory, channel, found);
    }
    return found;
}

std::string DescribeOutOfRangeValues(const std::vector<OutOfRangeValue>& values)
{
    std::string text;
    int memory = 0;
    for (const OutOfRangeValue& value : values) {
        if (value.memory != memory) {
            if (memory != 0) text += "\n";
            memory = value.memory;
            text += "memory " + std::to_string(memory) + ": ";
        } else {
            text += ", ";
        }
        text += Describe(value);
    }
    return text;
}
