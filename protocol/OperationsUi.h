// What the device operations show besides their message boxes: the LogMemo lines, the lit key, the test button's
// caption and whether the device buttons may be used.
#pragma once

#include <string>

#include "config/UserSink.h"

namespace qb {

struct DeviceImage;

inline constexpr char16_t kTestKeypadCaption[] = u"Test Keypad";
inline constexpr char16_t kStopTestCaption[] = u"Stop Test";

class OperationsUi : public MessageSink {
public:
    virtual void clearLog() = 0;
    virtual void addLogLine(const std::u16string& line) = 0;
    // Lights the legend edit of the key with row-major index `legendIndex` in lime green and returns the
    // other fifteen to the window colour; -1 lights none.
    virtual void showKey(int legendIndex) = 0;
    // "Test Keypad" or "Stop Test": follows whether a keypad test runs.
    virtual void setTestButtonCaption(const std::u16string& caption) = 0;
    // True while a write or a read waits for an answer: the window disables "Write To VELMORA",
    // "Read From VELMORA" and "Test Keypad" meanwhile.
    virtual void setBusy(bool busy) = 0;
    // A read has completed ("Read Complete" has been shown): what the device holds, block 0 always, blocks 1..16
    // when the messages were read too.
    virtual void showReadBack(const DeviceImage& device) { (void)device; }
};

}  // namespace qb
