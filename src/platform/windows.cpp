#include <io.h>
#include <windows.h>
#include <winioctl.h>

#include <cstdarg>
#include <cstdlib>
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

// The name as Windows takes it whole: one past MAX_PATH only in its
// \\?\ form (unless its long-path setting is switched on), which takes no
// relative name, no "." or ".." and no "/", so such a name is made from its
// full path. A shorter name stays as given, with every rule of ordinary names
// (NUL, CON). Null for want of memory.
static wchar_t* whole_name(const char* name)
{
	// The arguments come in the process's code page, UTF-8 by its manifest.
	const int units = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
	auto* wide = static_cast<wchar_t*>(
	        std::calloc(static_cast<std::size_t>(units) + 1, sizeof(wchar_t)));
	if (wide == nullptr)
		return nullptr;
	MultiByteToWideChar(CP_ACP, 0, name, -1, wide, units);
	const bool plain = !starts_with(wide, L"\\\\?\\") && !starts_with(wide, L"\\\\.\\");
	const DWORD size = plain ? GetFullPathNameW(wide, 0, nullptr, nullptr) : 0;
	if (size <= MAX_PATH)
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

std::FILE* open_recording(const char* name)
{
	wchar_t* whole = whole_name(name);
	if (whole == nullptr)
		return nullptr;
	// A folder opens only with the backup flag, which _wfopen never passes.
	std::FILE* file = _wfopen(whole, L"r+b");
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
		return nullptr;
	}
	return file;
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

} // namespace varnholt
