// The command-line run: Varnholt FileName [track_num]
#pragma once

#include <cstdio>

namespace varnholt {

// The value that means no new main track was given.
constexpr int no_track = -1;

// Reads track_num as atoi does (leading blanks, one sign, digits up to the
// first non-digit, no digits gives 0) but without wrapping. False when the
// value lies outside the signed byte the header stores.
bool parse_track_num(const char* text, int& track);

// One whole run: prints every message on out and returns the exit status,
// which is 0 on every path.
int run(int argc, const char* const* argv, std::FILE* out);

} // namespace varnholt
