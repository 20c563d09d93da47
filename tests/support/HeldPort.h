// A port held as another copy of the program would hold it: opened (with
// its lock and exclusive mode) by a link of this process while it lives.
#pragma once

#include <string>

#include "link/Link.h"
#include "model/Model.h"

class HeldPort {
public:
    explicit HeldPort(const std::string& device)
    {
        link_.SetDevice(device);
        ok_ = link_.Open();
    }
    bool Ok() const { return ok_; }

private:
    ParameterModel model_{};
    Link link_{model_};
    bool ok_ = false;
};
