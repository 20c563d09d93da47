// Who has the serving machine's one sound card: a measuring job or the live
// watch, one at a time across the server. Taken and given back on the io
// thread only.
#pragma once

#include <optional>
#include <string>

#include "ApiTypes.h"

class SoundCardClaim {
public:
    // Refuses with 409, naming what has the card, unless it is free.
    void RequireFree() const
    {
        if (holder_) throw RequestError(409, *holder_ + " is running: one at a time through the sound card.");
    }
    // `holder` as a sentence's subject: "A measure of unit1", "The live watch".
    void Take(std::string holder) { holder_ = std::move(holder); }
    void Release() { holder_.reset(); }

private:
    std::optional<std::string> holder_;
};
