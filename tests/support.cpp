#include "support.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

#include "cli/run.hpp"
#include "quoted.hpp"
#include "session/session.hpp"

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <mutex>
#else
#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace test {

Bytes filler(std::size_t size)
{
	Bytes bytes(size);
	for (std::size_t i = 0; i < size; i++)
		bytes[i] = static_cast<unsigned char>(i * 7 % 251 + 1);
	return bytes;
}

Bytes recording(std::size_t size, int count, int main)
{
	Bytes bytes = filler(size);
	auto place = [&](std::size_t at, int value) {
		if (at < size)
			bytes[at] = static_cast<unsigned char>(value);
	};
	for (std::size_t i = 0; i < 4; i++)
		place(38 + i, "KELV"[i]);
	place(45, count);
	place(47, main);
	return bytes;
}

Bytes slurp(const std::filesystem::path& file)
{
	std::ifstream in(long_form(file), std::ios::binary);
	return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::filesystem::path nested(const std::filesystem::path& base, std::size_t length)
{
	std::filesystem::path inner;
	for (char letter = 'a'; inner.string().size() < length; letter++) {
		inner /= std::string(1, letter) + "-" + std::string(98, 'x');
		std::filesystem::create_directory(long_form(base / inner));
	}
	return inner;
}

std::filesystem::path Scratch::put(const std::string& name, const Bytes& bytes) const
{
	const auto file = dir / std::filesystem::u8path(name);
	std::ofstream(long_form(file), std::ios::binary)
	        .write(reinterpret_cast<const char*>(bytes.data()),
	               static_cast<std::streamsize>(bytes.size()));
	return file;
}

void Scratch::put_at(const std::filesystem::path& file, const Bytes& bytes)
{
	std::ofstream(long_form(file), std::ios::binary | std::ios::trunc)
	        .write(reinterpret_cast<const char*>(bytes.data()),
	               static_cast<std::streamsize>(bytes.size()));
}

std::string tool()
{
	const char* named = std::getenv("VARNHOLT_TEST_TOOL");
	return named && *named ? named : VARNHOLT_EXE;
}

std::string open_tool()
{
	std::string path = tool();
	const auto name = path.find_last_of("/\\") + 1;
	const bool exe = path.size() > 4 && path.compare(path.size() - 4, 4, ".exe") == 0;
	return path.replace(name, std::string::npos, exe ? "Varnholt-open.exe" : "Varnholt-open");
}

#ifdef _WIN32

bool under_wine()
{
	const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
	return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

static std::string unique_name(const char* stem)
{
	static std::atomic<unsigned> count{0};
	return std::string(stem) + std::to_string(GetCurrentProcessId()) + "-" +
	       std::to_string(count++);
}

std::filesystem::path long_form(const std::filesystem::path& path)
{
	std::wstring name = path.wstring();
	std::replace(name.begin(), name.end(), L'/', L'\\');
	if (name.rfind(L"\\\\?\\", 0) == 0)
		return name;
	if (name.rfind(L"\\\\", 0) == 0)
		return L"\\\\?\\UNC\\" + name.substr(2);
	if (name.size() > 2 && name[1] == L':' && name[2] == L'\\')
		return L"\\\\?\\" + name;
	return path;
}

// Removes path with everything in it: the C++ library of mingw-w64 lists
// no folder past 260 characters, so std::filesystem::remove_all cannot.
static void remove_tree(const std::wstring& path)
{
	WIN32_FIND_DATAW found;
	const HANDLE listing = FindFirstFileW((path + L"\\*").c_str(), &found);
	if (listing != INVALID_HANDLE_VALUE) {
		do {
			const std::wstring name = found.cFileName;
			if (name == L"." || name == L"..")
				continue;
			const std::wstring inner = path + L"\\" + name;
			if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
				DeleteFileW(inner.c_str());
			else if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
				remove_tree(inner);
			else
				RemoveDirectoryW(inner.c_str()); // the link, not what it leads to
		} while (FindNextFileW(listing, &found));
		FindClose(listing);
	}
	RemoveDirectoryW(path.c_str());
}

Scratch::~Scratch()
{
	remove_tree(long_form(dir).wstring());
}

Scratch::Scratch(bool on_share)
{
	const std::string name = unique_name("scratch-");
	dir = std::filesystem::temp_directory_path() / name;
	const std::string local = dir.string();
	// Windows shares each drive to its administrators as \\localhost\C$.
	if (on_share && local.size() > 2 && local[1] == ':')
		share = "\\\\localhost\\" + local.substr(0, 1) + "$" + local.substr(2);
	// Wine serves \\server\share from dosdevices\unc\server\share in its
	// prefix, which WINECONFIGDIR names after "\??\".
	wchar_t prefix[1024];
	const DWORD length = GetEnvironmentVariableW(L"WINECONFIGDIR", prefix, 1024);
	if (on_share && under_wine() && length > 4 && length < 1024) {
		const auto host =
		        std::filesystem::path(prefix + 4) / "dosdevices" / "unc" / "localhost";
		std::filesystem::create_directories(host);
		dir = host / name;
		share = "\\\\localhost\\" + name;
	}
	std::filesystem::create_directory(dir);
	std::error_code failed;
	if (!share.empty() &&
	    !std::filesystem::is_directory(std::filesystem::u8path(share), failed))
		share.clear();
}

static std::string read_and_remove(const std::filesystem::path& file)
{
	const Bytes bytes = slurp(file);
	std::filesystem::remove(file);
	return std::string(bytes.begin(), bytes.end());
}

// Standard output is a text stream: each line ends in CR LF. Checked here
// once for every run, then folded to LF so expectations read as on POSIX.
static std::string text_lines(const std::string& raw)
{
	std::string text;
	for (std::size_t i = 0; i < raw.size(); i++) {
		if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
			continue;
		if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r'))
			throw std::runtime_error("a line ends in a bare LF: " + raw);
		text += raw[i];
	}
	return text;
}

std::string launcher()
{
	return VARNHOLT_LAUNCHER;
}

Outcome run_tool(const std::vector<std::string>& args, const Setup& setup)
{
	std::vector<std::string> words = setup.wrapper;
	words.push_back(setup.exe);
	words.insert(words.end(), args.begin(), args.end());
	std::string line = test::quoted(words[0]);
	for (std::size_t i = 1; i < words.size(); i++)
		line += " " + test::quoted(words[i]);
	const auto temp = std::filesystem::temp_directory_path();
	const auto out_file = temp / unique_name("run-out-");
	const auto err_file = temp / unique_name("run-err-");

	// Handles are inherited by whichever child starts while they are open,
	// so only one start at a time.
	static std::mutex starting;
	PROCESS_INFORMATION process{};
	{
		std::lock_guard<std::mutex> lock(starting);
		SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
		auto open = [&](const std::filesystem::path& file) {
			return CreateFileW(file.c_str(), GENERIC_WRITE,
			                   FILE_SHARE_READ | FILE_SHARE_DELETE, &inherit,
			                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
		};
		HANDLE out = setup.out == Stdout::console
		                     ? CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
		                                   FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
		                                   OPEN_EXISTING, 0, nullptr)
		                     : open(out_file);
		HANDLE err = open(err_file);
		STARTUPINFOW start{};
		start.cb = sizeof start;
		start.dwFlags = STARTF_USESTDHANDLES;
		start.hStdInput = INVALID_HANDLE_VALUE;
		start.hStdOutput = out;
		start.hStdError = err;
		// The arguments are UTF-8, which the tool's manifest makes its own.
		std::wstring wide_line = std::filesystem::u8path(line).wstring();
		const BOOL started = CreateProcessW(
		        std::filesystem::u8path(words[0]).c_str(), wide_line.data(), nullptr,
		        nullptr, TRUE, 0, nullptr,
		        setup.folder.empty() ? nullptr : setup.folder.c_str(), &start, &process);
		CloseHandle(out);
		CloseHandle(err);
		if (!started)
			throw std::runtime_error("cannot start " + words[0]);
	}
	WaitForSingleObject(process.hProcess, INFINITE);
	DWORD status = 0;
	GetExitCodeProcess(process.hProcess, &status);
	CloseHandle(process.hProcess);
	CloseHandle(process.hThread);

	Outcome outcome;
	outcome.status = static_cast<int>(status);
	if (setup.out != Stdout::console)
		outcome.out = text_lines(read_and_remove(out_file));
	outcome.err = read_and_remove(err_file);
	return outcome;
}

#else

bool under_wine()
{
	return false;
}

std::string launcher()
{
	return "";
}

std::filesystem::path long_form(const std::filesystem::path& path)
{
	return path;
}

Scratch::~Scratch()
{
	std::error_code ignored;
	std::filesystem::remove_all(dir, ignored);
}

Scratch::Scratch(bool)
{
	std::string name = (std::filesystem::temp_directory_path() / "scratch-XXXXXX").string();
	if (!mkdtemp(name.data()))
		throw std::runtime_error("mkdtemp failed");
	dir = name;
	// Readable and searchable by every user (0755), for the runs made
	// without privileges.
	std::filesystem::permissions(dir, std::filesystem::perms::all &
	                                          ~std::filesystem::perms::group_write &
	                                          ~std::filesystem::perms::others_write);
}

// Reads both pipes to their ends together: one that fills while the other
// is read would stop the child. A run that hangs, with whatever it runs
// under (strace leaves its tracee running when it is killed), is killed as
// a whole process group after 20 s.
static void drain(int out, int err, Outcome& outcome, pid_t group)
{
	pollfd ends[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
	std::string* texts[2] = {&outcome.out, &outcome.err};
	const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
	for (int left = (out >= 0) + 1; left > 0;) {
		const int ready = poll(ends, 2, 100);
		if (ready < 0)
			throw std::runtime_error("poll failed");
		if (std::chrono::steady_clock::now() > deadline)
			kill(-group, SIGKILL);
		for (int i = 0; i < 2; i++) {
			if (ends[i].fd < 0 || ends[i].revents == 0)
				continue;
			char chunk[4096];
			const ssize_t got = read(ends[i].fd, chunk, sizeof chunk);
			if (got > 0) {
				texts[i]->append(chunk, static_cast<std::size_t>(got));
				continue;
			}
			close(ends[i].fd);
			ends[i].fd = -1;
			left--;
		}
	}
}

// The words of the run: the wrapper, the emulator of a cross build (CMake's
// list, joined by "|"; VARNHOLT_TEST_EMULATOR, empty for none, replaces it
// for a tool named by VARNHOLT_TEST_TOOL), the tool and args.
static std::vector<std::string> command(const std::vector<std::string>& args, const Setup& setup)
{
	std::vector<std::string> words = setup.wrapper;
	const char* other_emulator = std::getenv("VARNHOLT_TEST_EMULATOR");
	std::istringstream emulator(other_emulator ? other_emulator : VARNHOLT_EMULATOR);
	for (std::string word; std::getline(emulator, word, '|');)
		words.push_back(word);
	words.push_back(setup.exe);
	words.insert(words.end(), args.begin(), args.end());
	return words;
}

// LeakSanitizer cannot work under ptrace (strace); the other runs check
// leaks. In the child, before it runs its wrapper.
static void no_leak_check_under_ptrace()
{
	const char* options = std::getenv("ASAN_OPTIONS");
	setenv("ASAN_OPTIONS", (std::string(options ? options : "") + ":detect_leaks=0").c_str(),
	       1);
}

Outcome in_terminal(const std::vector<std::string>& args, bool leader,
                    const std::vector<std::pair<std::string, std::string>>& typing,
                    const Setup& setup)
{
	std::vector<std::string> words = command(args, setup);
	std::vector<char*> argv;
	for (auto& word : words)
		argv.push_back(word.data());
	argv.push_back(nullptr);
	const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
	if (terminal < 0 || grantpt(terminal) != 0 || unlockpt(terminal) != 0)
		throw std::runtime_error("no pseudo-terminal");
	const std::string pts = ptsname(terminal);
	const pid_t pid = fork();
	if (pid == 0) {
		// As a terminal starts its program: a session of its own, whose
		// controlling terminal the pseudo-terminal becomes at the open.
		if (leader)
			setsid();
		const int fd = open(pts.c_str(), leader ? O_RDWR : O_RDWR | O_NOCTTY);
		if (fd < 0)
			_exit(125);
		dup2(fd, 0), dup2(fd, 1), dup2(fd, 2);
		close(fd), close(terminal);
		if (!setup.wrapper.empty())
			no_leak_check_under_ptrace();
		execvp(argv[0], argv.data());
		_exit(127);
	}
	Outcome outcome;
	std::size_t next = 0, seen = 0;
	const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
	for (;;) {
		if (next < typing.size()) {
			const auto at = outcome.out.find(typing[next].first, seen);
			if (at != std::string::npos) {
				// A key typed at the last prompt proves the wait only if
				// the program was still there without it.
				std::this_thread::sleep_for(std::chrono::milliseconds(200));
				if (next + 1 == typing.size() &&
				    waitpid(pid, nullptr, WNOHANG) == pid)
					throw std::runtime_error("ended before the last key");
				seen = at + typing[next].first.size();
				if (next == 0 && setup.meanwhile)
					setup.meanwhile();
				const std::string& keys = typing[next++].second;
				if (write(terminal, keys.data(), keys.size()) < 0)
					throw std::runtime_error("cannot type");
			}
		}
		pollfd end = {terminal, POLLIN, 0};
		if (poll(&end, 1, 100) < 0)
			throw std::runtime_error("poll failed");
		if (std::chrono::steady_clock::now() > deadline)
			kill(pid, SIGKILL);
		if (end.revents == 0)
			continue;
		char chunk[4096];
		const ssize_t got = read(terminal, chunk, sizeof chunk);
		if (got <= 0)
			break; // EIO: the program and its terminal are gone
		outcome.out.append(chunk, static_cast<std::size_t>(got));
	}
	close(terminal);
	int status = 0;
	waitpid(pid, &status, 0);
	outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	// The terminal's line ends, and what it echoed, are its own.
	outcome.out.erase(std::remove(outcome.out.begin(), outcome.out.end(), '\r'),
	                  outcome.out.end());
	return outcome;
}

Outcome run_tool(const std::vector<std::string>& args, const Setup& setup)
{
	std::vector<std::string> words = command(args, setup);
	std::vector<char*> argv;
	for (auto& word : words)
		argv.push_back(word.data());
	argv.push_back(nullptr);

	// VARNHOLT_TEST_EMPTY_ENV=1: as under env -i, the search path for the
	// wrapper or emulator being the C library's default.
	const char* empty = std::getenv("VARNHOLT_TEST_EMPTY_ENV");
	const bool empty_environment = empty && std::strcmp(empty, "1") == 0;

	int out[2], err[2];
	if (pipe(out) != 0 || pipe(err) != 0)
		throw std::runtime_error("pipe failed");
	if (setup.out == Stdout::reader_gone)
		close(out[0]);
	const pid_t pid = fork();
	if (pid == 0) {
		dup2(err[1], 2);
		if (setup.out != Stdout::closed)
			dup2(out[1], 1);
		else
			close(1);
		close(out[0]), close(out[1]), close(err[0]), close(err[1]);
		setpgid(0, 0);
		// As a shell leaves them.
		signal(SIGPIPE, SIG_DFL);
		signal(SIGXFSZ, SIG_DFL);
		if (setup.file_limit >= 0) {
			const rlimit limit = {static_cast<rlim_t>(setup.file_limit),
			                      static_cast<rlim_t>(setup.file_limit)};
			setrlimit(RLIMIT_FSIZE, &limit);
		}
		if (setup.unprivileged &&
		    (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
			_exit(126);
		if (!setup.wrapper.empty())
			no_leak_check_under_ptrace();
		if (!setup.folder.empty() && chdir(setup.folder.c_str()) != 0)
			_exit(125);
		if (empty_environment)
			clearenv();
		for (const auto& variable : setup.environment)
			putenv(const_cast<char*>(variable.c_str()));
		execvp(argv[0], argv.data());
		_exit(127);
	}
	close(out[1]), close(err[1]);
	std::thread beside;
	if (setup.meanwhile)
		beside = std::thread(setup.meanwhile);
	Outcome outcome;
	drain(setup.out == Stdout::pipe ? out[0] : -1, err[0], outcome, pid);
	if (beside.joinable())
		beside.join();
#ifdef VARNHOLT_COVERAGE
	// A coverage build cannot save its counts from a run without privileges
	// or without room to write, and libgcov says so on standard error.
	std::string kept;
	std::size_t from = 0;
	for (std::size_t end; (end = outcome.err.find('\n', from)) != std::string::npos;
	     from = end + 1) {
		const std::string line = outcome.err.substr(from, end + 1 - from);
		if (line.rfind("profiling:", 0) != 0 &&
		    line.rfind("libgcov profiling error:", 0) != 0)
			kept += line;
	}
	outcome.err = kept + outcome.err.substr(from);
#endif
	int status = 0;
	waitpid(pid, &status, 0);
	outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	return outcome;
}

#endif

#ifndef _WIN32
// Root's leave to read and search any folder (CAP_DAC_OVERRIDE and
// CAP_DAC_READ_SEARCH), taken from this thread's effective set or given back.
static void folder_overrides(bool on)
{
	__user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
	__user_cap_data_struct data[2]{};
	if (syscall(SYS_capget, &header, data) != 0)
		return;
	const unsigned overrides = 1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH;
	data[0].effective = on ? data[0].effective | (data[0].permitted & overrides)
	                       : data[0].effective & ~overrides;
	syscall(SYS_capset, &header, data);
}
#endif

#ifndef _WIN32
// The typed input, and what runs before its first byte is read.
struct Typed {
	std::FILE* file;
	const std::function<void()>* first;
};

static ssize_t read_typed(void* cookie, char* buffer, std::size_t size)
{
	auto& typing = *static_cast<Typed*>(cookie);
	if (typing.first != nullptr)
		(*std::exchange(typing.first, nullptr))();
	return static_cast<ssize_t>(std::fread(buffer, 1, size, typing.file));
}

static int close_typed(void* cookie)
{
	return std::fclose(static_cast<Typed*>(cookie)->file);
}
#endif

Outcome run_here(const std::vector<std::string>& args, [[maybe_unused]] const Here& here)
{
	std::vector<const char*> argv = {"Varnholt"};
	for (const auto& arg : args)
		argv.push_back(arg.c_str());
	const Scratch scratch;
	const auto typed = scratch.path() / "in";
	std::ofstream(typed, std::ios::binary) << here.input;
	std::FILE* in = std::fopen(typed.string().c_str(), "rb");
#ifndef _WIN32
	Typed typing{in, here.at_question ? &here.at_question : nullptr};
	if (typing.first != nullptr)
		in = fopencookie(&typing, "r", {read_typed, nullptr, nullptr, close_typed});
#endif
	Outcome outcome;
#ifdef _WIN32
	const auto printed = scratch.path() / "out";
	const auto told = scratch.path() / "err";
	std::FILE* out = std::fopen(printed.string().c_str(), "w+b");
	std::FILE* err = std::fopen(told.string().c_str(), "w+b");
#else
	// In memory, what the run prints is out of reach of the file-size limit.
	char* text = nullptr;
	std::size_t text_size = 0;
	std::FILE* out = open_memstream(&text, &text_size);
	char* message = nullptr;
	std::size_t message_size = 0;
	std::FILE* err = open_memstream(&message, &message_size);
	rlimit saved{};
	getrlimit(RLIMIT_FSIZE, &saved);
	void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
	if (here.file_limit >= 0) {
		rlimit limit = saved;
		limit.rlim_cur = static_cast<rlim_t>(here.file_limit);
		setrlimit(RLIMIT_FSIZE, &limit);
	}
	if (here.unprivileged)
		folder_overrides(false);
#endif
	const int argc = static_cast<int>(argv.size());
	if (!here.session)
		outcome.status = varnholt::run(argc, argv.data(), out);
	else
		outcome.status = varnholt::card_session(argc, argv.data(), in, out, err,
		                                        *here.session, here.room);
#ifndef _WIN32
	folder_overrides(true);
	setrlimit(RLIMIT_FSIZE, &saved);
	signal(SIGXFSZ, old_handler);
#endif
	std::fclose(in);
	std::fclose(out);
	std::fclose(err);
#ifdef _WIN32
	const Bytes bytes = slurp(printed);
	outcome.out.assign(bytes.begin(), bytes.end());
	const Bytes messages = slurp(told);
	outcome.err.assign(messages.begin(), messages.end());
#else
	outcome.out.assign(text, text_size);
	std::free(text);
	outcome.err.assign(message, message_size);
	std::free(message);
#endif
	return outcome;
}

#ifdef _WIN32
void set_variable(const char* name, const std::string& value)
{
	_putenv_s(name, value.c_str()); // empty removes it
}
#else
void set_variable(const char* name, const std::string& value)
{
	if (value.empty())
		unsetenv(name);
	else
		setenv(name, value.c_str(), 1);
}
#endif

static std::filesystem::path state_base;

void use_state_home(const std::optional<std::filesystem::path>& base)
{
	state_base = base ? *base : std::filesystem::path();
#ifdef _WIN32
	set_variable("LOCALAPPDATA", state_base.u8string());
#else
	set_variable("XDG_STATE_HOME", state_base.string());
	if (!base)
		set_variable("HOME", "");
#endif
}

std::filesystem::path records()
{
#ifdef _WIN32
	return state_base / "Varnholt";
#else
	return state_base / "varnholt";
#endif
}

KeepStateHome::KeepStateHome() : base(state_base)
{
	const char* named = std::getenv("HOME");
	home = named != nullptr ? named : "";
}

KeepStateHome::~KeepStateHome()
{
	use_state_home(base);
	set_variable("HOME", home);
}

namespace {

// The test process's own state folder, so that no run keeps a record in the
// home of whoever runs the tests.
struct OwnState {
	Scratch folder;
	OwnState() { use_state_home(folder.path()); }
};

const OwnState own_state;

} // namespace

} // namespace test
