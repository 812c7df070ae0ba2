// What the session finds among the files and folders it is given: each
// recording's path, track count and main track, counted by folder, and the
// files and folders that cannot be opened or read.
#pragma once

#include <cstddef>
#include <cstring>

#include "header/header.hpp"

namespace varnholt {

// Up to this many recordings, the plan and the outcome name each one; past
// it, the plan counts them by folder and by layout, and only failures are
// named.
constexpr unsigned long named_recordings = 20;
// The most lines the plan gives folders, layouts and files that cannot be
// opened: with the rest of it and the question, no plan passes 100 lines.
constexpr std::size_t folder_lines = 80;
constexpr std::size_t layout_lines = 5;
constexpr unsigned long problem_lines = 5;

// A folder with recordings in it, named by the start of the first one's path.
struct Folder {
	std::size_t path;
	std::size_t length;
	unsigned long recordings;
};

// A file that may be a recording but cannot be opened, or a folder that
// cannot be read.
struct Problem {
	std::size_t path;
	int error;
	bool folder;
};

// What the walk found. The room holds an entry for each recording and each
// named problem, one after another: a kind byte, the track count and main
// track as bytes, then the path and its '\0'.
struct Listing {
	char* room;
	std::size_t room_size;
	std::size_t used;
	unsigned long recordings;
	unsigned long others; // files that are surely not recordings
	unsigned long problems;
	unsigned long in_other_folders; // recordings past the folders named
	int min_count;
	bool full;
	std::size_t folder_count;
	Folder folders[folder_lines];
	Problem named[problem_lines];
};

enum : char { recording_entry = 'r', problem_entry = 'p' };
constexpr std::size_t entry_head = 3; // the kind, the count and the main track

// Lists the recordings among the files and folders of argv[1] on, a
// folder's and its subfolders' in name order, until the room is full.
void list_all(Listing& listing, int argc, const char* const* argv);

// Calls each for every recording in the room with its path, track count
// and main track.
template <class Each> void each_recording(const Listing& listing, Each each)
{
	for (const char* entry = listing.room; entry < listing.room + listing.used;) {
		const char* path = entry + entry_head;
		if (entry[0] == recording_entry)
			each(path, signed_byte(static_cast<unsigned char>(entry[1])),
			     signed_byte(static_cast<unsigned char>(entry[2])));
		entry = path + std::strlen(path) + 1;
	}
}

} // namespace varnholt
