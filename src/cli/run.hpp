// The command-line run: Varnholt FileName [track_num]
#pragma once

#include <cstdio>

#include "header/file.hpp"

namespace varnholt {

// One whole run: prints every message on out and returns the exit status,
// which is 0 on every path.
int run(int argc, const char* const* argv, std::FILE* out);

// The process's run: the Explorer session, answered on console, when
// Explorer started it; the command line when console is null. Returns the
// exit status, 0 on every path.
int start(int argc, const char* const* argv, std::FILE* console, std::FILE* out);

// Varnholt-open: the session on the files and folders given, answered on
// in; own_window when the window closes with the program, so that it waits
// for a key at the end. Returns the exit status (see explorer_session).
int open_session(int argc, const char* const* argv, std::FILE* in, std::FILE* out, bool own_window);

// The run of Varnholt name [track] with track parsed, no_track for none:
// prints the tool's messages on out.
Outcome run_file(const char* name, int track, std::FILE* out);

} // namespace varnholt
