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
// otherwise, with errno telling why, or 0 for a name that opens but is not
// such a file (a device, a FIFO). Nothing is read and the open never waits
// (a FIFO, a terminal).
std::FILE* open_recording(const char* name);

// Writes count bytes at offset of the open recording in one positional
// request, past the stream's buffer and its retries. True only when all
// count bytes were taken.
bool write_at(std::FILE* file, std::size_t offset, const unsigned char* bytes, std::size_t count);

// printf onto out. A Windows console gets the UTF-8 text as UTF-16, so a
// name shows as typed without any change to the console.
void print(std::FILE* out, const char* format, ...) VARNHOLT_PRINTF_LIKE;

// Windows only: standard input, the console, only on positive evidence
// that Explorer started the process (a double-click, a drop, Send to): it
// is alone on its console, standard input and output are that console, and
// its parent is explorer.exe. Null whenever one of these questions gets no
// answer.
std::FILE* started_from_explorer();

// True when the window the process shows in closes with it: on Windows it
// is alone on its console; on POSIX it leads its session, as a program that
// a terminal was opened to run does (a shell's commands never do).
bool window_closes_with_process();

// True when out is a terminal or a console, which a line can be
// rewritten on.
bool is_terminal(std::FILE* out);

// Where the last part of path, past its folders, begins.
std::size_t name_start(const char* path);

// Titles the console window the process runs in (nothing on POSIX).
void set_title(const char* title);

// Waits for one key on in, pressed from now on (keys typed ahead are
// dropped): on a Windows console any key but a modifier alone, on a POSIX
// terminal one byte without waiting for Enter; elsewhere one byte.
void wait_for_key(std::FILE* in);

// What a walk finds: a file (anything but a folder, links to folders
// included, which are never followed), or a folder it cannot list.
enum class Found { file, unreadable_folder };
using Visit = void (*)(void* context, const char* path, Found found);

// Calls visit for everything in folder and in the folders below it, in name
// order, each folder entered where its name comes. False, with nothing
// visited, when folder is not a folder.
bool walk_folder(const char* folder, Visit visit, void* context);

} // namespace varnholt
