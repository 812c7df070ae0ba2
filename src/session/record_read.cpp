#include "session/record_read.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "header/header.hpp"
#include "names/names.hpp"
#include "platform/platform.hpp"
#include "session/listing.hpp"

namespace varnholt {

constexpr std::size_t hash_digits = 16;
constexpr std::size_t read_step = 64 << 10;
// The last time every system's localtime takes: the year 3000 begins.
constexpr long long max_seconds = 32503680000LL - 1;
constexpr long long max_changes = 1LL << 32;

// Room for changes of the record: false where memory does not allow.
static bool room_for(Recorded& recorded, unsigned long changes)
{
	return grow(recorded.memory, recorded.memory_size, (changes + 1) * sizeof(RecordedChange),
	            recorded.limit);
}

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
static bool take_change(char* body, RecordedChange& change)
{
	long long main = 0;
	long long size = 0;
	if (!number(body, min_track, max_track, main) || !number(body, 0, rewrite_size, size) ||
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
	long long index = 0;
	long long main = 0;
	long long size = 0;
	if ((!as && !word(body, "kept")) ||
	    !number(body, 0, static_cast<long long>(recorded.count) - 1, index))
		return false;
	RecordedChange& change = recorded.changes()[index];
	if (!as) {
		change.kept = true;
		return *body == '\0';
	}
	if (!number(body, min_track, max_track, main) || !number(body, 0, rewrite_size, size) ||
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
		return room_for(recorded,
		                planned + static_cast<unsigned long>(std::count(
		                                  body, recorded.text + recorded.length, '\n')));
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

Last read_last(Recorded& recorded)
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

void free_recorded(Recorded& recorded)
{
	std::free(recorded.text);
	std::free(recorded.memory);
}

} // namespace varnholt
