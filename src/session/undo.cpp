#include "session/undo.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "header/file.hpp"
#include "names/names.hpp"
#include "platform/platform.hpp"
#include "session/ask.hpp"
#include "session/json.hpp"
#include "session/listing.hpp"
#include "session/plan.hpp"
#include "session/record.hpp"
#include "session/record_read.hpp"
#include "session/tracks.hpp"

namespace varnholt {

constexpr std::size_t folders_told = 10;

namespace {

enum class Result { put_back, already, left, failed };

} // namespace

static const char* const result_words[] = {"put_back", "already", "left", "failed"};

// Changes by folder, then by name, so that a folder's changes come
// together.
static int by_folder(const void* a, const void* b)
{
	const char* one = static_cast<const RecordedChange*>(a)->path;
	const char* other = static_cast<const RecordedChange*>(b)->path;
	const std::size_t length = name_start(one);
	const std::size_t other_length = name_start(other);
	if (length != other_length)
		return static_cast<int>(length > other_length) -
		       static_cast<int>(length < other_length);
	const int order = std::memcmp(one, other, length);
	return order != 0 ? order : std::strcmp(one + length, other + length);
}

static bool same_folder(const RecordedChange& one, const RecordedChange& other)
{
	const std::size_t length = name_start(one.path);
	return length == name_start(other.path) && std::memcmp(one.path, other.path, length) == 0;
}

// When the session ran, what it set and in how many recordings, and in
// which folders: the first few named, the others counted.
static void tell(const Recorded& recorded, unsigned long made, std::FILE* out)
{
	const auto started = static_cast<std::time_t>(recorded.started);
	char when[32];
	std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&started));
	print(out, "The last session, on %s, set main track %d in %lu %s, in:\n", when,
	      recorded.track, made, made == 1 ? "recording" : "recordings");
	std::size_t folders = 0;
	const RecordedChange* last = nullptr;
	for (unsigned long i = 0; i < recorded.count; i++) {
		const RecordedChange& change = recorded.changes()[i];
		if (change.kept || (last != nullptr && same_folder(change, *last)))
			continue;
		if (folders++ < folders_told) {
			print(out, "  ");
			print_name(out, change.path, name_start(change.path));
			print(out, "\n");
		}
		last = &change;
	}
	if (folders > folders_told)
		print(out, "  and %lu more folders\n",
		      static_cast<unsigned long>(folders - folders_told));
}

// One change put back, where the recording still holds what the session
// wrote, as it is found now.
static Result put_back(const RecordedChange& change, int track, bool dry_run, Look& look)
{
	Header header;
	std::FILE* file = nullptr;
	look = look_at(change.path, dry_run ? Access::read_no_link : Access::change_no_link, header,
	               file);
	if (look.outcome == Outcome::cannot_open)
		return look.error == 0 || look.error == ENOENT || look.error == ENOTDIR
		               ? Result::left
		               : Result::failed;
	if (look.outcome != Outcome::reported)
		return Result::left;
	const Change undone = undo_for(change.main, change.size, track, look.main, look.size);
	Result result = Result::left;
	if (undone == Change::already)
		result = Result::already;
	else if (undone == Change::set)
		result = Result::put_back;
	if (result != Result::put_back || dry_run) {
		std::fclose(file);
		return result;
	}
	look.outcome = change.size < rewrite_size ? cut_and_close(file, change.size)
	                                          : set_and_close(file, header, change.main);
	look.error = errno;
	return look.outcome == Outcome::set ? Result::put_back : Result::failed;
}

