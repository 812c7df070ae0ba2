#include "cli/explorer.hpp"

#include <cstring>

#include "cli/parse.hpp"
#include "cli/run.hpp"
#include "platform/platform.hpp"

namespace varnholt {

namespace {

// The recordings listed so far: their paths one after another in the room,
// each ending in '\0'.
struct Listing {
	std::FILE* out;
	char* room;
	std::size_t room_size;
	std::size_t used;
	unsigned long recordings;
	unsigned long others; // files of the dropped folder that are not recordings
	bool full;
};

} // namespace

constexpr char double_click_text[] =
        "Varnholt is a command-line tool, to be run in a command prompt.\n"
        "To use it from Explorer, drop recordings, or a card's folder, onto Varnholt.exe,\n"
        "or add Varnholt to Send to and send them to it.\n"
        "varnholt-" VARNHOLT_VERSION
        "-web.html, beside Varnholt.exe, does the same in a browser.\n";
constexpr char open_usage_text[] =
        "Usage: Varnholt-open File_or_folder ...\n\n"
        "Lists the kelvane recordings given, and those in the folders given and their\n"
        "subfolders, asks once for a new main track, then sets it in each.\n";
constexpr char press_any_key[] = "\nPress any key to close this window";
constexpr int answer_size = 256;

// Lists path under its name, with what Varnholt FileName says of it, and
// keeps it when it is a recording.
static void list(Listing& listing, const char* path)
{
	const std::size_t size = std::strlen(path) + 1;
	if (listing.room_size - listing.used < size) {
		listing.full = true;
		return;
	}
	print(listing.out, "\n%s\n", path);
	if (run_file(path, no_track, listing.out) != Outcome::reported)
		return;
	std::memcpy(listing.room + listing.used, path, size);
	listing.used += size;
	listing.recordings++;
}

// A file or folder found in a dropped folder. Files that are surely not
// recordings (empty, no marker) are only counted; one that cannot be
// opened may be a recording, and is listed.
static void visit(void* context, const char* path, Found found)
{
	auto& listing = *static_cast<Listing*>(context);
	if (listing.full)
		return;
	if (found == Found::unreadable_folder) {
		print(listing.out, "\nfolder can't be read %s\n", path);
		return;
	}
	const Outcome outcome = inspect(path);
	if (outcome == Outcome::empty || outcome == Outcome::not_recording)
		listing.others++;
	else
		list(listing, path);
}

// One line of in, without its line end; the rest of a longer one is
// skipped. False at the end of the input.
static bool read_line(std::FILE* in, char* line, int size)
{
	if (std::fgets(line, size, in) == nullptr)
		return false;
	if (std::strchr(line, '\n') == nullptr)
		for (int c = std::getc(in); c != '\n' && c != EOF; c = std::getc(in)) {
		}
	line[std::strcspn(line, "\r\n")] = '\0';
	return true;
}

// The new main track, asked until the answer is one the header takes.
// False for none: the end of the input, Enter alone, or -1.
static bool ask(std::FILE* in, std::FILE* out, unsigned long recordings, int& track)
{
	char answer[answer_size];
	for (;;) {
		if (recordings == 1)
			print(out, "\nNew main track for the recording above");
		else
			print(out, "\nNew main track for the %lu recordings above", recordings);
		print(out, ", from -128 to 127 (Enter alone or -1 writes nothing): ");
		std::fflush(out); // not every C library flushes it before reading in
		if (!read_line(in, answer, answer_size) ||
		    answer[std::strspn(answer, " \t")] == '\0')
			return false;
		// An answer without a digit ("yes", "no") would read as track 0.
		if (std::strpbrk(answer, "0123456789") == nullptr)
			continue;
		if (parse_track_num(answer, track))
			return track != no_track;
		print(out, "%s%s\n", out_of_range_text, answer);
	}
}

static void set_all(const Listing& listing, int track)
{
	unsigned long set = 0;
	unsigned long failed = 0;
	for (const char* path = listing.room; path < listing.room + listing.used;
	     path += std::strlen(path) + 1) {
		print(listing.out, "\n%s\n", path);
		if (run_file(path, track, listing.out) == Outcome::set) {
			print(listing.out, "\n");
			set++;
		} else {
			failed++;
		}
	}
	print(listing.out, "\nSet to main track %d: %lu, failed: %lu\n", track, set, failed);
}

// The last words of a session: where the window closes with the program,
// it stays until a key is pressed.
static void close_window(std::FILE* in, std::FILE* out, Started started)
{
	if (started == Started::open_from_shell)
		return;
	print(out, "%s", press_any_key);
	std::fflush(out); // the prompt has no line end
	wait_for_key(in);
}

// The room is written through the listing, which clang-tidy does not follow.
int explorer_session(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                     char* room, // NOLINT(readability-non-const-parameter)
                     std::size_t room_size, Started started)
{
	set_title("Varnholt");
	if (argc < 2) {
		if (started == Started::by_explorer) {
			run(argc, argv, out);
			print(out, "%s", double_click_text);
		} else {
			print(out, "%s", open_usage_text);
		}
		close_window(in, out, started);
		return 0;
	}
	Listing listing{out, room, room_size, 0, 0, 0, false};
	for (int i = 1; i < argc && !listing.full; i++) {
		listing.others = 0;
		if (!walk_folder(argv[i], visit, &listing))
			list(listing, argv[i]);
		else if (listing.others > 0)
			print(out, "\nFiles that are not recordings in %s: %lu\n", argv[i],
			      listing.others);
	}
	int track = no_track;
	if (listing.full)
		print(out,
		      "\nMore recordings than one window can set at once, so nothing was written:"
		      " drop fewer at a time.\n");
	else if (listing.recordings == 0)
		print(out, "\nNo kelvane recording here, so nothing was written.\n");
	else if (!ask(in, out, listing.recordings, track))
		print(out, "\nNothing was written.\n");
	else
		set_all(listing, track);
	close_window(in, out, started);
	return 0;
}

} // namespace varnholt
