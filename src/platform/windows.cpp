#include <fcntl.h>
#include <io.h>
#include <windows.h>
// These two need windows.h first.
#include <tlhelp32.h>
#include <winioctl.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/platform.hpp"

// Keeps mingw's C runtime from expanding wildcards in the arguments: a
// pattern is a file name like any other.
extern "C" {
int _dowildcard = 0; // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
}

namespace varnholt {

static HANDLE handle_of(std::FILE* file)
{
	return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

void prepare_process()
{
	// Nothing to ready: the C runtime keeps descriptors 0 to 2 for the
	// standard handles even when these are missing, and a write to a pipe
	// whose reader has gone fails without ending the process.
}

// True when the handle answers a request that only a disk, a partition or
// a volume answers. A file system hands a disk's requests down to its disk
// only for a handle on the volume itself, and fails them on its files and
// folders, so no file on a file system can answer. Asked twice, as a disk
// stack may answer one of the two only (wine answers the geometry alone).
static bool is_disk_or_volume(HANDLE handle)
{
	GET_LENGTH_INFORMATION length{};
	DISK_GEOMETRY geometry{};
	DWORD returned = 0;
	return DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length,
	                       static_cast<DWORD>(sizeof length), &returned, nullptr) != 0 ||
	       DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
	                       static_cast<DWORD>(sizeof geometry), &returned, nullptr) != 0;
}

static bool starts_with(const wchar_t* text, const wchar_t* start)
{
	return std::wcsncmp(text, start, std::wcslen(start)) == 0;
}

// A name as UTF-16, in memory the caller frees; null for want of memory. The
// arguments come in the process's code page, UTF-8 by its manifest.
static wchar_t* wide_of(const char* name)
{
	const int units = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
	auto* wide = static_cast<wchar_t*>(
	        std::calloc(static_cast<std::size_t>(units) + 1, sizeof(wchar_t)));
	if (wide != nullptr)
		MultiByteToWideChar(CP_ACP, 0, name, -1, wide, units);
	return wide;
}

// The name as Windows takes it whole: one past MAX_PATH only in its
// \\?\ form (unless its long-path setting is switched on), which takes no
// relative name, no "." or ".." and no "/", so such a name is made from its
// full path. A shorter name stays as given, with every rule of ordinary names
// (NUL, CON). extra counts what the caller will append (a folder's "\\*").
// Null for want of memory.
static wchar_t* whole_name(const char* name, DWORD extra = 0)
{
	wchar_t* wide = wide_of(name);
	if (wide == nullptr)
		return nullptr;
	const bool plain = !starts_with(wide, L"\\\\?\\") && !starts_with(wide, L"\\\\.\\");
	const DWORD size = plain ? GetFullPathNameW(wide, 0, nullptr, nullptr) : 0;
	if (size + extra <= MAX_PATH)
		return wide;
	// Room in front for \\?\UNC\ in place of a share's leading "\\".
	const DWORD room = 6;
	auto* full = static_cast<wchar_t*>(std::calloc(room + size, sizeof(wchar_t)));
	const DWORD length = full ? GetFullPathNameW(wide, size, full + room, nullptr) : 0;
	if (length == 0 || length >= size) {
		std::free(full);
		return wide; // the open will say what it makes of the name
	}
	std::free(wide);
	wchar_t* path = full + room;
	const bool device = starts_with(path, L"\\\\?\\") || starts_with(path, L"\\\\.\\");
	// \\server\share becomes \\?\UNC\server\share, and C:\ becomes \\?\C:\.
	if (!device && starts_with(path, L"\\\\"))
		path = std::wmemcpy(path - room, L"\\\\?\\UNC", 7);
	else if (!device)
		path = std::wmemcpy(path - 4, L"\\\\?\\", 4);
	std::wmemmove(full, path, std::wcslen(path) + 1);
	return full;
}

