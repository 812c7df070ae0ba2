#include "session/record.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "names/names.hpp"
#include "platform/platform.hpp"

namespace varnholt {

constexpr char part_end[] = ".part";
constexpr char record_end[] = ".record";
constexpr char undone_end[] = ".undone";
constexpr std::uint64_t fnv_prime = 0x100000001b3ULL;
constexpr std::size_t line_size = 128; // a line's words, without a path
constexpr std::size_t stamp_size = 24; // seconds since 1970, 12 digits or more, and a '\0'
constexpr long long day = 24LL * 60 * 60;

std::uint64_t record_hash(std::uint64_t hash, const char* bytes, std::size_t count)
{
	for (std::size_t i = 0; i < count; i++)
		hash = (hash ^ static_cast<unsigned char>(bytes[i])) * fnv_prime;
	return hash;
}

// The start of a record's name: a time in seconds since 1970, of a width
// that sorts as the times do.
static void stamp(long long seconds, char* text)
{
	std::snprintf(text, stamp_size, "%012lld", seconds);
}

static long long seconds_now()
{
	long long seconds = 0;
	long nanoseconds = 0;
	time_now(seconds, nanoseconds);
	return seconds;
}

// A record's path made now, with ending: the time to the nanosecond, which
// sorts as the sessions came, and the process's number, which no session
// running beside it has.
static void name_now(const Record& record, const char* ending, char* path)
{
	long long seconds = 0;
	long nanoseconds = 0;
	time_now(seconds, nanoseconds);
	char when[stamp_size];
	stamp(seconds, when);
	std::snprintf(path, record_path_size, "%s%s.%09ld-%lu%s", record.folder, when, nanoseconds,
	              process_id(), ending);
}

static void put_bytes(Record& record, const char* bytes, std::size_t count)
{
	record.hash = record_hash(record.hash, bytes, count);
	std::fwrite(bytes, 1, count, record.file);
}

// The end of a line: a tab, and the hash of the file up to it.
static void end_line(Record& record)
{
	put_bytes(record, "\t", 1);
	std::fprintf(record.file, "%016llx\n", static_cast<unsigned long long>(record.hash));
}

// printf's own interface, whose calls the compiler checks against the format.
static void put(Record& record, const char* format, ...) VARNHOLT_PRINTF_LIKE;
static void put(Record& record, const char* format, ...) // NOLINT(cert-dcl50-cpp)
{
	char words[line_size];
	va_list args;
	va_start(args, format);
	const int length = std::vsnprintf(words, sizeof words, format, args);
	va_end(args);
	put_bytes(record, words, static_cast<std::size_t>(length));
}

// A path as the record keeps it: each byte print_name would escape, and %,
// as %HH.
static void put_path(Record& record, const char* path)
{
	for (const char* at = path; *at != '\0';) {
		const std::size_t plain = record_plain(at);
		if (plain > 0) {
			put_bytes(record, at, plain);
			at += plain;
			continue;
		}
		char byte[4];
		std::snprintf(byte, sizeof byte, "%%%02X", static_cast<unsigned char>(*at++));
		put_bytes(record, byte, 3);
	}
}

// A path made whole: as long as a Windows path may be, in UTF-8.
static char whole[3 * 32768];

// A change's line: word (set, or add for one found past the plan), the main
// track before it, the size, the path, made whole so that an undo run
// elsewhere finds it. False, with errno telling why, where it cannot be.
static bool change_line(Record& record, const char* word, int main, std::size_t size,
                        const char* path)
{
	if (!whole_path(path, whole, sizeof whole))
		return false;
	put(record, "%s %d %d ", word, main, static_cast<int>(size));
	put_path(record, whole);
	end_line(record);
	return true;
}

// Gives the record up: closed, removed, the reason kept.
static bool give_up(Record& record)
{
	record.error = errno;
	std::fclose(record.file);
	record.file = nullptr;
	remove_file(record.path);
	return false;
}

// Whether the record's file has all it was given, written through.
static bool durable(Record& record)
{
	return std::ferror(record.file) == 0 && sync_file(record.file);
}

bool begin_record(Record& record)
{
	record.file = nullptr;
	record.sealed = false;
	record.written = 0;
	record.error = 0;
	record.fault = 0;
	// A session's paths are made whole from its working folder: one that is
	// gone shows now.
	if (!whole_path(".", whole, sizeof whole) ||
	    !state_folder(record.folder, sizeof record.folder)) {
		record.error = errno;
		return false;
	}
	name_now(record, part_end, record.path);
	record.file = create_file(record.path);
	if (record.file == nullptr) {
		record.error = errno;
		return false;
	}
	record.hash = record_hash_start;
	put(record, "%s", record_first_line);
	end_line(record);
	// Written out now, so that a full disk shows before the question.
	if (std::fflush(record.file) != 0)
		return give_up(record);
	return true;
}

void start_changes(Record& record, int track, unsigned long count)
{
	put(record, "started %lld", seconds_now());
	end_line(record);
	put(record, "track %d", track);
	end_line(record);
	put(record, "recordings %lu", count);
	end_line(record);
}

void add_change(Record& record, int main, std::size_t size, const char* path)
{
	if (!change_line(record, "set", main, size, path) && record.fault == 0)
		record.fault = errno;
}

bool seal_record(Record& record)
{
	put(record, "end");
	end_line(record);
	char sealed[record_path_size];
	name_now(record, record_end, sealed);
	if (record.fault != 0)
		errno = record.fault;
	if (record.fault != 0 || !durable(record) || !rename_file(record.path, sealed))
		return give_up(record);
	std::strcpy(record.path, sealed);
	if (!sync_folder(record.folder))
		return give_up(record);
	record.sealed = true;
	return true;
}

bool amend_change(Record& record, unsigned long index, int main, std::size_t size)
{
	put(record, "as %lu %d %d", index, main, static_cast<int>(size));
	end_line(record);
	return durable(record);
}

bool keep_change(Record& record, unsigned long index)
{
	put(record, "kept %lu", index);
	end_line(record);
	return durable(record);
}

bool add_unplanned(Record& record, int main, std::size_t size, const char* path)
{
	if (!change_line(record, "add", main, size, path))
		return false;
	return durable(record);
}

// Whether the name in path ends in end, from its last dot.
static bool ends_with(const char* path, const char* end)
{
	const char* dot = std::strrchr(path + name_start(path), '.');
	return dot != nullptr && std::strcmp(dot, end) == 0;
}

static bool is_record(const char* path)
{
	return ends_with(path, record_end) || ends_with(path, undone_end);
}

// Walks the state folder's files, in name order, the oldest first: the
// folder named without its last separator, so that a file's path has one.
static void walk_state(const char* folder, Visit visit, void* context)
{
	char named[folder_size];
	std::snprintf(named, sizeof named, "%.*s", static_cast<int>(std::strlen(folder) - 1),
	              folder);
	walk_folder(named, visit, context);
}

// What the pruning finds.
struct Pruning {
	std::size_t records; // counted on the first walk
	std::size_t older;   // removed on the second
	char cutoff[stamp_size];
};

// Only the names count: the folder holds records alone.
static void count_records(void* context, const char* path, Found /*found*/)
{
	if (is_record(path))
		static_cast<Pruning*>(context)->records++;
}

static void remove_older(void* context, const char* path, Found /*found*/)
{
	auto& pruning = *static_cast<Pruning*>(context);
	if (is_record(path) && pruning.older > 0) {
		remove_file(path);
		pruning.older--;
	} else if (ends_with(path, part_end) &&
	           std::strcmp(path + name_start(path), pruning.cutoff) < 0) {
		remove_file(path);
	}
}

// Keeps the newest records, undone or not, and removes the rest, with the
// records of sessions cut off at their question a day ago or more: one
// newer may be a session asking now.
static void prune(const char* folder)
{
	Pruning pruning{0, 0, ""};
	walk_state(folder, count_records, &pruning);
	pruning.older = pruning.records > records_kept ? pruning.records - records_kept : 0;
	stamp(seconds_now() - day, pruning.cutoff);
	walk_state(folder, remove_older, &pruning);
}

void end_record(Record& record)
{
	if (record.file == nullptr)
		return;
	std::fclose(record.file);
	record.file = nullptr;
	if (record.written == 0)
		remove_file(record.path);
	else
		prune(record.folder);
}

static void keep_last(void* context, const char* path, Found /*found*/)
{
	if (ends_with(path, record_end))
		std::snprintf(static_cast<char*>(context), record_path_size, "%s", path);
}

bool last_record(const char* folder, char* path)
{
	path[0] = '\0';
	walk_state(folder, keep_last, path);
	return path[0] != '\0';
}

bool mark_undone(const char* path)
{
	char undone[record_path_size];
	const int stem = static_cast<int>(std::strlen(path) - (sizeof record_end - 1));
	std::snprintf(undone, sizeof undone, "%.*s%s", stem, path, undone_end);
	return rename_file(path, undone);
}

} // namespace varnholt
