#include "gui/CursorBlinkLimit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>

namespace qb {

CursorBlinkLimit::CursorBlinkLimit(QObject* parent)
    : QObject(parent), flashTime_(QGuiApplication::styleHints()->cursorFlashTime()) {
    stop_.setSingleShot(true);
    stop_.setInterval(kBlinkForMs);
    // Flash time 0: the cursor is shown steadily, without a timer.
    connect(&stop_, &QTimer::timeout, this, [] { QGuiApplication::styleHints()->setCursorFlashTime(0); });
    QGuiApplication::instance()->installEventFilter(this);
    stop_.start();
}

CursorBlinkLimit::~CursorBlinkLimit() {
    QGuiApplication::styleHints()->setCursorFlashTime(flashTime_);
}

bool CursorBlinkLimit::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::FocusIn:
        case QEvent::Wheel:
            if (QGuiApplication::styleHints()->cursorFlashTime() == 0)
                QGuiApplication::styleHints()->setCursorFlashTime(flashTime_);
            stop_.start();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace qb
