#pragma once

#include <functional>

// Runs a piece of a test in a child process, so that a crash, an abort or a runaway allocation is
// seen as a result instead of ending the test run, and so that the memory the piece needs can be
// measured on its own.
namespace reliability {

struct IsolatedResult {
    bool exited = false;   // ended normally (exitCode is valid)
    int exitCode = -1;     // the body's return value
    int signal = 0;        // the signal that ended it, when it did not exit
    long peakGrowthKb = 0; // resident memory the body added at its peak
    bool crashed() const { return !exited; }
};

// body returns the child's exit code (0 = the piece's checks held).
IsolatedResult runIsolated(const std::function<int()>& body);

} // namespace reliability
