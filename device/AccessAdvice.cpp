#include "device/AccessAdvice.h"

namespace qb {

std::u16string NoAccessAdvice() {
#if defined(__linux__)
    // The rule tags the node "uaccess", which opens it to the user at the computer only; for everyone else it
    // gives it to the group plugdev.
    return u"Let this user open it with the udev rule 70-quillanterbrooke.rules. The Debian package installs it "
           u"(then replug the device); by hand, from the program's source folder:\r\n"
           u"sudo cp packaging/70-quillanterbrooke.rules /etc/udev/rules.d/\r\n"
           u"sudo udevadm control --reload-rules\r\n"
           u"sudo udevadm trigger --subsystem-match=hidraw\r\n"
           u"That opens it to the user at the computer. A user who is not (an SSH session, a service) must also "
           u"be in the group plugdev, and log in again:\r\n"
           u"sudo usermod -aG plugdev USERNAME";
#else
    return u"Another program may be using it: close it and try again.";
#endif
}

}  // namespace qb
