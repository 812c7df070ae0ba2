#include "session/setting.hpp"

#include "header/file.hpp"
#include "platform/platform.hpp"
#include "session/plan.hpp"
#include "session/tracks.hpp"

namespace varnholt {

constexpr unsigned long progress_step = 64;

static void clear_progress(std::FILE* out, bool& shown_now)
{
	if (shown_now)
		print(out, "\r%60s\r", "");
	shown_now = false;
}

Tally set_all(const Listing& listing, std::FILE* out, int track, bool past_last)
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

} // namespace varnholt
