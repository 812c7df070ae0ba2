#include "session/session.hpp"

#include "cli/parse.hpp"
#include "cli/run.hpp"
#include "platform/platform.hpp"
#include "session/ask.hpp"
#include "session/listing.hpp"
#include "session/plan.hpp"
#include "session/setting.hpp"
#include "session/tracks.hpp"

namespace varnholt {

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
constexpr int usage_status = 2;
constexpr int failed_status = 1;

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
	list_all(listing, argc, argv);
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

// The paths of the recordings a session lists, kept until its answer; a
// card's thousands take a small part of it.
static char listed[4 << 20];

int card_session(int argc, const char* const* argv, std::FILE* in, std::FILE* out, Started started)
{
	return explorer_session(argc, argv, in, out, listed, sizeof listed, started);
}

} // namespace varnholt
