// The undo record of a card session: what it is about to change, made
// durable in the state folder before its first change, so that
// Varnholt-open --undo can put it back. One file a session, plain text, a
// line a fact; each line ends in a tab and the FNV-1a hash of the file up
// to there, so that a record damaged or edited by hand is known.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace varnholt {

// The records the state folder keeps, the newest; older ones are removed.
constexpr std::size_t records_kept = 20;
// The longest state folder taken, and room for a record's name past it.
constexpr std::size_t folder_size = 4096;
constexpr std::size_t record_path_size = folder_size + 1024;

struct Record {
	char folder[folder_size];    // the state folder
	char path[record_path_size]; // the record's file: .part until sealed, then .record
	std::FILE* file;
	std::uint64_t hash;
	int error; // why there is no record; 0 where nothing names a place for it
	int fault; // why a change could not be put in it, which gives it up at its seal
	bool sealed;
	unsigned long written; // the changes tried since it was sealed
};

// Before the question: the record's file, begun in the state folder. False
// when it cannot be, with the reason in error: the session goes on
// without one.
bool begin_record(Record& record);

// The changes the session is about to make: count of them, to track, then
// add_change for each (sizes here and below as kept_size gives them), then
// seal_record, which makes them durable before it returns true. False, the
// record gone and the reason in error, when they cannot be.
void start_changes(Record& record, int track, unsigned long count);
void add_change(Record& record, int main, std::size_t size, const char* path);
bool seal_record(Record& record);

// Once sealed, before change index is made, or instead of it: the
// recording was found with main track main and size bytes, not as planned;
// or it was kept, not written at all; or a change the plan did not make
// was found needed. Each durable before it returns true.
bool amend_change(Record& record, unsigned long index, int main, std::size_t size);
bool keep_change(Record& record, unsigned long index);
bool add_unplanned(Record& record, int main, std::size_t size, const char* path);

// The end of the session's record: a record that no change was tried
// after is removed; else the oldest records past those kept are.
void end_record(Record& record);

// For reading a record back (undo.cpp): its first line, and the hash its
// lines end in, each of the file up to its tab.
constexpr char record_first_line[] = "Varnholt undo record 1";
constexpr std::uint64_t record_hash_start = 0xcbf29ce484222325ULL;
std::uint64_t record_hash(std::uint64_t hash, const char* bytes, std::size_t count);

// The last record in folder not yet undone, its path in path (of
// record_path_size bytes); false where there is none.
bool last_record(const char* folder, char* path);

// Marks the record at path undone, so that the next undo goes back one
// session more.
bool mark_undone(const char* path);

} // namespace varnholt
