// The command-line run: Varnholt FileName [track_num]
#pragma once

#include <cstdio>

#include "header/file.hpp"

namespace varnholt {

// One whole run: prints every message on out and returns the exit status,
// which is 0 on every path.
int run(int argc, const char* const* argv, std::FILE* out);

// The run of Varnholt name [track] with track parsed, no_track for none:
// prints the tool's messages on out.
Outcome run_file(const char* name, int track, std::FILE* out);

} // namespace varnholt
