// A recording on disk: opened, looked at and changed through the header
// operations, with nothing printed.
#pragma once

#include <cstddef>
#include <cstdio>

#include "header/header.hpp"
#include "platform/platform.hpp"

namespace varnholt {

// How one file's run ended.
enum class Outcome { cannot_open, empty, not_recording, reported, set, not_written, already };

// What the session learns of a file; nothing is printed.
struct Look {
	Outcome outcome;
	int count; // a recording's track count and main track
	int main;
	int error;        // cannot_open: errno, 0 for a name that is not a regular file
	std::size_t size; // the bytes read, up to read_window: a short file's length
};

// A recording's length as the session keeps it: up to rewrite_size, the
// length that setting its main track grows a shorter file to.
inline std::size_t kept_size(const Look& look)
{
	return look.size < rewrite_size ? look.size : rewrite_size;
}

// Opens name and reads its header: reported for a recording, which alone is
// left open in file.
Outcome open_header(const char* name, Access access, Header& header, std::FILE*& file);

// The same, with what it learnt.
Look look_at(const char* name, Access access, Header& header, std::FILE*& file);

// What Varnholt name would say of name before any change: reported for a
// recording. Opens it only to read it.
Look inspect(const char* name);

// Sets track in the open recording and closes it. Some file systems report
// a failed write only at the close, so the change counts once the file is
// closed.
Outcome set_and_close(std::FILE* file, Header& header, int track);

// Cuts the open recording back to size bytes and closes it, as set_and_close.
Outcome cut_and_close(std::FILE* file, std::size_t size);

} // namespace varnholt
