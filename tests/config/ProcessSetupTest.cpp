// What both programs do before they open anything: standard descriptors held, broken pipes survived.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "config/ProcessSetup.h"

namespace qb {
namespace {

// Runs `body` in a child process; its exit status.
template <typename Body>
int InChild(Body body) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(ProcessSetup, AClosedStandardOutputIsHeldAndToldAndNoFileTakesItsPlace) {
    EXPECT_EQ(InChild([] {
                  ::close(1);
                  if (!HoldStandardDescriptors()) return 1;
                  const int file = ::open("/dev/null", O_RDONLY);
                  return file == 1 ? 2 : 0;  // a file opened later must not become standard output
              }),
              0);
    EXPECT_EQ(InChild([] { return HoldStandardDescriptors() ? 1 : 0; }), 0) << "nothing closed, nothing told";
}

TEST(ProcessSetup, AWriteToAPipeWithoutReaderFailsInsteadOfEndingTheProgram) {
    EXPECT_EQ(InChild([] {
                  IgnoreBrokenPipes();
                  int ends[2];
                  if (::pipe(ends) != 0) return 1;
                  ::close(ends[0]);
                  const ssize_t written = ::write(ends[1], "x", 1);
                  return written < 0 && errno == EPIPE ? 0 : 3;
              }),
              0);
}

}  // namespace
}  // namespace qb
#endif
