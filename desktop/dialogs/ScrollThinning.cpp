#include "dialogs/ScrollThinning.h"

int ScrollStep(ScrollCode code)
{
    switch (code) {
        case ScrollCode::LineBack:
            return -1;
        case ScrollCode::LineForward:
            return 1;
        case ScrollCode::PageBack:
            return -5;
        case ScrollCode::PageForward:
            return 5;
        case ScrollCode::ToStart:
            return -5;
        case ScrollCode::ToEnd:
            return 1;
        case ScrollCode::ThumbTrack:
        case ScrollCode::ThumbRelease:
        case ScrollCode::EndScroll:
            return 0;
    }
    return 0;
}

bool IsCountedScroll(ScrollCode code)
{
    return code == ScrollCode::LineBack || code == ScrollCode::LineForward || code == ScrollCode::ThumbTrack;
}

bool SendThinner::ShouldSend(ScrollCode code)
{
    if (IsCountedScroll(code)) {
        if (++count_ < kEveryNth) return false;
        count_ = 0;
        return true;
    }
    if (code == ScrollCode::ThumbRelease || code == ScrollCode::EndScroll) {
        count_ = 0;
        return true;
    }
    return false;
}

void PendingGainSend::Note(Clock::time_point now)
{
    pending_ = true;
    last_ = now;
}

bool PendingGainSend::TakeIfDue(Clock::time_point now)
{
    if (!pending_ || now - last_ <= kQuietTime) return false;
    pending_ = false;
    return true;
}
