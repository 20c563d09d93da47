#include "measure/PositionWait.h"

PositionChoice PositionWait::Await()
{
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [this] { return cancelled_ || choice_; });
    if (cancelled_) return PositionChoice::Cancel;
    const PositionChoice choice = *choice_;
    choice_.reset();
    return choice;
}

void PositionWait::Answer(PositionChoice choice)
{
    {
        const std::lock_guard lock(mutex_);
        if (choice == PositionChoice::Cancel)
            cancelled_ = true;
        else
            choice_ = choice;
    }
    answered_.notify_all();
}
