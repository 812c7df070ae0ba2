#include <io.h>
#include <windows.h>

#include <cstdarg>
#include <string>

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

std::FILE* open_recording(const char* name)
{
	std::FILE* file = std::fopen(name, "r+b");
	if (file == nullptr)
		return nullptr;
	// NUL, CON, COM1 and pipes open like files, and a raw volume (\\.\C:)
	// or drive (\\.\PhysicalDrive0) is even of the disk type. Only a file on
	// a file system has a path below its volume's root: the root alone is
	// "\", and a drive has no path at all.
	const HANDLE handle = handle_of(file);
	wchar_t path[4];
	const DWORD length = GetFinalPathNameByHandleW(handle, path, 4, VOLUME_NAME_NONE);
	if (GetFileType(handle) != FILE_TYPE_DISK || length < 2) {
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
	va_list again;
	va_copy(again, args);
	const int size = std::vsnprintf(nullptr, 0, format, args);
	va_end(args);
	std::string text(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
	std::vsnprintf(text.data(), text.size() + 1, format, again);
	va_end(again);

	// A console shows UTF-8 bytes as UTF-8 only under code page 65001, which
	// belongs to the console and not to this process: it gets UTF-16 instead,
	// and keeps its code page.
	const HANDLE handle = handle_of(out);
	DWORD mode = 0;
	if (GetConsoleMode(handle, &mode) == 0) {
		std::fwrite(text.data(), 1, text.size(), out); // text mode adds the CRs
		return;
	}
	std::string lines;
	for (const char c : text) {
		if (c == '\n')
			lines += '\r';
		lines += c;
	}
	const int bytes = static_cast<int>(lines.size());
	std::wstring wide(static_cast<std::size_t>(
	                          MultiByteToWideChar(CP_UTF8, 0, lines.data(), bytes, nullptr, 0)),
	                  L'\0');
	MultiByteToWideChar(CP_UTF8, 0, lines.data(), bytes, wide.data(),
	                    static_cast<int>(wide.size()));
	std::fflush(out);
	DWORD written = 0;
	WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

} // namespace varnholt
