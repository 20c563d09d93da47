// The values of a memory file that lie outside their fields' ranges. The
// header and the trailer say nothing about the records between them: a file
// damaged in its body passes the format check with values the unit never
// holds (a delay of seconds, a hold of thousands). Finding them changes
// nothing in the file; the reader decides what to tell.
#pragma once

#include <string>
#include <vector>

#include "memfile/MemoryFile.h"

struct OutOfRangeValue {
    int memory;         // 1..6
    int channel;        // kSlotLeftRight or kSlotSub
    int band;           // 0..2 for a PEQ field, -1 for a channel field
    const char* field;  // the field's name, as the JSON forms and the command line give it
    int step;           // the value the record holds
};

// In the order of the memories, the channels and the fields.
std::vector<OutOfRangeValue> FindOutOfRangeValues(const MemoryFileImage& file);

// One line per memory: "memory 2: Left&Right delay, Sub PEQ band 1 gain".
std::string DescribeOutOfRangeValues(const std::vector<OutOfRangeValue>& values);