// errno for what Windows said of a file.
static int errno_of(DWORD error)
{
	switch (error) {
	case ERROR_FILE_NOT_FOUND:
	case ERROR_PATH_NOT_FOUND:
	case ERROR_INVALID_NAME:
		return ENOENT;
	case ERROR_ACCESS_DENIED:
	case ERROR_SHARING_VIOLATION:
	case ERROR_LOCK_VIOLATION:
		return EACCES;
	case ERROR_FILE_EXISTS:
	case ERROR_ALREADY_EXISTS:
		return EEXIST;
	case ERROR_WRITE_PROTECT:
		return EROFS;
	case ERROR_DISK_FULL:
	case ERROR_HANDLE_DISK_FULL:
		return ENOSPC;
	case ERROR_NOT_ENOUGH_MEMORY:
	case ERROR_OUTOFMEMORY:
		return ENOMEM;
	default:
		return EIO;
	}
}

// A stream on a handle from CreateFileW; null, the handle closed, for want
// of memory.
static std::FILE* stream_of(HANDLE handle, int flags, const char* mode)
{
	const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
	if (fd == -1) {
		CloseHandle(handle);
		errno = ENOMEM;
		return nullptr;
	}
	std::FILE* file = _fdopen(fd, mode);
	if (file == nullptr)
		_close(fd);
	return file;
}

// The file itself, never what a link (a symbolic link, a junction) leads to,
// shared as _wfopen shares it; errno 0 for a link or a folder.
static std::FILE* open_no_link(const wchar_t* whole, bool reading)
{
	const HANDLE handle = CreateFileW(
	        whole, GENERIC_READ | (reading ? 0 : GENERIC_WRITE),
	        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
	        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
	if (handle == INVALID_HANDLE_VALUE) {
		errno = errno_of(GetLastError());
		return nullptr;
	}
	BY_HANDLE_FILE_INFORMATION information{};
	if (GetFileInformationByHandle(handle, &information) == 0 ||
	    (information.dwFileAttributes &
	     (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
		CloseHandle(handle);
		errno = 0;
		return nullptr;
	}
	return reading ? stream_of(handle, _O_RDONLY, "rb") : stream_of(handle, 0, "r+b");
}

std::FILE* open_recording(const char* name, Access access)
{
	wchar_t* whole = whole_name(name);
	if (whole == nullptr)
		return nullptr;
	// A folder opens only with the backup flag, which _wfopen never passes.
	const bool reading = access == Access::read || access == Access::read_no_link;
	std::FILE* file = access == Access::read_no_link || access == Access::change_no_link
	                          ? open_no_link(whole, reading)
	                          : _wfopen(whole, reading ? L"rb" : L"r+b");
	std::free(whole);
	if (file == nullptr)
		return nullptr;
	// NUL, CON, COM1 and pipes open like files but say what they are; a raw
	// volume (\\.\C:) or drive (\\.\PhysicalDrive0) says it is of the disk type,
	// as a file does, and is known by its answers as a disk. Only these
	// answers refuse: a query that fails, or a type that Windows does not
	// know, proves nothing about the file.
	const HANDLE handle = handle_of(file);
	const DWORD type = GetFileType(handle);
	if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE || is_disk_or_volume(handle)) {
		std::fclose(file);
		errno = 0;
		return nullptr;
	}
	return file;
}

bool truncate_file(std::FILE* file, std::size_t size)
{
	return _chsize_s(_fileno(file), static_cast<__int64>(size)) == 0;
}

bool write_at(std::FILE* file, std::size_t offset, const unsigned char* bytes, std::size_t count)
{
	OVERLAPPED at{};
	at.Offset = static_cast<DWORD>(offset);
	at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(offset) >> 32);
	DWORD written = 0;
	return WriteFile(handle_of(file), bytes, static_cast<DWORD>(count), &written, &at) != 0 &&
	       written == count;
}

// printf's own interface, whose calls the compiler checks against the format.
void print(std::FILE* out, const char* format, ...) // NOLINT(cert-dcl50-cpp)
{
	va_list args;
	va_start(args, format);
	// A console shows UTF-8 bytes as UTF-8 only under code page 65001, which
	// belongs to the console and not to this process: it gets UTF-16 instead,
	// and keeps its code page. A file or a pipe gets the UTF-8 bytes, with
	// the CRs that text mode adds.
	const HANDLE handle = handle_of(out);
	DWORD mode = 0;
	if (GetConsoleMode(handle, &mode) == 0) {
		std::vfprintf(out, format, args);
		va_end(args);
		return;
	}
	va_list again;
	va_copy(again, args);
	const int size = std::vsnprintf(nullptr, 0, format, args);
	va_end(args);
	// C buffers, not std::string: that would link much of the C++ library.
	const std::size_t length = size > 0 ? static_cast<std::size_t>(size) : 0;
	auto* text = static_cast<char*>(std::malloc(3 * length + 1));
	auto* wide = static_cast<wchar_t*>(std::malloc((2 * length + 1) * sizeof(wchar_t)));
	if (text != nullptr && wide != nullptr) {
		std::vsnprintf(text, length + 1, format, again);
		// The lines, as text mode would write them, after the text.
		char* lines = text + length + 1;
		int bytes = 0;
		for (std::size_t i = 0; i < length; i++) {
			if (text[i] == '\n')
				lines[bytes++] = '\r';
			lines[bytes++] = text[i];
		}
		const int units = MultiByteToWideChar(CP_UTF8, 0, lines, bytes, wide,
		                                      static_cast<int>(2 * length));
		std::fflush(out);
		DWORD written = 0;
		WriteConsoleW(handle, wide, static_cast<DWORD>(units), &written, nullptr);
	}
	va_end(again);
	std::free(text);
	std::free(wide);
}

// True when the process's parent, by the snapshot, is named explorer.exe
// and started before this process did: a parent that has gone may have
// left its number to a younger process.
static bool parent_is_explorer()
{
	const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
	if (snapshot == INVALID_HANDLE_VALUE)
		return false;
	const DWORD self = GetCurrentProcessId();
	DWORD parent = 0;
	PROCESSENTRY32W entry{};
	entry.dwSize = sizeof entry;
	for (BOOL more = Process32FirstW(snapshot, &entry); more && parent == 0;
	     more = Process32NextW(snapshot, &entry))
		if (entry.th32ProcessID == self)
			parent = entry.th32ParentProcessID;
	bool named = false;
	entry.dwSize = sizeof entry;
	for (BOOL more = parent != 0 && Process32FirstW(snapshot, &entry); more;
	     more = Process32NextW(snapshot, &entry))
		if (entry.th32ProcessID == parent) {
			named = _wcsicmp(entry.szExeFile, L"explorer.exe") == 0;
			break;
		}
	CloseHandle(snapshot);
	if (!named)
		return false;
	const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent);
	if (process == nullptr)
		return false;
	FILETIME theirs{}, ours{}, unused{};
	const bool older =
	        GetProcessTimes(process, &theirs, &unused, &unused, &unused) != 0 &&
	        GetProcessTimes(GetCurrentProcess(), &ours, &unused, &unused, &unused) != 0 &&
	        CompareFileTime(&theirs, &ours) <= 0;
	CloseHandle(process);
	return older;
}

