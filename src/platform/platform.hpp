// What differs between POSIX and Windows; the build compiles one of
// posix.cpp and windows.cpp.
#pragma once

#include <cstddef>
#include <cstdio>

#if defined(__GNUC__)
#define VARNHOLT_PRINTF_LIKE __attribute__((format(printf, 2, 3)))
#else
#define VARNHOLT_PRINTF_LIKE
#endif

namespace varnholt {

// Readies the process before a run: the standard descriptors are open, so
// no file the tool opens can take their place, and a write that fails
// (a reader of standard output that has gone, a file-size limit) returns an
// error instead of ending the process. Called from main only.
void prepare_process();

// Opens name for reading and writing in binary mode, neither created nor
// truncated, only when it is a regular file on a file system; null
// otherwise. Nothing is read and the open never waits (a FIFO, a terminal).
std::FILE* open_recording(const char* name);

// Writes count bytes at offset of the open recording in one positional
// request, past the stream's buffer and its retries. True only when all
// count bytes were taken.
bool write_at(std::FILE* file, std::size_t offset, const unsigned char* bytes, std::size_t count);

// printf onto out. A Windows console gets the UTF-8 text as UTF-16, so a
// name shows as typed without any change to the console.
void print(std::FILE* out, const char* format, ...) VARNHOLT_PRINTF_LIKE;

} // namespace varnholt
