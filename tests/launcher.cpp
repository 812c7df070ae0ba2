// explorer.exe for the tests: starts a program as Windows' Explorer does, in
// a console of its own from a process of that name (a copy of it under
// another name is another parent), types at the program's prompts and reads
// its screen.
//   explorer.exe <how> [<prompt> <keys>]... -- <program> [<argument>]...
// how:
//   console  a new console whose handles are the program's standard ones.
//            With prompts, once the program has titled its window
//            "Varnholt" (it has looked at its console by then, and only
//            then may a second process attach), this attaches, types each
//            <keys> ('\n' is Enter) once the screen ends with its <prompt>,
//            and prints the screen when the program has ended. The last
//            keys are typed again each second, as a prompt that waits for
//            any key drops keys typed before it. The keys "close" click the
//            window's close button instead, after this process has left
//            the console;
//   pipe     a new console, with this process's standard output as the
//            program's;
//   shared   a console made here, which the program shares as it would a
//            command prompt's; printed when it has ended;
//   cmd      the same, the program started by cmd /c.
// The exit status is the program's, or 124 when it still ran after 30 s and
// was ended.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "quoted.hpp"

namespace {

const wchar_t title[] = L"Varnholt";
constexpr SHORT width = 1000; // wide enough that no line of a test wraps
constexpr SHORT height = 3000;
constexpr auto patience = std::chrono::seconds(30);

// The screen up to the cursor, each row without its trailing blanks, rows
// joined by CR LF: what the program wrote, as far as a screen shows it.
std::wstring screen()
{
	const HANDLE out =
	        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
	                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
	CONSOLE_SCREEN_BUFFER_INFO info{};
	GetConsoleScreenBufferInfo(out, &info);
	std::wstring text;
	for (SHORT y = 0; y <= info.dwCursorPosition.Y; y++) {
		std::wstring row(static_cast<std::size_t>(info.dwSize.X), L' ');
		DWORD read = 0;
		ReadConsoleOutputCharacterW(out, row.data(), static_cast<DWORD>(row.size()), {0, y},
		                            &read);
		row.resize(read);
		row.erase(row.find_last_not_of(L' ') + 1);
		text += (y > 0 ? L"\r\n" : L"") + row;
	}
	CloseHandle(out);
	return text;
}

bool ends_with(std::wstring text, std::wstring end)
{
	text.erase(text.find_last_not_of(L' ') + 1);
	end.erase(end.find_last_not_of(L' ') + 1);
	return text.size() >= end.size() &&
	       text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void type(const std::wstring& keys)
{
	const HANDLE in =
	        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
	                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
	std::vector<INPUT_RECORD> records;
	for (const wchar_t c : keys)
		for (const BOOL down : {TRUE, FALSE}) {
			INPUT_RECORD record{};
			record.EventType = KEY_EVENT;
			record.Event.KeyEvent.bKeyDown = down;
			record.Event.KeyEvent.wRepeatCount = 1;
			record.Event.KeyEvent.uChar.UnicodeChar = c == L'\n' ? L'\r' : c;
			record.Event.KeyEvent.wVirtualKeyCode =
			        c == L'\n' ? VK_RETURN : static_cast<WORD>(VkKeyScanW(c) & 0xFF);
			records.push_back(record);
		}
	DWORD written = 0;
	WriteConsoleInputW(in, records.data(), static_cast<DWORD>(records.size()), &written);
	CloseHandle(in);
}

void print(HANDLE out, const std::wstring& text)
{
	const int bytes =
	        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
	                            nullptr, 0, nullptr, nullptr);
	std::string utf8(static_cast<std::size_t>(bytes), '\0');
	WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(),
	                    bytes, nullptr, nullptr);
	DWORD written = 0;
	WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

bool ended(HANDLE process, DWORD wait = 0)
{
	return WaitForSingleObject(process, wait) == WAIT_OBJECT_0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
	const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
	int at = 2;
	std::vector<std::pair<std::wstring, std::wstring>> steps;
	for (; at + 1 < argc && std::wstring(argv[at]) != L"--"; at += 2)
		steps.emplace_back(argv[at], argv[at + 1]);
	if (argc < 3 || at + 1 >= argc) {
		std::fprintf(stderr, "usage: explorer.exe console|pipe|shared [prompt keys]... -- "
		                     "program [argument]...\n");
		return 2;
	}
	const std::wstring how = argv[1];
	std::wstring line;
	for (int i = at + 1; i < argc; i++)
		line += (line.empty() ? L"" : L" ") + test::quoted(std::wstring(argv[i]));
	if (how == L"cmd") // /s keeps the line inside the outer quotes as it is
		line = L"cmd.exe /s /c \"" + line + L"\"";

	STARTUPINFOW start{};
	start.cb = sizeof start;
	DWORD flags = CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT;
	BOOL inherit = FALSE;
	if (how == L"console") {
		start.dwFlags = STARTF_USECOUNTCHARS;
		start.dwXCountChars = width;
		start.dwYCountChars = height;
		// A window of an earlier run may still be closing.
		for (int i = 0; i < 100 && FindWindowW(nullptr, title) != nullptr; i++)
			Sleep(50);
	} else if (how == L"pipe") {
		start.dwFlags = STARTF_USESTDHANDLES;
		start.hStdInput = INVALID_HANDLE_VALUE;
		start.hStdOutput = output;
		start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
		inherit = TRUE;
	} else {
		FreeConsole(); // a console of a parent, shared, would be read too
		AllocConsole();
		SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
		start.dwFlags = STARTF_USESTDHANDLES;
		start.hStdInput = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
		                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
		                              OPEN_EXISTING, 0, nullptr);
		start.hStdOutput = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
		                               FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
		                               OPEN_EXISTING, 0, nullptr);
		start.hStdError = start.hStdOutput;
		SetConsoleScreenBufferSize(start.hStdOutput, {width, height});
		flags = CREATE_UNICODE_ENVIRONMENT;
		inherit = TRUE;
	}
	PROCESS_INFORMATION process{};
	if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, flags, nullptr,
	                    nullptr, &start, &process)) {
		std::fprintf(stderr, "cannot start the program (%lu)\n", GetLastError());
		return 2;
	}
	const auto deadline = std::chrono::steady_clock::now() + patience;
	auto late = [&] { return std::chrono::steady_clock::now() > deadline; };

	bool attached = how == L"shared" || how == L"cmd";
	if (how == L"console" && !steps.empty()) {
		while (!ended(process.hProcess, 20) && !late() &&
		       FindWindowW(nullptr, title) == nullptr) {
		}
		FreeConsole(); // one may have come with this process
		attached = !ended(process.hProcess) && AttachConsole(process.dwProcessId) != 0;
	}
	std::wstring shown;
	for (std::size_t i = 0; attached && i < steps.size(); i++) {
		while (!ended(process.hProcess) && !late() && !ends_with(screen(), steps[i].first))
			Sleep(20);
		if (steps[i].second == L"close") {
			// The window's close button, for the program alone: this
			// process leaves the console first, with what it showed.
			const HWND window = GetConsoleWindow();
			shown = screen();
			FreeConsole();
			attached = false;
			PostMessageW(window, WM_CLOSE, 0, 0);
			break;
		}
		type(steps[i].second);
		while (i + 1 == steps.size() && !ended(process.hProcess, 1000) && !late())
			type(steps[i].second);
	}
	while (!ended(process.hProcess, 50) && !late()) {
	}
	DWORD status = 124;
	if (!ended(process.hProcess))
		TerminateProcess(process.hProcess, status);
	else
		GetExitCodeProcess(process.hProcess, &status);
	print(output, attached ? screen() : shown);
	CloseHandle(process.hProcess);
	CloseHandle(process.hThread);
	return static_cast<int>(status);
}
