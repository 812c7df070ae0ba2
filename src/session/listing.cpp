#include "session/listing.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "header/file.hpp"
#include "platform/platform.hpp"
#include "session/json.hpp"

namespace varnholt {

// Memory grows by doubling, from this.
constexpr std::size_t first_room = 64 << 10;

bool grow(char*& block, std::size_t& capacity, std::size_t size, std::size_t limit)
{
	if (size <= capacity)
		return true;
	std::size_t grown = capacity > 0 ? 2 * capacity : first_room;
	if (grown < size)
		grown = size;
	if (limit > 0 && grown > limit)
		grown = limit;
	auto* bigger = grown < size ? nullptr : static_cast<char*>(std::realloc(block, grown));
	if (bigger == nullptr)
		return false;
	block = bigger;
	capacity = grown;
	return true;
}

// Room for size more bytes; false, and the listing full, when the room can
// grow no more.
static bool make_room(Listing& listing, std::size_t size)
{
	listing.full = !grow(listing.room, listing.room_size, listing.used + size, listing.limit);
	return !listing.full;
}

// Adds an entry to the room; null when it has no room left.
static char* add_entry(Listing& listing, char kind, const Look& look, const char* path)
{
	const std::size_t size = entry_head + std::strlen(path) + 1;
	if (!make_room(listing, size))
		return nullptr;
	char* entry = listing.room + listing.used;
	entry[0] = kind;
	entry[1] = static_cast<char>(look.count);
	entry[2] = static_cast<char>(look.main);
	entry[3] = static_cast<char>(kept_size(look));
	std::memcpy(entry + entry_head, path, size - entry_head);
	listing.used += size;
	return entry + entry_head;
}

static void add_problem(Listing& listing, const char* path, int error, bool folder)
{
	if (listing.json != nullptr) {
		json_problem(listing.json, path, error);
	} else if (listing.problems < problem_lines) {
		const char* kept = add_entry(listing, problem_entry, Look{}, path);
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
	if (listing.kept) {
		const char* kept = add_entry(listing, recording_entry, look, path);
		if (kept == nullptr)
			return;
		count_in_folder(listing, kept);
	} else {
		json_recording(listing.json, path, look.count, look.main);
	}
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
		add_problem(listing, path, errno, true);
	else
		add_file(listing, path);
}

void list_all(Listing& listing, int count, const char* const* paths)
{
	for (int i = 0; i < count && !listing.full; i++)
		if (!walk_folder(paths[i], visit, &listing))
			add_file(listing, paths[i]);
}

void free_listing(Listing& listing)
{
	std::free(listing.room);
	listing.room = nullptr;
	listing.room_size = listing.used = 0;
}

} // namespace varnholt
