#include "app/ServiceKeys.h"

#include <Qt>
#include <cstring>
#include <iterator>

namespace {

struct Sequence {
    const char* letters;
    ServiceFunction function;
};

constexpr Sequence kSequences[] = {
    {kResetSequence, ServiceFunction::Reset},
    {kLogoSequence, ServiceFunction::Logo},
};

// The state packs the sequence in progress and the letters matched so far.
constexpr int kStateStride = 16;

int PackState(int sequence, int matched) { return (sequence + 1) * kStateStride + matched; }

bool IsModifierKey(int key)
{
    return key == Qt::Key_Control || key == Qt::Key_Shift || key == Qt::Key_Alt || key == Qt::Key_Meta ||
           key == Qt::Key_AltGr;
}

}  // namespace

ServiceFunction ServiceKeyRecogniser::Feed(int key, bool controlHeld)
{
    if (!controlHeld || IsModifierKey(key)) return ServiceFunction::None;
    if (state_ == 0) {
        for (int s = 0; s < static_cast<int>(std::size(kSequences)); ++s)
            if (key == kSequences[s].letters[0]) state_ = PackState(s, 1);
        return ServiceFunction::None;
    }
    const Sequence& sequence = kSequences[state_ / kStateStride - 1];
    const int matched = state_ % kStateStride;
    if (key != sequence.letters[matched]) {
        state_ = 0;
        return ServiceFunction::None;
    }
    if (matched + 1 == static_cast<int>(std::strlen(sequence.letters))) {
        state_ = 0;
        return sequence.function;
    }
    state_ = PackState(state_ / kStateStride - 1, matched + 1);
    return ServiceFunction::None;
}

ServiceKeyRecogniser& ProcessServiceKeys()
{
    static ServiceKeyRecogniser recogniser;
    return recogniser;
}
