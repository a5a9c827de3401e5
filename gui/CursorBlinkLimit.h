// The text cursor stops blinking after a while without keyboard or mouse input, as on desktops that limit
// blinking: a window left alone then wakes the process for nothing at all. The next input starts it again.
#pragma once

#include <QObject>
#include <QTimer>

namespace qb {

class CursorBlinkLimit : public QObject {
public:
    static constexpr int kBlinkForMs = 10000;

    explicit CursorBlinkLimit(QObject* parent = nullptr);
    ~CursorBlinkLimit() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int flashTime_;
    QTimer stop_;
};

}  // namespace qb
