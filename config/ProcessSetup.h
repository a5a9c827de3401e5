// What both programs do first, before they open anything.
#pragma once

namespace qb {

// Descriptors 0, 1 and 2 that were closed when the program started are held open on the null device, so that no
// file the program opens later (a trace, a log) takes the place of standard output. Returns whether standard
// output was closed: what the program writes there is then lost, which a command line reports as a failure.
bool HoldStandardDescriptors();

// A write to a pipe whose reader has gone fails like any other write instead of ending the program.
void IgnoreBrokenPipes();

}  // namespace qb
