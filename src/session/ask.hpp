// The session's two questions, read from in, and how it reads a typed
// track number.
#pragma once

#include <cstdio>

namespace varnholt {

enum class Answer { none, number, not_a_number, out_of_range };

// A track number as typed: blanks around an optional sign and digits, from
// -128 to 127 (number, in track). none for blanks alone.
Answer read_answer(const char* text, int& track);

// The new main track for the recordings above, the fewest tracks any of
// them has being min_count: asked until the answer is one the header
// takes. False for none: the end of the input, Enter alone, or -1.
bool ask_track(std::FILE* in, std::FILE* out, unsigned long recordings, int min_count, int& track);

// True only for y or yes, in any case, blanks around it aside: false for
// anything else, Enter alone and the end of the input included.
bool ask_yes(std::FILE* in, std::FILE* out);

} // namespace varnholt
