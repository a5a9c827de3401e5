// Runs the device link's work on the window's thread through the Qt event loop.
#pragma once

#include <functional>
#include <memory>

#include <QObject>

#include "device/Dispatcher.h"

namespace qb {

class QtDispatcher : public Dispatcher {
public:
    // Work runs on the thread that creates the dispatcher.
    QtDispatcher();
    ~QtDispatcher() override;
    QtDispatcher(const QtDispatcher&) = delete;
    QtDispatcher& operator=(const QtDispatcher&) = delete;

    // Safe from any thread. Queued work dies with the context object: Qt discards events posted to a
    // destroyed object, so nothing runs against a window that is gone.
    void post(std::function<void()> work) override;

private:
    std::unique_ptr<QObject> context_;
};

}  // namespace qb
