#include "session/setting.hpp"

#include <cerrno>

#include "header/file.hpp"
#include "platform/platform.hpp"
#include "session/json.hpp"
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

// Whether the plan changes a recording of count tracks, main track main.
static bool planned(const Setting& setting, int count, int main)
{
	const Change change = change_for(count, main, setting.track);
	return change == Change::set || (change == Change::past_last && setting.past_last);
}

// The record of every change the plan makes, durable before the first.
// False, the record gone, when it cannot be made so.
static bool record_plan(const Listing& listing, const Setting& setting)
{
	Record& record = *setting.record;
	unsigned long count = 0;
	each_recording(listing, [&](const char*, int tracks, int main, std::size_t) {
		count += planned(setting, tracks, main) ? 1U : 0U;
	});
	start_changes(record, setting.track, count);
	each_recording(listing, [&](const char* path, int tracks, int main, std::size_t size) {
		if (planned(setting, tracks, main))
			add_change(record, main, size, path);
	});
	return seal_record(record);
}

enum class Result { set, already, skipped, failed };
const char* const outcome_words[4] = {"set", "already", "skipped", "failed"};

// Whether a recording that cannot be opened to be changed (a locked card, a
// read-only file) already has main track track, read as it is now: such a
// recording needs no change.
static bool already_right(const char* path, int track)
{
	Header header;
	std::FILE* file = nullptr;
	const Look look = look_at(path, Access::read, header, file);
	if (look.outcome != Outcome::reported)
		return false;
	std::fclose(file);
	return look.main == track;
}

// A recording found already right: nothing is written, and a change the
// record planned for it is kept out of it.
static Result kept(Record* record, bool in_record, unsigned long change)
{
	if (in_record)
		keep_change(*record, change);
	return Result::already;
}

// One recording set as it is found now, judged as it is then. With a
// record, a recording found otherwise than planned is recorded so, durably,
// before it is written: in_record when the plan recorded its change, as
// number change, from main and size.
static Result set_one(const char* path, bool in_record, unsigned long change, int main,
                      std::size_t size, const Setting& setting, Look& look)
{
	Header header;
	std::FILE* file = nullptr;
	Record* record =
	        setting.record != nullptr && setting.record->sealed ? setting.record : nullptr;
	in_record = in_record && record != nullptr;
	look = look_at(path, Access::change, header, file);
	if (look.outcome == Outcome::cannot_open && already_right(path, setting.track))
		return kept(record, in_record, change);
	if (look.outcome != Outcome::reported)
		return Result::failed;
	if (look.main == setting.track) {
		std::fclose(file); // nothing was written, so the close writes nothing
		return kept(record, in_record, change);
	}
	const std::size_t now = kept_size(look);
	bool recorded = true;
	if (record != nullptr && !in_record)
		recorded = add_unplanned(*record, look.main, now, path);
	else if (in_record && (look.main != main || now != size))
		recorded = amend_change(*record, change, look.main, now);
	if (!recorded) {
		std::fclose(file);
		look.outcome = Outcome::not_written;
		look.error = unrecorded;
		return Result::failed;
	}
	if (record != nullptr)
		record->written++;
	look.outcome = set_and_close(file, header, setting.track);
	look.error = errno;
	return look.outcome == Outcome::set ? Result::set : Result::failed;
}

// What became of one recording, told on out: a JSON line, or its failure,
// or where each is named, a line.
static void tell(std::FILE* out, const char* path, int count, int main, Result result,
                 const Look& look, const Setting& setting, bool each_named)
{
	const bool failed = result == Result::failed;
	if (setting.json != nullptr) {
		json_recording(setting.json, path, count, main,
		               outcome_words[static_cast<int>(result)], failed ? &look : nullptr);
	} else if (failed) {
		print_failure(out, path, look);
	} else if (each_named) {
		say(out, "", path, "");
		if (result == Result::skipped)
			print(out, ": skipped, it has no track %d\n", setting.track);
		else if (result == Result::already)
			print(out, ": main track already %d\n", setting.track);
		else
			print(out, ": main track %sset to %d\n", setting.dry_run ? "would be " : "",
			      setting.track);
	}
}

Tally set_all(const Listing& listing, std::FILE* out, const Setting& setting)
{
	const bool each_named = listing.recordings <= named_recordings && setting.json == nullptr;
	const bool progress = !each_named && setting.json == nullptr && is_terminal(out);
	bool progress_shown = false;
	const int track = setting.track;
	if (setting.record != nullptr && !record_plan(listing, setting))
		print_no_undo(out, *setting.record);
	Tally tally{0, 0, 0, 0};
	unsigned long* counts[] = {&tally.set, &tally.already, &tally.skipped, &tally.failed};
	unsigned long done = 0;
	unsigned long index = 0; // of the next change in the record
	each_recording(listing, [&](const char* path, int count, int main, std::size_t size) {
		if (progress && done % progress_step == 0) {
			print(out, "\rSetting main track %d: %lu of %lu", track, done,
			      listing.recordings);
			std::fflush(out);
			progress_shown = true;
		}
		done++;
		const Change change = change_for(count, main, track);
		const bool in_plan = planned(setting, count, main);
		Look look{Outcome::reported, count, main, 0, size};
		Result result = Result::set;
		if (change == Change::past_last && !setting.past_last)
			result = Result::skipped;
		else if (setting.dry_run)
			result = change == Change::already ? Result::already : Result::set;
		else
			result = set_one(path, in_plan, index, main, size, setting, look);
		index += in_plan ? 1 : 0;
		(*counts[static_cast<int>(result)])++;
		if (result == Result::failed)
			clear_progress(out, progress_shown);
		tell(out, path, count, main, result, look, setting, each_named);
	});
	clear_progress(out, progress_shown);
	return tally;
}

} // namespace varnholt
