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

// What an undo does to a recording that a change set from main track was,
// when it had size bytes, to main track track, now that its main track is
// now and length bytes are read from its start (up to 512): set it
// back where it still holds what the change wrote, already where it is as
// it was, none (left as it is) for anything else. A recording the change
// grew holds what it wrote at 48 bytes only, as bytes added since would go
// with the cut back.
Change undo_for(int was, std::size_t size, int track, int now, std::size_t length);

// The tracks that every recording of at least min_count tracks has, as the
// question names them: "0", "0 or 1", "0 to 3"; empty when min_count is
// below 1. text has room for size bytes; tracks_text_size is always enough.
constexpr std::size_t tracks_text_size = 16;
void name_tracks(int min_count, char* text, std::size_t size);

} // namespace varnholt
