// Runs a piece of work on the window's thread on behalf of another thread and lets that thread wait for it.
#pragma once

#include <functional>

namespace qb {

class HandOff;  // defined in HandOff.h

class Dispatcher {
public:
    virtual ~Dispatcher() = default;
    // Queues `work` to run on the owning (window) thread. Must not run it inline. The work is dropped if the
    // dispatcher is destroyed before it ran.
    virtual void post(std::function<void()> work) = 0;
};

}  // namespace qb