bool window_closes_with_process()
{
	DWORD processes[2];
	return GetConsoleProcessList(processes, 2) == 1;
}

std::FILE* started_from_explorer()
{
	// Cheapest first: from a prompt the console holds two processes or
	// more, and that one question settles it.
	if (!window_closes_with_process())
		return nullptr;
	DWORD mode = 0;
	if (GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) == 0 ||
	    GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) == 0)
		return nullptr;
	return parent_is_explorer() ? stdin : nullptr;
}

bool is_terminal(std::FILE* out)
{
	DWORD mode = 0;
	return GetConsoleMode(handle_of(out), &mode) != 0;
}

std::size_t name_start(const char* path)
{
	std::size_t start = 0;
	for (std::size_t i = 0; path[i] != '\0'; i++)
		if (path[i] == '\\' || path[i] == '/' || path[i] == ':')
			start = i + 1;
	return start;
}

bool state_folder(char* path, std::size_t size)
{
	const DWORD units = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
	const std::size_t room = units + 10; // and \Varnholt
	auto* wide = static_cast<wchar_t*>(std::calloc(room, sizeof(wchar_t)));
	if (wide == nullptr) {
		errno = ENOMEM;
		return false;
	}
	const DWORD length = units > 0 ? GetEnvironmentVariableW(L"LOCALAPPDATA", wide, units) : 0;
	// Only a full path names a place (C:\..., \\server\...).
	if (length == 0 || length >= units ||
	    !((length > 2 && wide[1] == L':' && wide[2] == L'\\') || starts_with(wide, L"\\\\"))) {
		std::free(wide);
		errno = 0;
		return false;
	}
	std::wcscat(wide, L"\\Varnholt");
	// Its parents first, where missing; one that cannot be made (C:, a
	// share's server) shows in the last.
	for (wchar_t* at = std::wcschr(wide + 1, L'\\'); at != nullptr;
	     at = std::wcschr(at + 1, L'\\')) {
		*at = L'\0';
		CreateDirectoryW(wide, nullptr);
		*at = L'\\';
	}
	if (CreateDirectoryW(wide, nullptr) == 0 && GetLastError() != ERROR_ALREADY_EXISTS) {
		const int error = errno_of(GetLastError());
		std::free(wide);
		errno = error;
		return false;
	}
	// In the process's code page, as the arguments come, and a separator.
	const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
	const bool fits = bytes > 0 && static_cast<std::size_t>(bytes) + 1 <= size;
	if (fits) {
		WideCharToMultiByte(CP_ACP, 0, wide, -1, path, bytes, nullptr, nullptr);
		std::strcat(path, "\\");
	}
	std::free(wide);
	errno = fits ? 0 : ENAMETOOLONG;
	return fits;
}

