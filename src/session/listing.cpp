#include "session/listing.hpp"

#include <cstring>

#include "header/file.hpp"
#include "platform/platform.hpp"

namespace varnholt {

// Adds an entry to the room; null, and the listing full, when it has no
// room left.
static char* add_entry(Listing& listing, char kind, int count, int main, const char* path)
{
	const std::size_t size = entry_head + std::strlen(path) + 1;
	if (listing.room_size - listing.used < size) {
		listing.full = true;
		return nullptr;
	}
	char* entry = listing.room + listing.used;
	entry[0] = kind;
	entry[1] = static_cast<char>(count);
	entry[2] = static_cast<char>(main);
	std::memcpy(entry + entry_head, path, size - entry_head);
	listing.used += size;
	return entry + entry_head;
}

static void add_problem(Listing& listing, const char* path, int error, bool folder)
{
	if (listing.problems < problem_lines) {
		const char* kept = add_entry(listing, problem_entry, 0, 0, path);
		if (kept == nullptr)
			return;
		listing.named[listing.problems] = {static_cast<std::size_t>(kept - listing.room),
		                                   error, folder};
	}
	listing.problems++;
}

// Counts a recording in its folder's line: the last folder's most often.
static void count_in_folder(Listing& listing, const char* path)
{
	const std::size_t length = name_start(path);
	for (std::size_t i = listing.folder_count; i-- > 0;) {
		Folder& folder = listing.folders[i];
		if (folder.length == length &&
		    std::memcmp(listing.room + folder.path, path, length) == 0) {
			folder.recordings++;
			return;
		}
	}
	if (listing.folder_count == folder_lines) {
		listing.in_other_folders++;
		return;
	}
	listing.folders[listing.folder_count++] = {static_cast<std::size_t>(path - listing.room),
	                                           length, 1};
}

// A file given or found in a folder given: a recording is kept, a file
// that is surely not one (empty, no marker) only counted, and one that
// cannot be opened, which may be a recording, named.
static void add_file(Listing& listing, const char* path)
{
	const Look look = inspect(path);
	if (look.outcome == Outcome::empty || look.outcome == Outcome::not_recording) {
		listing.others++;
		return;
	}
	if (look.outcome == Outcome::cannot_open) {
		add_problem(listing, path, look.error, false);
		return;
	}
	const char* kept = add_entry(listing, recording_entry, look.count, look.main, path);
	if (kept == nullptr)
		return;
	count_in_folder(listing, kept);
	if (listing.recordings == 0 || look.count < listing.min_count)
		listing.min_count = look.count;
	listing.recordings++;
}

static void visit(void* context, const char* path, Found found)
{
	auto& listing = *static_cast<Listing*>(context);
	if (listing.full)
		return;
	if (found == Found::unreadable_folder)
		add_problem(listing, path, 0, true);
	else
		add_file(listing, path);
}

void list_all(Listing& listing, int argc, const char* const* argv)
{
	for (int i = 1; i < argc && !listing.full; i++)
		if (!walk_folder(argv[i], visit, &listing))
			add_file(listing, argv[i]);
}

} // namespace varnholt
