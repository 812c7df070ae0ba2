#include "session/plan.hpp"

#include <cstring>

#include "names/names.hpp"
#include "platform/platform.hpp"

namespace varnholt {

constexpr int layouts = 256 * 256; // a track count and a main track, each a byte

void say(std::FILE* out, const char* before, const char* name, const char* after)
{
	print(out, "%s", before);
	print_name(out, name, std::strlen(name));
	print(out, "%s", after);
}

const char* reason(const Look& look)
{
	if (look.outcome == Outcome::empty)
		return "empty file";
	if (look.outcome == Outcome::not_recording)
		return "not a kelvane recording";
	if (look.error == unrecorded)
		return "its change could not be kept in the undo record";
	return look.error == 0 ? "not a regular file" : std::strerror(look.error);
}

void print_failure(std::FILE* out, const char* path, const Look& look)
{
	if (look.outcome == Outcome::cannot_open) {
		say(out, "file can't be open ", path, " (");
		print(out, "%s)\n", reason(look));
	} else if (look.outcome == Outcome::empty) {
		say(out, "file is empty file ", path, "\n");
	} else if (look.outcome == Outcome::not_recording) {
		say(out, "Sorry, it's not a kelvane recording, can't be fixed ", path, "\n");
	} else {
		say(out, "Can't write into file ", path, " (");
		print(out, "%s)\n", reason(look));
	}
}

void print_no_undo(std::FILE* out, const Record& record)
{
	if (record.error == 0)
		print(out,
		      "This session can't be undone: there is no home folder to keep its record "
		      "in.\n");
	else
		print(out, "This session can't be undone: its record can't be written (%s).\n",
		      std::strerror(record.error));
}

static const char* tracks_word(int count)
{
	return count == 1 ? "track" : "tracks";
}

// The recordings by layout, the most common first, in as many lines as the
// plan gives them.
static void print_layouts(const Listing& listing, std::FILE* out)
{
	static unsigned long counts[layouts];
	std::memset(counts, 0, sizeof counts);
	each_recording(listing, [&](const char*, int count, int main, std::size_t) {
		counts[(count & 0xFF) << 8 | (main & 0xFF)]++;
	});
	unsigned long left = listing.recordings;
	for (std::size_t line = 0; line < layout_lines && left > 0; line++) {
		int most = 0;
		for (int i = 1; i < layouts; i++)
			if (counts[i] > counts[most])
				most = i;
		const int count = signed_byte(static_cast<unsigned char>(most >> 8));
		print(out, "%6lu with %d %s, main track %d\n", counts[most], count,
		      tracks_word(count), signed_byte(static_cast<unsigned char>(most & 0xFF)));
		left -= counts[most];
		counts[most] = 0;
	}
	if (left > 0)
		print(out, "%6lu with other layouts\n", left);
}

void print_plan(const Listing& listing, std::FILE* out)
{
	if (listing.recordings <= named_recordings) {
		each_recording(listing, [&](const char* path, int count, int main, std::size_t) {
			say(out, "", path, ": ");
			print(out, "%d %s, main track %d\n", count, tracks_word(count), main);
		});
	} else {
		print(out, "Recordings by folder:\n");
		for (std::size_t i = 0; i < listing.folder_count; i++) {
			const Folder& folder = listing.folders[i];
			print(out, "%6lu in ", folder.recordings);
			print_name(out, listing.room + folder.path, folder.length);
			print(out, "%s\n", folder.length == 0 ? "." : "");
		}
		if (listing.in_other_folders > 0)
			print(out, "%6lu in other folders\n", listing.in_other_folders);
		print(out, "Recordings by layout:\n");
		print_layouts(listing, out);
	}
	if (listing.others > 0)
		print(out, "Files that are not recordings, left as they are: %lu\n",
		      listing.others);
	for (unsigned long i = 0; i < listing.problems && i < problem_lines; i++) {
		const Problem& problem = listing.named[i];
		const char* path = listing.room + problem.path;
		if (problem.folder)
			say(out, "folder can't be read ", path, "\n");
		else
			print_failure(out, path,
			              Look{Outcome::cannot_open, 0, 0, problem.error, 0});
	}
	if (listing.problems > problem_lines)
		print(out, "and %lu more files or folders that can't be opened or read\n",
		      listing.problems - problem_lines);
}

} // namespace varnholt
