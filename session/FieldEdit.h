// The arguments of "set": which fields of the model one command writes, the
// steps it writes, and the one parameter message that sends them.
//
//   set CHANNEL FIELD VALUE              a channel field (model/ChannelFields.h)
//   set CHANNEL hpf|lpf VALUE [VALUE]    a crossover side's type and/or frequency
//   set CHANNEL peq BAND FIELD VALUE     a PEQ field of band 0..2
//
// A VALUE is read by ParseTypedValue (model/Units.h): a whole number is a
// raw step held to the field's range (unless the caller refuses it), a
// value with a unit goes to the nearest allowed step and is refused beyond
// the range, a word names its step.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/Model.h"
#include "model/Units.h"

struct FieldEdit {
    struct Assignment {
        std::string label;  // "lr gain", "sub peq 2 freq"
        ScaledSteps steps;  // the field's scale and the steps its editor allows
        std::function<int&(ParameterModel&)> target;
        int step;
    };

    int slot = kSlotLeftRight;
    int band = 0;
    int parameterId = 0;
    std::vector<Assignment> assignments;
};

// Throws CommandError (exit code 2) for arguments that name no field or value.
FieldEdit ParseFieldEdit(const std::string& channel, const std::vector<std::string>& words,
                         StepBeyondRange beyond = StepBeyondRange::Held);

// What the edit set, a line a field: "lr gain -3.5dB (step 121)".
std::string DescribeFieldEdit(const FieldEdit& edit);

// Every field with its units and range, for the help of "set".
std::string FieldsHelp();
