// What the device operations show besides their message boxes: the LogMemo lines, the lit key, the test button's
// caption and whether the device buttons may be used.
#pragma once

#include <string>

#include "config/UserSink.h"
#include "protocol/Outcome.h"
#include "protocol/Reports.h"

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
    // The identify step accepted the device on the open connection (the status line shows who it is).
    virtual void deviceIdentified(const IdentityReply&) {}
    // A read has completed ("Read Complete" has been shown): what the device holds, block 0 always, blocks 1..16
    // when the messages were read too.
    virtual void showReadBack(const DeviceImage& device) { (void)device; }
    // How far the write or read under way is; {0, 0} when none runs.
    virtual void showProgress(const Progress&) {}
    // Whether the 50 ms timer must run (needsTicks() changed).
    virtual void setTicksNeeded(bool) {}
    // The operation has ended, after every box it shows: exactly once for each operation asked for.
    virtual void finished(const Outcome&) {}
};

}  // namespace qb
