// What the session finds among the files and folders it is given: each
// recording's path, track count, main track and size, counted by folder,
// and the files and folders that cannot be opened or read.
#pragma once

#include <cstddef>
#include <cstdio>
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

// What the walk found. The room, grown as the walk goes, holds an entry for
// each recording and each named problem, one after another: a kind byte,
// the track count and main track as bytes, the file's size up to 48, then
// the path and its '\0'.
struct Listing {
	std::size_t limit; // the most bytes the room takes; 0 for what memory allows
	std::FILE* json;   // where problems go as JSON Lines when found; null to name them
	bool kept;         // whether recordings are kept, or go to json when found
	char* room;
	std::size_t room_size;
	std::size_t used;
	unsigned long recordings;
	unsigned long others; // files that are surely not recordings
	unsigned long problems;
	unsigned long in_other_folders; // recordings past the folders named
	int min_count;
	bool full; // the room could grow no more: the walk stopped
	std::size_t folder_count;
	Folder folders[folder_lines];
	Problem named[problem_lines];
};

enum : char { recording_entry = 'r', problem_entry = 'p' };
constexpr std::size_t entry_head = 4; // the kind, the count, the main track, the size

// Grows block, of capacity bytes, to hold size bytes, at least doubling it,
// but never past limit bytes (0 for what memory allows). False, the block as
// it was, where it cannot.
bool grow(char*& block, std::size_t& capacity, std::size_t size, std::size_t limit);

// Lists the recordings among count files and folders, a folder's and its
// subfolders' in name order, until the room can grow no more.
void list_all(Listing& listing, int count, const char* const* paths);

void free_listing(Listing& listing);

// Calls each for every recording in the room with its path, track count,
// main track and size (up to 48).
template <class Each> void each_recording(const Listing& listing, Each each)
{
	for (const char* entry = listing.room; entry < listing.room + listing.used;) {
		const char* path = entry + entry_head;
		if (entry[0] == recording_entry)
			each(path, signed_byte(static_cast<unsigned char>(entry[1])),
			     signed_byte(static_cast<unsigned char>(entry[2])),
			     static_cast<std::size_t>(static_cast<unsigned char>(entry[3])));
		entry = path + std::strlen(path) + 1;
	}
}

} // namespace varnholt
