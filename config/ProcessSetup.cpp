#include "config/ProcessSetup.h"

#include <csignal>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace qb {

bool HoldStandardDescriptors() {
#if defined(_WIN32)
    return false;
#else
    bool outputClosed = false;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        if (fd == 1) outputClosed = true;
        // open() takes the lowest free descriptor: this one.
        const int held = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (held != fd && held >= 0) ::close(held);
    }
    return outputClosed;
#endif
}

void IgnoreBrokenPipes() {
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

}  // namespace qb
