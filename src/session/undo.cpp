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

namespace varnholt {

constexpr std::size_t whole_size = main_track_offset + 1;
constexpr std::size_t folders_told = 10;
constexpr std::size_t hash_digits = 16;
constexpr std::size_t read_step = 64 << 10;
// The last time every system's localtime takes: the year 3000 begins.
constexpr long long max_seconds = 32503680000LL - 1;
constexpr long long max_changes = 1LL << 32;

namespace {

// A change as the record keeps it.
struct Change {
	char* path;
	int main;         // the main track before it
	std::size_t size; // the file's size before it, up to 48
	bool kept;        // not made after all
};

// A record read back, whole and trusted, in memory of at most limit bytes.
struct Recorded {
	std::size_t limit = 0;
	char path[record_path_size] = "";
	char* text = nullptr;
	std::size_t text_size = 0;
	std::size_t length = 0; // of the text read
	char* memory = nullptr; // the changes
	std::size_t memory_size = 0;
	unsigned long count = 0;
	long long started = 0;
	int track = 0;
	unsigned long line = 0; // the line being read: where a fault is

	Change* changes() const { return reinterpret_cast<Change*>(memory); }
	// Room for the changes up to count: false where memory does not allow.
	bool room_for(unsigned long changes)
	{
		return grow(memory, memory_size, (changes + 1) * sizeof(Change), limit);
	}
};

enum class Last { found, none, untrusted, unreadable };
enum class Result { put_back, already, left, failed };

} // namespace

static const char* const result_words[] = {"put_back", "already", "left", "failed"};

// A whole number from low to high at text, moved past it and a space after
// it; false for none.
static bool number(char*& text, long long low, long long high, long long& value)
{
	const bool sign = text[0] == '-';
	if (text[sign] < '0' || text[sign] > '9')
		return false;
	char* end = text;
	errno = 0;
	value = std::strtoll(text, &end, 10);
	if (errno != 0 || value < low || value > high || (*end != ' ' && *end != '\0'))
		return false;
	text = *end == ' ' ? end + 1 : end;
	return true;
}

// The word expected and a space, at text; moved past them.
static bool word(char*& text, const char* expected)
{
	const std::size_t length = std::strlen(expected);
	if (std::strncmp(text, expected, length) != 0 || text[length] != ' ')
		return false;
	text += length + 1;
	return true;
}

// A change's line past its word: the main track, the size, the path.
static bool take_change(char* body, Change& change)
{
	long long main = 0, size = 0;
	if (!number(body, min_track, max_track, main) || !number(body, 0, whole_size, size) ||
	    *body == '\0' || !read_record_name(body))
		return false;
	change = {body, static_cast<int>(main), static_cast<std::size_t>(size), false};
	return true;
}

// A line after the end of the plan: a change found needed at the setting,
// or one found otherwise than planned, or one not made.
static bool take_amendment(Recorded& recorded, char* body)
{
	if (word(body, "add"))
		return take_change(body, recorded.changes()[recorded.count++]);
	const bool as = word(body, "as");
	long long index = 0, main = 0, size = 0;
	if ((!as && !word(body, "kept")) ||
	    !number(body, 0, static_cast<long long>(recorded.count) - 1, index))
		return false;
	Change& change = recorded.changes()[index];
	if (!as) {
		change.kept = true;
		return *body == '\0';
	}
	if (!number(body, min_track, max_track, main) || !number(body, 0, whole_size, size) ||
	    *body != '\0')
		return false;
	change.main = static_cast<int>(main);
	change.size = static_cast<std::size_t>(size);
	return true;
}

// One line's body, read as its place in the record says.
static bool take_line(Recorded& recorded, char* body, unsigned long& planned, bool& ended)
{
	long long value = 0;
	switch (recorded.line) {
	case 1:
		return std::strcmp(body, record_first_line) == 0;
	case 2: // started <seconds since 1970>
		if (!word(body, "started") || !number(body, 0, max_seconds, value) || *body != '\0')
			return false;
		recorded.started = value;
		return true;
	case 3:
		if (!word(body, "track") || !number(body, min_track, max_track, value) ||
		    *body != '\0')
			return false;
		recorded.track = static_cast<int>(value);
		return true;
	case 4:
		if (!word(body, "recordings") || !number(body, 0, max_changes, value) ||
		    *body != '\0')
			return false;
		planned = static_cast<unsigned long>(value);
		// Room for each change planned and each added past the end: a line
		// each, at most, of the lines left.
		return recorded.room_for(
		        planned + static_cast<unsigned long>(
		                          std::count(body, recorded.text + recorded.length, '\n')));
	default:
		break;
	}
	if (recorded.count < planned)
		return word(body, "set") && take_change(body, recorded.changes()[recorded.count++]);
	if (!ended)
		return ended = std::strcmp(body, "end") == 0;
	return take_amendment(recorded, body);
}

// Checks every line's hash and reads its body. False at the first line that
// is wrong, or when the record ends before its changes do.
static bool take_record(Recorded& recorded, std::size_t length)
{
	std::uint64_t hash = record_hash_start;
	unsigned long planned = 0;
	bool ended = false;
	char* at = recorded.text;
	char* const end = recorded.text + length;
	for (recorded.line = 1; at < end; recorded.line++) {
		auto* line_end = static_cast<char*>(
		        std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
		if (line_end == nullptr)
			return false;
		*line_end = '\0';
		char* tab = std::strrchr(at, '\t');
		if (tab == nullptr)
			return false;
		hash = record_hash(hash, at, static_cast<std::size_t>(tab + 1 - at));
		char tag[hash_digits + 1];
		std::snprintf(tag, sizeof tag, "%016llx", static_cast<unsigned long long>(hash));
		*tab = '\0';
		if (std::strcmp(tab + 1, tag) != 0 || !take_line(recorded, at, planned, ended))
			return false;
		at = line_end + 1;
	}
	return ended;
}

static Last read_last(Recorded& recorded)
{
	char folder[folder_size];
	if (!state_folder(folder, sizeof folder))
		return errno == 0 ? Last::none : Last::unreadable;
	if (!last_record(folder, recorded.path))
		return Last::none;
	std::FILE* file = open_recording(recorded.path, Access::read);
	if (file == nullptr)
		return Last::unreadable;
	std::size_t length = 0;
	for (;;) {
		if (!grow(recorded.text, recorded.text_size, length + read_step + 1,
		          recorded.limit)) {
			std::fclose(file);
			errno = ENOMEM;
			return Last::unreadable;
		}
		const std::size_t got = std::fread(recorded.text + length, 1,
		                                   recorded.text_size - length - 1, file);
		length += got;
		if (got == 0)
			break;
	}
	const bool read = std::ferror(file) == 0;
	std::fclose(file);
	if (!read)
		return Last::unreadable;
	recorded.text[length] = '\0';
	recorded.length = length;
	return take_record(recorded, length) ? Last::found : Last::untrusted;
}

static void free_recorded(Recorded& recorded)
{
	std::free(recorded.text);
	std::free(recorded.memory);
}

// Changes by folder, then by name, so that a folder's changes come
// together.
static int by_folder(const void* a, const void* b)
{
	const char* one = static_cast<const Change*>(a)->path;
	const char* other = static_cast<const Change*>(b)->path;
	const std::size_t length = name_start(one), other_length = name_start(other);
	if (length != other_length)
		return static_cast<int>(length > other_length) -
		       static_cast<int>(length < other_length);
	const int order = std::memcmp(one, other, length);
	return order != 0 ? order : std::strcmp(one + length, other + length);
}

static bool same_folder(const Change& one, const Change& other)
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
	const Change* last = nullptr;
	for (unsigned long i = 0; i < recorded.count; i++) {
		const Change& change = recorded.changes()[i];
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
		print(out, "  and %zu more folders\n", folders - folders_told);
}

// One change put back, where the recording still holds what the session
// wrote, as it is found now.
static Result put_back(const Change& change, int track, bool dry_run, Look& look)
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
	// At the length it had before, or the one the session left: a
	// recording that it grew holds what it wrote only at 48 bytes, as bytes
	// added since would go with a cut.
	auto at_length = [&](std::size_t length) {
		return change.size < whole_size ? look.size == length : look.size >= whole_size;
	};
	Result result = Result::left;
	if (look.main == change.main && at_length(change.size))
		result = Result::already;
	else if (look.main == track && at_length(whole_size))
		result = Result::put_back;
	if (result != Result::put_back || dry_run) {
		std::fclose(file);
		return result;
	}
	look.outcome = change.size < whole_size ? cut_and_close(file, change.size)
	                                        : set_and_close(file, header, change.main);
	look.error = errno;
	return look.outcome == Outcome::set ? Result::put_back : Result::failed;
}

// What became of one change, told on out: by name where the record is
// small, or where it was left or failed.
static void tell_result(std::FILE* out, const Change& change, Result result, const Look& look,
                        bool named, bool dry_run)
{
	if (result == Result::failed) {
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
		say(out, "", change.path, dry_run ? ": would be put back" : ": put back");
		if (change.size < whole_size)
			print(out, " to its %zu bytes\n", change.size);
		else
			print(out, " to main track %d\n", change.main);
	}
}

int undo_last(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err,
              std::size_t limit)
{
	std::FILE* text = options.json ? err : out;
	Recorded recorded;
	recorded.limit = limit;
	const Last last = read_last(recorded);
	if (last != Last::found) {
		if (last == Last::none)
			print(text, "No session to undo, so nothing was written.\n");
		else if (last == Last::unreadable)
			print(text, "The undo record can't be read (%s), so nothing was written.\n",
			      std::strerror(errno));
		else
			say(text, "The undo record ", recorded.path, "");
		if (last == Last::untrusted)
			print(text,
			      " can't be trusted: line %lu is damaged, cut short or edited. "
			      "Nothing was "
			      "written.\n",
			      recorded.line);
		free_recorded(recorded);
		return last == Last::none ? 0 : 1;
	}
	std::qsort(recorded.memory, recorded.count, sizeof(Change), by_folder);
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
	const bool named = made <= named_recordings && !options.json;
	unsigned long counts[4] = {0, 0, 0, 0};
	for (unsigned long i = 0; i < recorded.count; i++) {
		const Change& change = recorded.changes()[i];
		if (change.kept)
			continue;
		Look look{};
		const Result result = put_back(change, recorded.track, options.dry_run, look);
		counts[static_cast<int>(result)]++;
		if (!options.json) {
			tell_result(out, change, result, look, named, options.dry_run);
			continue;
		}
		print(out, "{\"path\": ");
		print_json_name(out, change.path);
		print(out, ", \"main\": %d, \"outcome\": \"%s\"", change.main,
		      result_words[static_cast<int>(result)]);
		if (result == Result::left || result == Result::failed) {
			print(out, ", \"error\": ");
			print_json_name(out, look.outcome == Outcome::reported ? "changed since"
			                                                       : reason(look));
		}
		print(out, "}\n");
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
	free_recorded(recorded);
	return whole ? 0 : 1;
}

} // namespace varnholt
