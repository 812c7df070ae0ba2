// An undo record read back, for Varnholt-open --undo: each line's hash
// checked and its fact read, in memory that grows to a limit at most.
#pragma once

#include <cstddef>

#include "session/record.hpp"

namespace varnholt {

// A change as the record keeps it.
struct RecordedChange {
	char* path;
	int main;         // the main track before it
	std::size_t size; // the file's size before it, up to 48
	bool kept;        // not made after all
};

// A record read back, whole and trusted, in memory of at most limit bytes.
struct Recorded {
	std::size_t limit = 0;
	char path[record_path_size] = "";
	char* text = nullptr;
	std::size_t text_size = 0;
	std::size_t length = 0; // of the text read
	char* memory = nullptr; // the changes
	std::size_t memory_size = 0;
	unsigned long count = 0;
	long long started = 0;
	int track = 0;
	unsigned long line = 0; // the line being read: where a fault is

	RecordedChange* changes() const { return reinterpret_cast<RecordedChange*>(memory); }
};

// What read_last found: the last record, read whole and trusted; none;
// one damaged, cut short or edited (its path and line tell where); one
// that cannot be read, errno telling why.
enum class Last { found, none, untrusted, unreadable };

// The last record in the state folder not yet undone, into recorded, whose
// limit is set.
Last read_last(Recorded& recorded);

void free_recorded(Recorded& recorded);

} // namespace varnholt
