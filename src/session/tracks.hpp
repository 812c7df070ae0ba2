// What a new main track does to a recording, judged by its track count and
// main track; shared by the session and the web page.
#pragma once

#include <cstddef>

namespace varnholt {

enum class Change {
	none,      // no track given: nothing is written
	already,   // the main track is already the one given: nothing is written
	past_last, // the recording has no such track: written only when confirmed
	set        // the main-track byte is written
};

Change change_for(int count, int main, int track);

// The tracks that every recording of at least min_count tracks has, as the
// question names them: "0", "0 or 1", "0 to 3"; empty when min_count is
// below 1. text has room for size bytes; tracks_text_size is always enough.
constexpr std::size_t tracks_text_size = 16;
void name_tracks(int min_count, char* text, std::size_t size);

} // namespace varnholt
