#include "session/session.hpp"

#include <cstdlib>
#include <cstring>

#include "cli/parse.hpp"
#include "cli/run.hpp"
#include "header/header.hpp"
#include "names/names.hpp"
#include "platform/platform.hpp"
#include "session/tracks.hpp"

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
constexpr int layouts = 256 * 256; // a track count and a main track, each a byte
constexpr unsigned long progress_step = 64;

namespace {

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

struct Tally {
	unsigned long set;
	unsigned long already;
	unsigned long skipped;
	unsigned long failed;
};

} // namespace

enum : char { recording_entry = 'r', problem_entry = 'p' };
constexpr std::size_t entry_head = 3; // the kind, the count and the main track

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
constexpr int usage_status = 2;
constexpr int failed_status = 1;

// Prints before, the name as shown, then after.
static void say(std::FILE* out, const char* before, const char* name, const char* after)
{
	print(out, "%s", before);
	print_name(out, name, std::strlen(name));
	print(out, "%s", after);
}

// The tool's message for a file that could not be opened, read or set,
// with the reason an open failed.
static void print_failure(std::FILE* out, const char* path, const Look& look)
{
	if (look.outcome == Outcome::cannot_open) {
		say(out, "file can't be open ", path, " (");
		print(out, "%s)\n",
		      look.error == 0 ? "not a regular file" : std::strerror(look.error));
	} else if (look.outcome == Outcome::empty) {
		say(out, "file is empty file ", path, "\n");
	} else if (look.outcome == Outcome::not_recording) {
		say(out, "Sorry, it's not a kelvane recording, can't be fixed ", path, "\n");
	} else {
		say(out, "Can't write into file ", path, "\n");
	}
}

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

// Whether a and b begin with the same length bytes; by hand, as memcmp
// would be one more import that the .deb's binary binds at every start.
static bool starts_alike(const char* a, const char* b, std::size_t length)
{
	for (std::size_t i = 0; i < length; i++)
		if (a[i] != b[i])
			return false;
	return true;
}

