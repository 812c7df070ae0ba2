// The command-line run: Varnholt FileName [track_num]
#pragma once

#include <cstdio>

namespace varnholt {

// One whole run: prints every message on out and returns the exit status,
// which is 0 on every path.
int run(int argc, const char* const* argv, std::FILE* out);

} // namespace varnholt
