// What differs between POSIX and Windows; the build compiles one of
// posix.cpp and windows.cpp.
#pragma once

#include <cstdio>

namespace varnholt {

// Readies the process before a run: the standard descriptors are open, so
// no file the tool opens can take their place, and a write that fails
// (a reader of standard output that has gone, a file-size limit) returns an
// error instead of ending the process. Called from main only.
void prepare_process();

// Opens name for reading and writing in binary mode, neither created nor
// truncated, only when it is a regular file; null otherwise. Nothing is read
// and the open never waits (a FIFO, a terminal).
std::FILE* open_recording(const char* name);

} // namespace varnholt
