// The session's two questions, read from in.
#pragma once

#include <cstdio>

#include "session/listing.hpp"

namespace varnholt {

// The new main track, asked until the answer is one the header takes.
// False for none: the end of the input, Enter alone, or -1.
bool ask_track(std::FILE* in, std::FILE* out, const Listing& listing, int& track);

// True only for y or yes, in any case, blanks around it aside.
bool ask_yes(std::FILE* in, std::FILE* out);

} // namespace varnholt
