// A recording on disk: opened, looked at and changed through the header
// operations, with nothing printed.
#pragma once

#include <cstdio>

#include "header/header.hpp"

namespace varnholt {

// How one file's run ended.
enum class Outcome { cannot_open, empty, not_recording, reported, set, not_written, already };

// What the session learns of a file; nothing is printed.
struct Look {
	Outcome outcome;
	int count; // a recording's track count and main track
	int main;
	int error; // cannot_open: errno, 0 for a name that is not a regular file
};

// Opens name and reads its header: reported for a recording, which alone is
// left open in file.
Outcome open_header(const char* name, Header& header, std::FILE*& file);

// Sets track in the open recording and closes it. Some file systems report
// a failed write only at the close, so the change counts once the file is
// closed.
Outcome set_and_close(std::FILE* file, Header& header, int track);

// What Varnholt name would say of name before any change: reported for a
// recording. Writes nothing.
Look inspect(const char* name);

// Sets track in name as Varnholt name track does, but without a word, and
// without a write when its main track is already track: already.
Look change_file(const char* name, int track);

} // namespace varnholt
