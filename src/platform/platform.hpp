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

// How a recording is opened: to read it or to change it; the _no_link ones
// only when the name itself is the file, not a link to one (an undo, whose
// names were files when they were changed).
enum class Access { read, change, read_no_link, change_no_link };

// Opens name in binary mode, neither created nor truncated, only when it is
// a regular file on a file system; null otherwise, with errno telling why,
// or 0 for a name that opens but is not such a file (a device, a FIFO, a
// link refused). Nothing is read and the open never waits (a FIFO, a
// terminal).
std::FILE* open_recording(const char* name, Access access);

// Cuts the open file to size bytes. True when the system did.
bool truncate_file(std::FILE* file, std::size_t size);

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

// The folder that keeps the card session's undo records, made with its
// parents where missing, into path of size bytes, ending in a separator: on
// POSIX $XDG_STATE_HOME/varnholt/, by default ~/.local/state/varnholt/; on
// Windows %LOCALAPPDATA%\Varnholt\. False where it cannot be made, with
// errno telling why (ENAMETOOLONG past size), or 0 where nothing names a
// place for it (no home).
bool state_folder(char* path, std::size_t size);

// path made whole, into whole of size bytes, so that it names the same
// file wherever a process works: from the process's working folder where it
// is relative, and on Windows as the system takes it (\name on that folder's
// drive, C:name in drive C:'s working folder). False, with errno telling
// why, where the working folder is gone or the path is too long.
bool whole_path(const char* path, char* whole, std::size_t size);

// Creates path, which must not exist yet, to be written by its owner alone.
// Null with errno telling why.
std::FILE* create_file(const char* path);

// Writes what file holds through to the disk. True only when the system
// says it did.
bool sync_file(std::FILE* file);

// The time now, in seconds since 1970 and the nanoseconds past them (to
// the system clock's own step).
void time_now(long long& seconds, long& nanoseconds);

// The process's number, which no other process running has.
unsigned long process_id();

// Renames from to a name that must not exist yet, and removes path: true
// when done. Both names are in the state folder.
bool rename_file(const char* from, const char* to);
bool remove_file(const char* path);

// Writes the names in folder through to the disk, after a file in it was
// made or renamed, where the system can (POSIX); true where it cannot, as
// Windows keeps a file's name with the file.
bool sync_folder(const char* folder);

// Where the last part of path, past its folders, begins.
std::size_t name_start(const char* path);

// Titles the console window the process runs in (nothing on POSIX).
void set_title(const char* title);

// Waits for one key on in, pressed from now on (keys typed ahead are
// dropped): on a Windows console any key but a modifier alone, on a POSIX
// terminal one byte without waiting for Enter; elsewhere one byte.
void wait_for_key(std::FILE* in);

// What a walk finds: a file (anything but a folder, links to folders
// included, which are never followed), or a folder it cannot list, with
// errno telling why.
enum class Found { file, unreadable_folder };
using Visit = void (*)(void* context, const char* path, Found found);

// Calls visit for everything in folder and in the folders below it, in name
// order, each folder entered where its name comes. False, with nothing
// visited, when folder is not a folder.
bool walk_folder(const char* folder, Visit visit, void* context);

} // namespace varnholt
