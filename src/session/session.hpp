// The card session: it lists recordings, asks once for a new main track
// and sets it, keeping an undo record first. Varnholt.exe runs it when
// Explorer started it (a double-click, or files and folders dropped on it
// or sent to it), and Varnholt-open, the file manager's program for
// recordings and cards, with options for scripts.
#pragma once

#include <cstddef>
#include <cstdio>

namespace varnholt {

// How the session was started, which decides what it says without files,
// whether it reads options, and whether it waits for a key at the end:
// where the window closes with the program, what it printed would vanish
// unread.
enum class Started {
	by_explorer,     // Varnholt.exe, in a console of its own: no options
	open_own_window, // Varnholt-open, alone in a terminal or console opened for it
	open_from_shell  // Varnholt-open, from a shell: it returns at once
};

// The session on the files and folders of argv, Varnholt-open's options
// first. It shows a plan of the recordings among them (a folder's, and its
// subfolders', in name order) that fits on a screen, asks on out for one
// new main track, read from in, asks again before setting it past a
// recording's last track, and only then sets it in each recording whose
// main track it is not, by its main-track byte alone. Messages go to err
// where out carries JSON. limit is the most bytes the listing may take, 0
// for what memory allows. Returns the exit status: 1 when a file or folder
// that may hold a recording could not be opened, read or set, 2 for a
// usage error, else 0; 0 always by_explorer.
int card_session(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err,
                 Started started, std::size_t limit = 0);

} // namespace varnholt
