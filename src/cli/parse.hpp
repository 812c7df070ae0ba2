// The track-number parse, shared by the command line and the web page.
#pragma once

namespace varnholt {

// The value that means no new main track was given.
constexpr int no_track = -1;

// What a refused track_num is told, followed by the text as given.
constexpr char out_of_range_text[] = "track_num is out of range, must be from -128 to 127: ";

// Reads track_num as atoi does (leading blanks, one sign, digits up to the
// first non-digit, no digits gives 0) but without wrapping. False when the
// value lies outside the signed byte the header stores.
bool parse_track_num(const char* text, int& track);

} // namespace varnholt
