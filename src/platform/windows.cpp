#include <io.h>
#include <windows.h>

#include <cstdlib>

#include "platform/platform.hpp"

// Keeps mingw's C runtime from expanding wildcards in the arguments: a
// pattern is a file name like any other.
extern "C" {
int _dowildcard = 0; // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
}

namespace varnholt {

static UINT console_code_page;

static void restore_console()
{
	std::fflush(stdout);
	SetConsoleOutputCP(console_code_page);
}

void prepare_process()
{
	// The manifest makes the arguments and file names UTF-8. A console shows
	// a name as typed only while it reads the output as UTF-8 too; it gets
	// its own code page back when the process ends.
	DWORD mode = 0;
	if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0) {
		console_code_page = GetConsoleOutputCP();
		SetConsoleOutputCP(CP_UTF8);
		std::atexit(restore_console);
	}
}

std::FILE* open_recording(const char* name)
{
	// NUL, CON, COM1 and pipes open like files; only a disk file is a recording.
	std::FILE* file = std::fopen(name, "r+b");
	if (file != nullptr && GetFileType(reinterpret_cast<HANDLE>(
	                               _get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
		std::fclose(file);
		return nullptr;
	}
	return file;
}

} // namespace varnholt
