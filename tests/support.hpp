// Helpers the tests share: recordings made byte by byte, a scratch folder,
// and whole runs of the built tool.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "session/session.hpp"

namespace test {

using Bytes = std::vector<unsigned char>;

// A recording of size bytes: a non-zero filler pattern, with the marker at
// 38, the track count at 45 and the main track at 47 where they fit.
Bytes recording(std::size_t size, int count = 2, int main = 0);

// The same filler with no marker at all.
Bytes filler(std::size_t size);

Bytes slurp(const std::filesystem::path& file);

// The name that reaches path whatever its length: on Windows, where a name
// past 260 characters opens without the system's long-path setting only so,
// an absolute path with \\?\ or \\?\UNC\ in front; elsewhere path itself.
std::filesystem::path long_form(const std::filesystem::path& path);

// Makes folders with names of 100 characters, each in the one before, in
// base until the path from base to the innermost is at least length
// characters long, and returns that path. Calls on one base share folders.
std::filesystem::path nested(const std::filesystem::path& base, std::size_t length);

// A fresh folder, removed with everything in it at the end of the test.
// Made on_share, a network share on Windows reaches it too: see unc().
class Scratch {
public:
	explicit Scratch(bool on_share = false);
	~Scratch();
	Scratch(const Scratch&) = delete;
	Scratch& operator=(const Scratch&) = delete;
	// name may lead through folders already made in the scratch folder.
	std::filesystem::path put(const std::string& name, const Bytes& bytes) const;
	// The same anywhere: a file made, or made anew, with bytes.
	static void put_at(const std::filesystem::path& file, const Bytes& bytes);
	const std::filesystem::path& path() const { return dir; }
	// The folder as the network share names it (\\localhost\...), or empty
	// where no share reaches it: on POSIX, or on Windows without its
	// administrative shares.
	const std::string& unc() const { return share; }

private:
	std::filesystem::path dir;
	std::string share;
};

struct Outcome {
	int status = -1;
	std::string out;
	std::string err;
};

// console: Windows only, the test process's console (nothing is collected).
enum class Stdout { pipe, closed, reader_gone, console };

// The tool the whole-run tests start: the one built beside the tests, or
// the program VARNHOLT_TEST_TOOL names, such as a release binary.
std::string tool();

struct Setup {
	std::string exe = tool();
	// A command the tool runs under: strace on POSIX, the launcher on Windows.
	std::vector<std::string> wrapper;
	// All POSIX only:
	long file_limit = -1;      // RLIMIT_FSIZE in bytes; SIGXFSZ as a shell leaves it
	bool unprivileged = false; // drop root to nobody before the start
	Stdout out = Stdout::pipe;
	std::function<void()> meanwhile;      // runs beside the tool while it runs
	std::filesystem::path folder;         // the run's current folder; the test's own if empty
	std::vector<std::string> environment; // NAME=value, set even in an empty environment
};

// Varnholt-open beside tool().
std::string open_tool();

// Sets an environment variable of the test process, which its runs
// inherit; empty removes it.
void set_variable(const char* name, const std::string& value);

// Starts the tool with args after the program name and collects its output.
Outcome run_tool(const std::vector<std::string>& args, const Setup& setup = {});

// POSIX: starts setup.exe on a terminal, leading the terminal's session as a
// program that a terminal window was opened for does, or not, and types the
// keys of each pair once the screen shows its text (setup.meanwhile runs
// just before the first keys). Throws when the program
// ends before the last keys: they prove that it waited for them.
Outcome in_terminal(const std::vector<std::string>& args, bool leader,
                    const std::vector<std::pair<std::string, std::string>>& typing,
                    const Setup& setup);

// True for a Windows build running under wine.
bool under_wine();

// explorer.exe, which starts a program as Explorer does (tests/launcher.cpp);
// empty but on Windows.
std::string launcher();

// Where the session keeps its undo records: for the whole test process, a
// folder of its own, made at its start and removed at its end, that every
// run inherits. use_state_home names another base for the runs from now on
// (XDG_STATE_HOME; on Windows LOCALAPPDATA); none leaves none named at all,
// as in a session without a home. records() is the records' folder.
void use_state_home(const std::optional<std::filesystem::path>& base);
std::filesystem::path records();

// Brings back, when it goes, the base (and HOME) as they were when it was
// made, whatever a test named in between or wherever it stopped.
class KeepStateHome {
public:
	KeepStateHome();
	~KeepStateHome();
	KeepStateHome(const KeepStateHome&) = delete;
	KeepStateHome& operator=(const KeepStateHome&) = delete;

private:
	std::filesystem::path base;
	std::string home;
};

// What a run inside the test process takes besides its arguments.
struct Here {
	long file_limit = -1;      // as in Setup, with SIGXFSZ ignored
	bool unprivileged = false; // POSIX: without root's leave to read any folder
	// The session, as Varnholt.exe from Explorer or Varnholt-open runs it;
	// the command line when none.
	std::optional<varnholt::Started> session;
	std::size_t room = 0; // the most bytes the session's listing takes; 0 for no limit
	std::string input;    // what the session reads, typed
	// POSIX: runs when the session first reads its input, after its listing.
	std::function<void()> at_question;
};

// The same run through the entry routine inside the test process, each
// of here's settings only for the call.
Outcome run_here(const std::vector<std::string>& args, const Here& here = {});

} // namespace test