static bool is_separator(char c)
{
	return c == '\\' || c == '/';
}

// A path of up to three parts into whole of size bytes; false, with
// ENAMETOOLONG, where it does not fit.
static bool put_whole(char* whole, std::size_t size, const char* first, const char* second = "",
                      const char* third = "")
{
	const int length = std::snprintf(whole, size, "%s%s%s", first, second, third);
	errno = length >= 0 && static_cast<std::size_t>(length) < size ? 0 : ENAMETOOLONG;
	return errno == 0;
}

bool whole_path(const char* path, char* whole, std::size_t size)
{
	// Whole already, and kept as given: C:\..., \\server\share\..., \\?\...
	const bool on_drive = path[0] != '\0' && path[1] == ':';
	const bool from_root = is_separator(path[0]);
	if ((on_drive && is_separator(path[2])) || (from_root && is_separator(path[1])))
		return put_whole(whole, size, path);
	// The rest as the system takes it from the working folder: \name on its
	// drive, C:name in drive C:'s working folder, and a plain name after it,
	// kept as given.
	wchar_t* wide = wide_of(on_drive || from_root ? path : ".");
	const DWORD length = wide != nullptr ? GetFullPathNameW(wide, 0, nullptr, nullptr) : 0;
	auto* full =
	        length > 0 ? static_cast<wchar_t*>(std::calloc(length, sizeof(wchar_t))) : nullptr;
	const bool made = full != nullptr && GetFullPathNameW(wide, length, full, nullptr) != 0;
	const int error = length == 0 && wide != nullptr ? errno_of(GetLastError()) : ENOMEM;
	std::free(wide);
	const int bytes =
	        made ? WideCharToMultiByte(CP_ACP, 0, full, -1, nullptr, 0, nullptr, nullptr) : 0;
	char* folder = bytes > 0 ? static_cast<char*>(std::malloc(static_cast<std::size_t>(bytes)))
	                         : nullptr;
	if (folder != nullptr)
		WideCharToMultiByte(CP_ACP, 0, full, -1, folder, bytes, nullptr, nullptr);
	std::free(full);
	if (folder == nullptr) {
		errno = made ? ENOMEM : error;
		return false;
	}
	const bool plain = !on_drive && !from_root;
	const bool ends = is_separator(folder[std::strlen(folder) - 1]); // a drive's root
	const bool fits =
	        put_whole(whole, size, folder, plain && !ends ? "\\" : "", plain ? path : "");
	std::free(folder);
	return fits;
}

