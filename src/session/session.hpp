// The session that lists recordings, asks once for a new main track and
// sets it: Varnholt.exe started from Explorer (a double-click, or files and
// folders dropped on it or sent to it), and Varnholt-open, the file
// manager's program for recordings and cards.
#pragma once

#include <cstddef>
#include <cstdio>

namespace varnholt {

// How the session was started, which decides what it says without files
// and whether it waits for a key at the end: where the window closes with
// the program, what it printed would vanish unread.
enum class Started {
	by_explorer,     // Varnholt.exe, in a console of its own
	open_own_window, // Varnholt-open, alone in a terminal or console opened for it
	open_from_shell  // Varnholt-open, from a shell: it returns at once
};

// Every argument is a file or a folder, never a track number. Shows a plan
// of the recordings among them (a folder's, and its subfolders', in name
// order) that fits on a screen, asks on out for one new main track, read
// from in, asks again before setting it past a recording's last track, and
// only then sets it in each recording whose main track it is not, by its
// main-track byte alone.
// Returns the exit status: 1 when a file or folder that may hold a
// recording could not be opened, read or set, 2 for Varnholt-open without
// arguments, else 0; 0 always by_explorer.
int card_session(int argc, const char* const* argv, std::FILE* in, std::FILE* out, Started started);

// The same, with the recordings' paths kept in the room given.
int explorer_session(int argc, const char* const* argv, std::FILE* in, std::FILE* out, char* room,
                     std::size_t room_size, Started started);

} // namespace varnholt
