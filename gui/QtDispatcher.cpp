#include "gui/QtDispatcher.h"

#include <utility>

namespace qb {

QtDispatcher::QtDispatcher() : context_(std::make_unique<QObject>()) {}

QtDispatcher::~QtDispatcher() = default;

void QtDispatcher::post(std::function<void()> work) {
    QMetaObject::invokeMethod(
        context_.get(), [work = std::move(work)]() { work(); }, Qt::QueuedConnection);
}

}  // namespace qb
