#include "session/session.hpp"

#include "cli/parse.hpp"
#include "cli/run.hpp"
#include "platform/platform.hpp"
#include "session/ask.hpp"
#include "session/json.hpp"
#include "session/listing.hpp"
#include "session/options.hpp"
#include "session/plan.hpp"
#include "session/record.hpp"
#include "session/setting.hpp"
#include "session/tracks.hpp"
#include "session/undo.hpp"

namespace varnholt {

constexpr char double_click_text[] =
        "Varnholt is a command-line tool, to be run in a command prompt.\n"
        "To use it from Explorer, drop recordings, or a card's folder, onto Varnholt.exe,\n"
        "or add Varnholt to Send to and send them to it.\n"
        "varnholt-" VARNHOLT_VERSION
        "-web.html, beside Varnholt.exe, does the same in a browser.\n";
constexpr char press_any_key[] = "\nPress any key to close this window";
constexpr int usage_status = 2;
constexpr int failed_status = 1;

// The answer, from the options or asked, and the second question when some
// recordings have no such track. False for none: nothing is written.
static bool answer(const Listing& listing, const Options& options, std::FILE* in, std::FILE* out,
                   int& track, bool& past_last)
{
	track = options.track;
	if (!options.track_given &&
	    !ask_track(in, out, listing.recordings, listing.min_count, track))
		return false;
	if (track == no_track)
		return false;
	past_last = options.past_last;
	unsigned long lacking = 0;
	each_recording(listing, [&](const char*, int count, int main, std::size_t) {
		if (change_for(count, main, track) == Change::past_last)
			lacking++;
	});
	if (lacking > 0 && !past_last && !options.track_given) {
		const bool one = lacking == 1;
		print(out,
		      "\n%lu of the recordings above %s no track %d. Set %s main track to %d all "
		      "the same? y or n (Enter alone is n): ",
		      lacking, one ? "has" : "have", track, one ? "its" : "their", track);
		past_last = ask_yes(in, out);
	}
	return true;
}

// The counts of the setting, the last line.
static void print_tally(std::FILE* out, const Tally& tally, int track, const Options& options)
{
	if (options.json) {
		const unsigned long counts[] = {tally.set, tally.already, tally.skipped,
		                                tally.failed};
		json_counts(out, outcome_words, counts, 4, options.dry_run);
	} else if (options.dry_run) {
		print(out,
		      "\nMain track %d, a dry run: %lu would be set, %lu already right, %lu "
		      "skipped. Nothing was written.\n",
		      track, tally.set, tally.already, tally.skipped);
	} else {
		print(out,
		      "\nMain track %d: %lu set, %lu already right, %lu skipped, %lu failed.\n",
		      track, tally.set, tally.already, tally.skipped, tally.failed);
	}
}

// The answer and the setting of the recordings listed, the undo record
// begun before the question; the exit status, given that of the listing.
static int ask_and_set(const Listing& listing, const Options& options, std::FILE* in,
                       std::FILE* out, std::FILE* words, int status)
{
	Record record{};
	const bool undoable =
	        !options.dry_run && (!options.track_given || options.track != no_track);
	if (undoable && !begin_record(record))
		print_no_undo(words, record);
	int track = no_track;
	bool past_last = false;
	if (answer(listing, options, in, out, track, past_last)) {
		if (listing.recordings <= named_recordings && !options.json)
			print(out, "\n");
		const Setting how{track, past_last, options.dry_run, options.json ? out : nullptr,
		                  record.file != nullptr ? &record : nullptr};
		const Tally tally = set_all(listing, words, how);
		print_tally(out, tally, track, options);
		if (tally.failed > 0)
			status = failed_status;
	} else {
		print(words, "\nNothing was written.\n");
	}
	end_record(record);
	return status;
}

// The listing, the plan, the answer and the setting; the exit status.
static int set_card(const Options& options, int argc, const char* const* argv, std::FILE* in,
                    std::FILE* out, std::FILE* err, std::size_t limit)
{
	std::FILE* words = options.json ? err : out;
	const bool setting = options.track_given && options.track != no_track;
	Listing listing{};
	listing.limit = limit;
	listing.json = options.json ? out : nullptr;
	listing.kept = !options.json || setting;
	list_all(listing, argc - options.first, argv + options.first);
	int status = listing.problems > 0 ? failed_status : 0;
	if (listing.full) {
		print(words,
		      "Not enough memory to list every recording, so nothing was written.\n");
		free_listing(listing);
		return failed_status;
	}
	if (!options.json)
		print_plan(listing, out);
	if (listing.recordings > 0 && listing.kept)
		status = ask_and_set(listing, options, in, out, words, status);
	else if (!options.json)
		print(out, "\nNo kelvane recording %s, so nothing was written.\n",
		      listing.problems > 0 ? "could be opened here" : "here");
	else if (setting)
		print_tally(out, Tally{0, 0, 0, 0}, options.track, options);
	free_listing(listing);
	return status;
}

// Varnholt-open's run, as its options ask; the exit status.
static int open_command(Options& options, int argc, const char* const* argv, std::FILE* in,
                        std::FILE* out, std::FILE* err, std::size_t limit)
{
	const Command command = read_options(argc, argv, options, err);
	if (command == Command::session)
		return set_card(options, argc, argv, in, out, err, limit);
	if (command == Command::undo)
		return undo_last(options, in, out, err, limit);
	if (command == Command::help)
		print_help(out);
	else if (command == Command::version)
		print(out, "Varnholt-open %s\n", VARNHOLT_VERSION);
	return command == Command::usage_error ? usage_status : 0;
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

int card_session(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err,
                 Started started, std::size_t limit)
{
	set_title("Varnholt");
	Options options;
	int status = 0;
	if (argc < 2 && started == Started::by_explorer) {
		run(argc, argv, out);
		print(out, "%s", double_click_text);
	} else if (argc < 2) {
		print_usage(out);
		status = usage_status;
	} else if (started == Started::by_explorer) {
		set_card(options, argc, argv, in, out, err, limit);
	} else {
		status = open_command(options, argc, argv, in, out, err, limit);
	}
	close_window(in, options.json ? err : out, started);
	// Varnholt.exe ends with 0 on every path, as the command line does.
	return started == Started::by_explorer ? 0 : status;
}

} // namespace varnholt