// Counts a recording in its folder's line: the last folder's most often.
static void count_in_folder(Listing& listing, const char* path)
{
	const std::size_t length = name_start(path);
	for (std::size_t i = listing.folder_count; i-- > 0;) {
		Folder& folder = listing.folders[i];
		if (folder.length == length &&
		    starts_alike(listing.room + folder.path, path, length)) {
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

// Calls each for every recording in the room with its path, track count
// and main track.
template <class Each> static void each_recording(const Listing& listing, Each each)
{
	for (const char* entry = listing.room; entry < listing.room + listing.used;) {
		const char* path = entry + entry_head;
		if (entry[0] == recording_entry)
			each(path, signed_byte(static_cast<unsigned char>(entry[1])),
			     signed_byte(static_cast<unsigned char>(entry[2])));
		entry = path + std::strlen(path) + 1;
	}
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
	each_recording(listing, [&](const char*, int count, int main) {
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

// What was found, before the question: each recording on a line of its
// own, or past a few, the recordings counted by folder and by layout; then
// what is not a recording, and what cannot be opened or read.
static void print_plan(const Listing& listing, std::FILE* out)
{
	if (listing.recordings <= named_recordings) {
		each_recording(listing, [&](const char* path, int count, int main) {
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
			print_failure(out, path, Look{Outcome::cannot_open, 0, 0, problem.error});
	}
	if (listing.problems > problem_lines)
		print(out, "and %lu more files or folders that can't be opened or read\n",
		      listing.problems - problem_lines);
}

// One line of in, without its line end; the rest of a longer one is
// skipped. False at the end of the input.
static bool read_line(std::FILE* in, std::FILE* out, char* line, int size)
{
	std::fflush(out); // not every C library flushes it before reading in
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
static bool ask_track(std::FILE* in, std::FILE* out, const Listing& listing, int& track)
{
	char tracks[tracks_text_size];
	name_tracks(listing.min_count, tracks, sizeof tracks);
	const bool one = listing.recordings == 1;
	char answer[answer_size];
	for (;;) {
		if (one)
			print(out, "\nNew main track for the recording above");
		else
			print(out, "\nNew main track for the %lu recordings above",
			      listing.recordings);
		if (tracks[0] != '\0')
			print(out, ", %s", tracks);
		else
			print(out, ", which %s", one ? "has no track" : "have no track in common");
		print(out, " (Enter alone or -1 writes nothing): ");
		if (!read_line(in, out, answer, answer_size) ||
		    answer[std::strspn(answer, " \t")] == '\0')
			return false;
		// An answer without a digit ("yes", "no") would read as track 0.
		if (std::strpbrk(answer, "0123456789") == nullptr)
			say(out, "Not a track number: ", answer, "\n");
		else if (!parse_track_num(answer, track))
			say(out, out_of_range_text, answer, "\n");
		else
			return track != no_track;
	}
}

// True only for y or yes, in any case, blanks around it aside.
static bool ask_yes(std::FILE* in, std::FILE* out)
{
	char answer[answer_size];
	if (!read_line(in, out, answer, answer_size))
		return false;
	const char* word = answer + std::strspn(answer, " \t");
	std::size_t length = std::strlen(word);
	while (length > 0 && (word[length - 1] == ' ' || word[length - 1] == '\t'))
		length--;
	// By hand rather than with tolower, which the .deb's binary would bind
	// at every start: of all bytes, only the letter's two cases give it.
	static const char yes[] = "yes";
	if (length != 1 && length != 3)
		return false;
	for (std::size_t i = 0; i < length; i++)
		if ((word[i] | 0x20) != yes[i])
			return false;
	return true;
}

static void clear_progress(std::FILE* out, bool& shown_now)
{
	if (shown_now)
		print(out, "\r%60s\r", "");
	shown_now = false;
}

// Sets track in every recording listed: those it is past the last track of
// only when past_last is true. On a card past a few, only failures are
// named, and on a terminal a line shows how far it has come.
static Tally set_all(const Listing& listing, std::FILE* out, int track, bool past_last)
{
	const bool each_named = listing.recordings <= named_recordings;
	const bool progress = !each_named && is_terminal(out);
	bool progress_shown = false;
	Tally tally{0, 0, 0, 0};
	unsigned long done = 0;
	each_recording(listing, [&](const char* path, int count, int main) {
		if (progress && done % progress_step == 0) {
			print(out, "\rSetting main track %d: %lu of %lu", track, done,
			      listing.recordings);
			std::fflush(out);
			progress_shown = true;
		}
		done++;
		if (!past_last && change_for(count, main, track) == Change::past_last) {
			tally.skipped++;
			if (each_named) {
				say(out, "", path, ": skipped, it has no track ");
				print(out, "%d\n", track);
			}
			return;
		}
		const Look look = change_file(path, track);
		if (look.outcome == Outcome::set || look.outcome == Outcome::already) {
			(look.outcome == Outcome::set ? tally.set : tally.already)++;
			if (each_named) {
				say(out, "", path, ": main track ");
				print(out, "%s %d\n",
				      look.outcome == Outcome::set ? "set to" : "already", track);
			}
			return;
		}
		tally.failed++;
		clear_progress(out, progress_shown);
		print_failure(out, path, look);
	});
	clear_progress(out, progress_shown);
	return tally;
}

// The answer, the second question when some recordings have no such track,
// and the setting; the exit status, which is 1 when a recording could not
// be set.
static int ask_and_set(const Listing& listing, std::FILE* in, std::FILE* out)
{
	int track = no_track;
	if (!ask_track(in, out, listing, track)) {
		print(out, "\nNothing was written.\n");
		return 0;
	}
	unsigned long lacking = 0;
	each_recording(listing, [&](const char*, int count, int main) {
		if (change_for(count, main, track) == Change::past_last)
			lacking++;
	});
	bool past_last = false;
	if (lacking > 0) {
		const bool one = lacking == 1;
		print(out,
		      "\n%lu of the recordings above %s no track %d. Set %s main track to %d all "
		      "the"
		      " same? y or n (Enter alone is n): ",
		      lacking, one ? "has" : "have", track, one ? "its" : "their", track);
		past_last = ask_yes(in, out);
	}
	if (listing.recordings <= named_recordings)
		print(out, "\n");
	const Tally tally = set_all(listing, out, track, past_last);
	print(out, "\nMain track %d: %lu set, %lu already right, %lu skipped, %lu failed.\n", track,
	      tally.set, tally.already, tally.skipped, tally.failed);
	return tally.failed > 0 ? failed_status : 0;
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
	// Varnholt.exe ends with 0 on every path, as the command line does.
	const bool statuses = started != Started::by_explorer;
	if (argc < 2) {
		if (started == Started::by_explorer) {
			run(argc, argv, out);
			print(out, "%s", double_click_text);
		} else {
			print(out, "%s", open_usage_text);
		}
		close_window(in, out, started);
		return statuses ? usage_status : 0;
	}
	Listing listing{};
	listing.room = room;
	listing.room_size = room_size;
	for (int i = 1; i < argc && !listing.full; i++)
		if (!walk_folder(argv[i], visit, &listing))
			add_file(listing, argv[i]);
	int status = listing.problems > 0 ? failed_status : 0;
	if (listing.full) {
		print(out,
		      "More recordings than one window can set at once, so nothing was written:"
		      " drop fewer at a time.\n");
		status = failed_status;
	} else {
		print_plan(listing, out);
		if (listing.recordings == 0)
			print(out, "\nNo kelvane recording %s, so nothing was written.\n",
			      listing.problems > 0 ? "could be opened here" : "here");
		else if (ask_and_set(listing, in, out) != 0)
			status = failed_status;
	}
	close_window(in, out, started);
	return statuses ? status : 0;
}

} // namespace varnholt
