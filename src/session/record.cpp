#include "session/record.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "names/names.hpp"
#include "platform/platform.hpp"

namespace varnholt {

constexpr char part_end[] = ".part";
constexpr char record_end[] = ".record";
constexpr char undone_end[] = ".undone";
constexpr std::uint64_t fnv_prime = 0x100000001b3ULL;
constexpr std::size_t line_size = 128; // a line without a path
constexpr std::size_t hash_digits = 16;
constexpr std::size_t whole_size = 48; // a size from this up is not cut back

std::uint64_t record_hash(std::uint64_t hash, const char* bytes, std::size_t count)
{
	for (std::size_t i = 0; i < count; i++)
		hash = (hash ^ static_cast<unsigned char>(bytes[i])) * fnv_prime;
	return hash;
}

// folder and name joined, as a string to free; null for want of memory.
static char* joined(const char* folder, const char* name)
{
	const std::size_t length = std::strlen(folder);
	auto* path = static_cast<char*>(std::malloc(length + std::strlen(name) + 1));
	if (path != nullptr) {
		std::memcpy(path, folder, length);
		std::strcpy(path + length, name);
	}
	return path;
}

// A record's name made now, with ending: the time in UTC to the nanosecond,
// which sorts as the sessions came, and the process's number, which no
// session running beside it has.
static char* name_now(const char* folder, const char* ending, long long& seconds)
{
	std::timespec now{};
	std::timespec_get(&now, TIME_UTC);
	const std::tm* utc = std::gmtime(&now.tv_sec);
	char stamp[20] = "00000000T000000";
	if (utc != nullptr)
		std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", utc);
	char name[80];
	std::snprintf(name, sizeof name, "%s.%09ldZ-%lu%s", stamp, static_cast<long>(now.tv_nsec),
	              process_id(), ending);
	seconds = static_cast<long long>(now.tv_sec);
	return joined(folder, name);
}

// One line: its body, a tab, and the hash of the file up to the tab.
static bool put_line(Record& record, const char* body, std::size_t length)
{
	record.hash = record_hash(record_hash(record.hash, body, length), "\t", 1);
	char tag[hash_digits + 3];
	std::snprintf(tag, sizeof tag, "\t%016llx\n", static_cast<unsigned long long>(record.hash));
	return std::fwrite(body, 1, length, record.file) == length &&
	       std::fputs(tag, record.file) >= 0;
}

static bool put(Record& record, const char* format, ...)
{
	char body[line_size];
	va_list args;
	va_start(args, format);
	const int length = std::vsnprintf(body, sizeof body, format, args);
	va_end(args);
	return length > 0 && put_line(record, body, static_cast<std::size_t>(length));
}

// Gives the record up: closed, removed, the reason kept.
static bool give_up(Record& record)
{
	record.error = errno;
	if (record.file != nullptr)
		std::fclose(record.file);
	record.file = nullptr;
	if (record.path != nullptr)
		remove_file(record.path);
	std::free(record.path);
	record.path = nullptr;
	return false;
}

bool begin_record(Record& record)
{
	record.folder = state_folder();
	if (record.folder == nullptr) {
		record.error = errno;
		return false;
	}
	long long seconds = 0;
	record.path = name_now(record.folder, part_end, seconds);
	record.file = record.path != nullptr ? create_file(record.path) : nullptr;
	if (record.file == nullptr) {
		const int error = record.path != nullptr ? errno : ENOMEM;
		std::free(record.path);
		record.path = nullptr;
		record.error = error;
		return false;
	}
	record.hash = record_hash_start;
	// Written out now, so that a full disk shows before the question.
	if (!put(record, "%s", record_first_line) || std::fflush(record.file) != 0)
		return give_up(record);
	return true;
}

bool start_changes(Record& record, int track, unsigned long count)
{
	const std::time_t now = std::time(nullptr);
	const std::tm* utc = std::gmtime(&now);
	char stamp[32] = "";
	if (utc != nullptr)
		std::strftime(stamp, sizeof stamp, " (%Y-%m-%d %H:%M:%S UTC)", utc);
	if (put(record, "started %lld%s", static_cast<long long>(now), stamp) &&
	    put(record, "track %d", track) && put(record, "recordings %lu", count))
		return true;
	return give_up(record);
}

// A change's line: word (set, or add for one found past the plan), the main
// track before it, the size, the path.
static bool change_line(Record& record, const char* word, int main, std::size_t size,
                        const char* path)
{
	auto* line = static_cast<char*>(std::malloc(line_size + 3 * std::strlen(path)));
	if (line == nullptr) {
		errno = ENOMEM;
		return false;
	}
	const int head = std::snprintf(line, line_size, "%s %d %zu ", word, main,
	                               size < whole_size ? size : whole_size);
	const std::size_t length = static_cast<std::size_t>(head) + record_name(path, line + head);
	const bool written = put_line(record, line, length);
	std::free(line);
	return written;
}

bool add_change(Record& record, int main, std::size_t size, const char* path)
{
	return change_line(record, "set", main, size, path) || give_up(record);
}

bool add_unplanned(Record& record, int main, std::size_t size, const char* path)
{
	return change_line(record, "add", main, size, path) && sync_file(record.file);
}

// The files of the state folder, by name.
struct Names {
	char** paths;
	std::size_t count;
	std::size_t room;
};

static bool ends_with(const char* text, const char* end)
{
	const std::size_t length = std::strlen(text), end_length = std::strlen(end);
	return length >= end_length && std::strcmp(text + length - end_length, end) == 0;
}

static void collect(void* context, const char* path, Found found)
{
	auto& names = *static_cast<Names*>(context);
	if (found != Found::file)
		return;
	if (names.count == names.room) {
		const std::size_t room = names.room > 0 ? 2 * names.room : 32;
		auto* paths = static_cast<char**>(std::realloc(names.paths, room * sizeof(char*)));
		if (paths == nullptr)
			return;
		names.paths = paths;
		names.room = room;
	}
	char* kept = joined(path, "");
	if (kept != nullptr)
		names.paths[names.count++] = kept;
}

static void free_names(Names& names)
{
	for (std::size_t i = 0; i < names.count; i++)
		std::free(names.paths[i]);
	std::free(names.paths);
}

// Keeps the newest records, undone or not, and removes the rest, with the
// records of sessions cut off at their question a day ago or more: one
// newer may be a session asking now.
static void prune(const char* folder)
{
	Names names{nullptr, 0, 0};
	walk_folder(folder, collect, &names);
	std::size_t records = 0;
	for (std::size_t i = 0; i < names.count; i++)
		records += ends_with(names.paths[i], record_end) ||
		           ends_with(names.paths[i], undone_end);
	const std::time_t day_ago = std::time(nullptr) - 24 * 60 * 60;
	const std::tm* utc = std::gmtime(&day_ago);
	char cutoff[20] = "";
	if (utc != nullptr)
		std::strftime(cutoff, sizeof cutoff, "%Y%m%dT%H%M%S", utc);
	std::size_t older = records > records_kept ? records - records_kept : 0;
	for (std::size_t i = 0; i < names.count; i++) {
		const char* path = names.paths[i];
		const bool record = ends_with(path, record_end) || ends_with(path, undone_end);
		if ((record && older > 0) ||
		    (ends_with(path, part_end) && std::strcmp(path + name_start(path), cutoff) < 0))
			remove_file(path);
		older -= record && older > 0 ? 1 : 0;
	}
	free_names(names);
}

char* last_record(const char* folder)
{
	Names names{nullptr, 0, 0};
	walk_folder(folder, collect, &names);
	char* last = nullptr;
	for (std::size_t i = names.count; i-- > 0 && last == nullptr;)
		if (ends_with(names.paths[i], record_end))
			last = joined(names.paths[i], "");
	free_names(names);
	return last;
}

bool mark_undone(const char* path)
{
	const std::size_t stem = std::strlen(path) - (sizeof record_end - 1);
	auto* undone = static_cast<char*>(std::malloc(stem + sizeof undone_end));
	if (undone == nullptr)
		return false;
	std::memcpy(undone, path, stem);
	std::strcpy(undone + stem, undone_end);
	const bool renamed = rename_file(path, undone);
	std::free(undone);
	return renamed;
}

bool seal_record(Record& record)
{
	long long seconds = 0;
	char* sealed = name_now(record.folder, record_end, seconds);
	if (sealed == nullptr)
		errno = ENOMEM;
	if (sealed == nullptr || !put(record, "end") || !sync_file(record.file) ||
	    !rename_file(record.path, sealed)) {
		std::free(sealed);
		return give_up(record);
	}
	std::free(record.path);
	record.path = sealed;
	if (!sync_folder(record.folder))
		return give_up(record);
	record.sealed = true;
	return true;
}

bool amend_change(Record& record, unsigned long index, int main, std::size_t size)
{
	return put(record, "as %lu %d %zu", index, main, size < whole_size ? size : whole_size) &&
	       sync_file(record.file);
}

bool keep_change(Record& record, unsigned long index)
{
	return put(record, "kept %lu", index) && sync_file(record.file);
}

void end_record(Record& record)
{
	if (record.file != nullptr)
		std::fclose(record.file);
	if (record.path != nullptr && record.written == 0)
		remove_file(record.path);
	else if (record.path != nullptr)
		prune(record.folder);
	std::free(record.path);
	std::free(record.folder);
	record = Record{};
}

} // namespace varnholt