std::FILE* create_file(const char* path)
{
	wchar_t* whole = whole_name(path);
	if (whole == nullptr)
		return nullptr;
	// Shared for deleting, so that it can be renamed while it is open.
	const HANDLE handle = CreateFileW(whole, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
	                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
	std::free(whole);
	if (handle == INVALID_HANDLE_VALUE) {
		errno = errno_of(GetLastError());
		return nullptr;
	}
	return stream_of(handle, _O_WRONLY, "wb");
}

bool sync_file(std::FILE* file)
{
	if (std::fflush(file) != 0)
		return false;
	if (FlushFileBuffers(handle_of(file)) != 0)
		return true;
	errno = errno_of(GetLastError());
	return false;
}

void time_now(long long& seconds, long& nanoseconds)
{
	// In 100 ns since 1601.
	FILETIME now{};
	GetSystemTimePreciseAsFileTime(&now);
	const unsigned long long ticks =
	        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
	constexpr unsigned long long from_1601 = 116444736000000000ULL;
	seconds = static_cast<long long>((ticks - from_1601) / 10000000);
	nanoseconds = static_cast<long>((ticks - from_1601) % 10000000 * 100);
}

unsigned long process_id()
{
	return GetCurrentProcessId();
}

bool rename_file(const char* from, const char* to)
{
	wchar_t* old_name = whole_name(from);
	wchar_t* new_name = whole_name(to);
	const bool renamed = old_name != nullptr && new_name != nullptr &&
	                     MoveFileExW(old_name, new_name, MOVEFILE_WRITE_THROUGH) != 0;
	if (!renamed)
		errno = old_name != nullptr && new_name != nullptr ? errno_of(GetLastError())
		                                                   : ENOMEM;
	std::free(old_name);
	std::free(new_name);
	return renamed;
}

bool remove_file(const char* path)
{
	wchar_t* whole = whole_name(path);
	const bool removed = whole != nullptr && DeleteFileW(whole) != 0;
	std::free(whole);
	return removed;
}

bool sync_folder(const char* /*folder*/)
{
	return true;
}

void set_title(const char* title)
{
	SetConsoleTitleA(title);
}

void wait_for_key(std::FILE* in)
{
	const HANDLE input = handle_of(in);
	DWORD mode = 0;
	if (GetConsoleMode(input, &mode) == 0) {
		std::getc(in);
		return;
	}
	// Keys pressed before the prompt (a second Enter after the answer) do
	// not close the window before it is read.
	FlushConsoleInputBuffer(input);
	INPUT_RECORD record{};
	DWORD read = 0;
	while (ReadConsoleInputW(input, &record, 1, &read) != 0 && read == 1) {
		if (record.EventType != KEY_EVENT || record.Event.KeyEvent.bKeyDown == 0)
			continue;
		switch (record.Event.KeyEvent.wVirtualKeyCode) {
		case VK_SHIFT:
		case VK_CONTROL:
		case VK_MENU:
		case VK_LWIN:
		case VK_RWIN:
		case VK_CAPITAL:
		case VK_NUMLOCK:
		case VK_SCROLL:
			continue;
		default:
			return;
		}
	}
}

namespace {

struct Entry {
	wchar_t* name;
	bool folder;
};

} // namespace

// Name order as Explorer's listing reads it: case aside, then by code unit.
static int by_name(const void* a, const void* b)
{
	const wchar_t* first = static_cast<const Entry*>(a)->name;
	const wchar_t* second = static_cast<const Entry*>(b)->name;
	const int order = CompareStringOrdinal(first, -1, second, -1, TRUE) - CSTR_EQUAL;
	return order != 0 ? order : std::wcscmp(first, second);
}

// The path of name in folder, in the process's code page as the arguments
// come; null for want of memory.
static char* joined(const char* folder, const wchar_t* name)
{
	const int bytes = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
	const std::size_t length = std::strlen(folder);
	const bool separated =
	        length > 0 && (folder[length - 1] == '\\' || folder[length - 1] == '/');
	auto* path = static_cast<char*>(std::malloc(length + 1 + static_cast<std::size_t>(bytes)));
	if (path == nullptr)
		return nullptr;
	std::memcpy(path, folder, length);
	char* at = path + length;
	if (!separated)
		*at++ = '\\';
	WideCharToMultiByte(CP_ACP, 0, name, -1, at, bytes, nullptr, nullptr);
	return path;
}

static void free_entries(Entry* entries, std::size_t count)
{
	for (std::size_t i = 0; i < count; i++)
		std::free(entries[i].name);
	std::free(entries);
}

// The entries of folder, "." and ".." left out, in name order; false when
// it cannot be listed.
static bool list(const char* folder, Entry*& entries, std::size_t& count)
{
	entries = nullptr;
	count = 0;
	wchar_t* whole = whole_name(folder, 2);
	const std::size_t length = whole ? std::wcslen(whole) : 0;
	auto* pattern = static_cast<wchar_t*>(std::malloc((length + 3) * sizeof(wchar_t)));
	if (whole == nullptr || pattern == nullptr) {
		std::free(whole);
		std::free(pattern);
		errno = ENOMEM;
		return false;
	}
	std::wmemcpy(pattern, whole, length);
	std::free(whole);
	const bool separated =
	        length > 0 && (pattern[length - 1] == L'\\' || pattern[length - 1] == L'/');
	std::wcscpy(pattern + length, separated ? L"*" : L"\\*");
	WIN32_FIND_DATAW found;
	const HANDLE search =
	        FindFirstFileExW(pattern, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
	                         FIND_FIRST_EX_LARGE_FETCH);
	std::free(pattern);
	if (search == INVALID_HANDLE_VALUE) {
		const DWORD error = GetLastError();
		errno = errno_of(error);
		return error == ERROR_FILE_NOT_FOUND; // an empty drive
	}
	std::size_t room = 0;
	bool listed = true;
	do {
		if (std::wcscmp(found.cFileName, L".") == 0 ||
		    std::wcscmp(found.cFileName, L"..") == 0)
			continue;
		if (count == room) {
			room = room ? 2 * room : 64;
			auto* grown =
			        static_cast<Entry*>(std::realloc(entries, room * sizeof(Entry)));
			listed = grown != nullptr;
			if (!listed)
				break;
			entries = grown;
		}
		// A link to a folder (a symbolic link, a junction) is not followed,
		// so no walk goes round in a circle; a folder that is a reparse point
		// for another reason (a cloud placeholder) is entered.
		const DWORD attributes = found.dwFileAttributes;
		const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
		                  IsReparseTagNameSurrogate(found.dwReserved0);
		entries[count].name = _wcsdup(found.cFileName);
		entries[count].folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !link;
		listed = entries[count].name != nullptr;
		if (!listed)
			break;
		count++;
	} while (FindNextFileW(search, &found));
	const DWORD error = listed ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
	listed = error == ERROR_NO_MORE_FILES;
	FindClose(search);
	if (listed) {
		std::qsort(entries, count, sizeof(Entry), by_name);
		return true;
	}
	free_entries(entries, count);
	entries = nullptr;
	count = 0;
	errno = errno_of(error);
	return false;
}

static void walk(const char* folder, Visit visit, void* context)
{
	Entry* entries = nullptr;
	std::size_t count = 0;
	if (!list(folder, entries, count))
		visit(context, folder, Found::unreadable_folder);
	for (std::size_t i = 0; i < count; i++) {
		char* path = joined(folder, entries[i].name);
		if (path == nullptr)
			visit(context, folder, Found::unreadable_folder);
		else if (entries[i].folder)
			walk(path, visit, context);
		else
			visit(context, path, Found::file);
		std::free(path);
	}
	free_entries(entries, count);
}

bool walk_folder(const char* folder, Visit visit, void* context)
{
	wchar_t* whole = whole_name(folder);
	const DWORD attributes = whole ? GetFileAttributesW(whole) : INVALID_FILE_ATTRIBUTES;
	std::free(whole);
	if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
		return false;
	walk(folder, visit, context);
	return true;
}

} // namespace varnholt