// What became of one change, told on out: as JSON, or by name where the
// record is small, or where it was left or failed.
static void tell_result(std::FILE* out, const RecordedChange& change, Result result,
                        const Look& look, bool named, const Options& options)
{
	const bool wrong = result == Result::left || result == Result::failed;
	if (options.json) {
		const char* why = nullptr;
		if (wrong)
			why = look.outcome == Outcome::reported ? "changed since" : reason(look);
		json_undone(out, change.path, change.main, result_words[static_cast<int>(result)],
		            why);
	} else if (result == Result::failed) {
		say(out, "", change.path, ": can't be put back (");
		print(out, "%s)\n", reason(look));
	} else if (result == Result::left && look.outcome == Outcome::reported) {
		say(out, "", change.path, ": left as it is, changed since (main track ");
		print(out, "%d)\n", look.main);
	} else if (result == Result::left) {
		say(out, "", change.path, ": left as it is (");
		print(out, "%s)\n", reason(look));
	} else if (named && result == Result::already) {
		say(out, "", change.path, ": already as it was\n");
	} else if (named) {
		say(out, "", change.path, options.dry_run ? ": would be put back" : ": put back");
		if (change.size < rewrite_size)
			print(out, " to its %d bytes\n", static_cast<int>(change.size));
		else
			print(out, " to main track %d\n", change.main);
	}
}

// Why there is no record to undo; the exit status.
static int no_record(std::FILE* out, Last last, const Recorded& recorded)
{
	if (last == Last::none) {
		print(out, "No session to undo, so nothing was written.\n");
		return 0;
	}
	if (last == Last::unreadable) {
		print(out, "The undo record can't be read (%s), so nothing was written.\n",
		      std::strerror(errno));
		return 1;
	}
	say(out, "The undo record ", recorded.path, "");
	print(out,
	      " can't be trusted: line %lu is damaged, cut short or edited. Nothing was "
	      "written.\n",
	      recorded.line);
	return 1;
}

// Each change of the record put back, where it can be, and the counts;
// the exit status. The record is marked undone unless a change failed.
static int put_all_back(const Recorded& recorded, unsigned long made, const Options& options,
                        std::FILE* out, std::FILE* text)
{
	const bool named = made <= named_recordings && !options.json;
	unsigned long counts[4] = {0, 0, 0, 0};
	for (unsigned long i = 0; i < recorded.count; i++) {
		const RecordedChange& change = recorded.changes()[i];
		if (change.kept)
			continue;
		Look look{};
		const Result result = put_back(change, recorded.track, options.dry_run, look);
		counts[static_cast<int>(result)]++;
		tell_result(out, change, result, look, named, options);
	}
	if (options.json)
		json_counts(out, result_words, counts, 4, options.dry_run);
	else
		print(out,
		      "\nUndo%s: %lu %sput back, %lu already as before, %lu left, %lu failed.%s\n",
		      options.dry_run ? ", a dry run" : "", counts[0],
		      options.dry_run ? "would be " : "", counts[1], counts[2], counts[3],
		      options.dry_run ? " Nothing was written." : "");
	const bool whole = counts[2] == 0 && counts[3] == 0;
	if (!options.dry_run && counts[3] == 0 && !mark_undone(recorded.path))
		print(text, "The undo record could not be marked as undone (%s).\n",
		      std::strerror(errno));
	return whole ? 0 : 1;
}

int undo_last(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err,
              std::size_t limit)
{
	std::FILE* text = options.json ? err : out;
	Recorded recorded;
	recorded.limit = limit;
	const Last last = read_last(recorded);
	if (last != Last::found) {
		const int status = no_record(text, last, recorded);
		if (last == Last::none && options.json) {
			const unsigned long none[4] = {0, 0, 0, 0};
			json_counts(out, result_words, none, 4, options.dry_run);
		}
		free_recorded(recorded);
		return status;
	}
	std::qsort(recorded.memory, recorded.count, sizeof(RecordedChange), by_folder);
	unsigned long made = 0;
	for (unsigned long i = 0; i < recorded.count; i++)
		made += recorded.changes()[i].kept ? 0U : 1U;
	tell(recorded, made, text);
	if (!options.json) {
		print(out, "Put back what it changed%s? y or n (Enter alone is n): ",
		      options.dry_run ? ", a dry run" : "");
		if (!ask_yes(in, out)) {
			print(out, "\nNothing was written.\n");
			free_recorded(recorded);
			return 0;
		}
		print(out, "\n");
	}
	const int status = put_all_back(recorded, made, options, out, text);
	free_recorded(recorded);
	return status;
}

} // namespace varnholt
