// Whole runs of the built tool on real files.
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "support.hpp"

namespace {

const std::string report = "recording has 2 auido tracks, main track is :0 (start from 0)\n";
const std::string not_given = "new audio track is not specified\n";

// Bytes that differ between two files, past the end of the shorter too.
std::vector<std::size_t> changed(const test::Bytes& a, const test::Bytes& b)
{
	std::vector<std::size_t> offsets;
	for (std::size_t i = 0; i < std::max(a.size(), b.size()); i++)
		if (i >= a.size() || i >= b.size() || a[i] != b[i])
			offsets.push_back(i);
	return offsets;
}

} // namespace

TEST(Run, EveryOutcomeHasItsMessageAndStatusZero)
{
	struct Case {
		std::vector<std::string> args; // "@" stands for the file's path
		const char* name;              // file made before the run, or null
		test::Bytes bytes;
		std::string out; // "@" stands for the file's path
		int main_after;  // byte 47 afterwards, or -1000 where the file must not change
	};
	const int same = -1000;
	const test::Bytes rec = test::recording(64);
	const test::Bytes main_1 = test::recording(64, 2, 1);
	const test::Bytes negative = test::recording(64, -1, -127);
	test::Bytes lower = rec;
	lower[38] = 'k';
	auto set_to = [](const std::string& before, int track) {
		return before + "new audio track was set to " + std::to_string(track);
	};
	auto refused = [](const std::string& text) {
		return "track_num is out of range, must be from -128 to 127: " + text + "\n";
	};
	const std::string report_1 =
	        "recording has 2 auido tracks, main track is :1 (start from 0)\n";
	const std::string sorry = "Sorry, it's not a kelvane recording, can't be fixed @\n";
	// clang-format off
	const Case cases[] = {
		{{},                 nullptr, {},    "Usage: Varnholt FileName track_num\n\n", same},
		{{"@"},              nullptr, {},    "file can't be open @\n", same},
		{{"@", "1"},         nullptr, {},    "file can't be open @\n", same},
		{{"@"},              "empty", {},    "file is empty file @\n", same},
		{{"@", "1"},         "empty", {},    "file is empty file @\n", same},
		{{"@", "1"},         "plain", test::filler(600), sorry, same},
		{{"@", "1"},         "lower", lower, sorry, same},
		{{"@"},              "rec",   rec,   report + not_given, same},
		{{"@", "-1"},        "rec",   rec,   report + not_given, same},
		{{"@", " -1", "7"},  "rec",   rec,   report + not_given, same},
		{{"@", "1"},         "rec",   rec,   set_to(report, 1), 1},
		{{"@", "1", "5", "x"}, "rec", rec,   set_to(report, 1), 1},
		{{"@", "+2z"},       "rec",   rec,   set_to(report, 2), 2},
		{{"@", "9"},         "rec",   rec,   set_to(report, 9), 9},
		{{"@", "abc"},       "rec",   main_1, set_to(report_1, 0), 0},
		{{"@", ""},          "rec",   main_1, set_to(report_1, 0), 0},
		{{"@", "-128"},      "rec",   negative,
		 set_to("recording has -1 auido tracks, main track is :-127 (start from 0)\n", -128), -128},
		{{"@", "128"},        "rec",  rec,   refused("128"), same},
		{{"@", "-129"},       "rec",  rec,   refused("-129"), same},
		{{"@", "4294967295"}, "rec",  rec,   refused("4294967295"), same},
		{{"@", "4294967296"}, nullptr, {},   refused("4294967296"), same},
		{{"@", "3"},         "-dash", rec,   set_to(report, 3), 3},
		{{"@", "3"},         "with space %s %d %n", rec, set_to(report, 3), 3},
		{{"@", "1"},         "日本語.kelv", rec, set_to(report, 1), 1},
		{{"@", "1"},         "Ελληνικά 🎵.kelv", rec, set_to(report, 1), 1},
		{{"@", "1"},         "àéîõü çñ.kelv", {}, "file is empty file @\n", same},
	};
	// clang-format on
	for (const auto& c : cases) {
		test::Scratch scratch;
		const auto path =
		        (scratch.path() / std::filesystem::u8path(c.name ? c.name : "missing"))
		                .u8string();
		if (c.name)
			scratch.put(c.name, c.bytes);
		auto subst = [&](std::string text) {
			for (auto at = text.find('@'); at != std::string::npos; at = text.find('@'))
				text.replace(at, 1, path);
			return text;
		};
		std::vector<std::string> args;
		for (const auto& arg : c.args)
			args.push_back(subst(arg));
		const auto run = test::run_tool(args);
		const auto where =
		        testing::PrintToString(c.args) + " on " + (c.name ? c.name : "nothing");
		EXPECT_EQ(run.out, subst(c.out)) << where;
		EXPECT_EQ(run.err, "") << where;
		EXPECT_EQ(run.status, 0) << where;
		if (!c.name)
			continue;
		auto expected = c.bytes;
		if (c.main_after != same)
			expected[47] = static_cast<unsigned char>(c.main_after);
		EXPECT_EQ(test::slurp(std::filesystem::u8path(path)), expected) << where;
	}
}

TEST(Run, PatchChangesByte47OnlyAndGrowsShortRecordingsTo48)
{
	for (const std::size_t size : {42u, 44u, 45u, 46u, 47u, 48u, 49u, 512u, 513u, 70000u}) {
		test::Scratch scratch;
		const auto before = test::recording(size, 3, 0);
		const auto file = scratch.put("rec", before);
		const auto run = test::run_tool({file.string(), "-2"});
		const int count = size > 45 ? 3 : 0;
		EXPECT_EQ(run.out, "recording has " + std::to_string(count) +
		                           " auido tracks, main track is :0 (start from 0)\n"
		                           "new audio track was set to -2")
		        << size;
		const auto after = test::slurp(file);
		ASSERT_EQ(after.size(), std::max<std::size_t>(size, 48)) << size;
		EXPECT_EQ(after[47], 0xFE) << size;
		for (const std::size_t at : changed(before, after)) {
			EXPECT_GE(at, size < 47 ? size : 47u) << size;
			EXPECT_LE(at, 47u) << size;
			EXPECT_TRUE(at == 47 || after[at] == 0) << size << " at " << at;
		}
	}
}

TEST(Run, WriteThatCannotReachTheFileIsNeverConfirmed)
{
#ifdef _WIN32
	GTEST_SKIP() << "needs a file-size limit to make the write fail, which Windows lacks";
#endif
	test::Scratch scratch;
	// The limit falls short of the byte written, or of the file's size;
	// the tool itself, not the test, keeps SIGXFSZ from ending the run.
	const std::pair<std::size_t, long> cases[] = {{44, 0}, {64, 0}, {44, 46}, {64, 47}};
	for (const auto& [size, limit] : cases) {
		const auto file = scratch.put("rec", test::recording(size));
		test::Setup setup;
		setup.file_limit = limit;
		test::Here here;
		here.file_limit = limit;
		for (const auto& run : {test::run_tool({file.string(), "1"}, setup),
		                        test::run_here({file.string(), "1"}, here)}) {
			const std::string count = size > 45 ? "2" : "0";
			EXPECT_EQ(run.out, "recording has " + count +
			                           " auido tracks, main track is :0 (start from "
			                           "0)\nCan't write into file\n")
			        << size << " bytes, limit " << limit;
			EXPECT_EQ(run.err, "");
			EXPECT_EQ(run.status, 0);
			EXPECT_EQ(test::slurp(file), test::recording(size))
			        << size << ", " << limit;
		}
	}
}

TEST(Run, FoldersAndPatternsAreNotOpened)
{
	test::Scratch scratch;
	scratch.put("rec.kelv", test::recording(64));
	std::filesystem::create_directory(scratch.path() / "dir");
	const std::string pattern = (scratch.path() / "*.kelv").string(); // never expanded
	for (const auto& name : {(scratch.path() / "dir").string(), pattern}) {
		const auto run = test::run_tool({name, "1"});
		EXPECT_EQ(run.out, "file can't be open " + name + "\n");
		EXPECT_EQ(run.err, "");
		EXPECT_EQ(run.status, 0);
	}
	EXPECT_EQ(test::slurp(scratch.path() / "rec.kelv"), test::recording(64));
}

TEST(Run, ReadOnlyRecordingFailsAtTheOpenEvenInReportMode)
{
	test::Scratch scratch;
	const auto file = scratch.put("rec", test::recording(64));
	std::filesystem::permissions(file,
	                             std::filesystem::perms::owner_write |
	                                     std::filesystem::perms::group_write |
	                                     std::filesystem::perms::others_write,
	                             std::filesystem::perm_options::remove);
	test::Setup setup;
#ifdef _WIN32
	if (std::FILE* probe = std::fopen(file.string().c_str(), "r+b")) {
		std::fclose(probe);
		std::filesystem::permissions(file, std::filesystem::perms::owner_write,
		                             std::filesystem::perm_options::add);
		GTEST_SKIP() << "read-only files are writable here (wine run by root)";
	}
#else
	if (geteuid() == 0) {
		// Root ignores permission bits: run as nobody, from a copy of the
		// tool that nobody can reach.
		setup.unprivileged = true;
		setup.exe = (scratch.path() / "Varnholt").string();
		std::filesystem::copy_file(test::tool(), setup.exe);
	}
#endif
	for (const auto& args : {std::vector<std::string>{file.string()},
	                         std::vector<std::string>{file.string(), "1"}}) {
		const auto run = test::run_tool(args, setup);
		if (run.status == 126)
			GTEST_SKIP() << "cannot drop to an unprivileged user here";
		EXPECT_EQ(run.out, "file can't be open " + args[0] + "\n");
		EXPECT_EQ(run.err, "");
		EXPECT_EQ(run.status, 0);
	}
	EXPECT_EQ(test::slurp(file), test::recording(64));
	std::filesystem::permissions(file, std::filesystem::perms::owner_write,
	                             std::filesystem::perm_options::add);
}

TEST(Run, HugeSparseRecordingIsPatchedWithoutReadingItThrough)
{
	test::Scratch scratch;
	const auto file = scratch.put("huge", test::recording(64));
	const std::uintmax_t size = std::uintmax_t{5} << 30;
	const std::string tail = "the last bytes";
	std::filesystem::resize_file(file, size);
	std::fstream(file, std::ios::in | std::ios::out | std::ios::binary)
	        .seekp(static_cast<std::streamoff>(size - tail.size()))
	        .write(tail.data(), static_cast<std::streamsize>(tail.size()));

	const auto run = test::run_tool({file.string(), "1"});
	EXPECT_EQ(run.out, report + "new audio track was set to 1");

	EXPECT_EQ(std::filesystem::file_size(file), size);
	std::ifstream in(file, std::ios::binary);
	test::Bytes head(64);
	in.read(reinterpret_cast<char*>(head.data()), 64);
	auto expected = test::recording(64);
	expected[47] = 1;
	EXPECT_EQ(head, expected);
	std::string last(tail.size(), '\0');
	in.seekg(static_cast<std::streamoff>(size - tail.size()))
	        .read(last.data(), static_cast<std::streamsize>(last.size()));
	EXPECT_EQ(last, tail);
}

TEST(Run, TwoPatchersAtOnceNeverTearTheHeader)
{
	if (test::under_wine())
		GTEST_SKIP() << "wine now and then hangs a process started while another starts";
	test::Scratch scratch;
	const auto before = test::recording(600);
	const auto file = scratch.put("rec", before);
	// Every byte but 47 stays as it was, and 47 holds one value or the other.
	auto whole = [&](const test::Bytes& now, std::initializer_list<int> values) {
		if (now.size() != before.size())
			return false;
		for (std::size_t i = 0; i < now.size(); i++)
			if (i != 47 && now[i] != before[i])
				return false;
		return std::find(values.begin(), values.end(), now[47]) != values.end();
	};
	std::atomic<int> running{2};
	auto patch = [&](const std::string& value) {
		for (int i = 0; i < 100; i++) {
			const auto run = test::run_tool({file.string(), value});
			const std::string confirmed = "new audio track was set to " + value;
			// The last line; rfind's npos + 1 is 0, so this never throws.
			EXPECT_EQ(run.out.substr(run.out.rfind('\n') + 1), confirmed) << run.out;
		}
		running--;
	};
	std::thread first(patch, "5"), second(patch, "9");
	int torn = 0;
	while (running > 0)
		torn += whole(test::slurp(file), {0, 5, 9}) ? 0 : 1;
	first.join();
	second.join();
	EXPECT_EQ(torn, 0);
	EXPECT_TRUE(whole(test::slurp(file), {5, 9}));
}

#ifdef _WIN32
TEST(Run, OverlappingRunsOnAConsoleShowNamesAsTypedAndLeaveItAsFound)
{
	// A console of the test's own when it has none; the runs inherit it.
	// Code page 437 shows neither Greek nor Japanese.
	AllocConsole();
	if (SetConsoleOutputCP(437) == 0)
		GTEST_SKIP() << "no working console here (wine needs a terminal for one)";
	const UINT code_page = GetConsoleOutputCP();
	test::Scratch scratch;
	std::vector<std::string> names;
	for (int i = 0; i < 16; i++)
		names.push_back((scratch.path() /
		                 std::filesystem::u8path("Ελληνικά-日本語-" + std::to_string(i)))
		                        .u8string());
	test::Setup on_console;
	on_console.out = test::Stdout::console;
	std::vector<std::thread> runs;
	for (const auto& name : names)
		runs.emplace_back([&, name] { test::run_tool({name}, on_console); });
	for (auto& run : runs)
		run.join();
	EXPECT_EQ(GetConsoleOutputCP(), code_page);

	// Each message is on the screen as typed, whatever the code page.
	const HANDLE screen =
	        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
	                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
	CONSOLE_SCREEN_BUFFER_INFO info{};
	ASSERT_NE(GetConsoleScreenBufferInfo(screen, &info), 0);
	std::wstring cells(static_cast<std::size_t>(info.dwSize.X * info.dwSize.Y), L' ');
	DWORD read = 0;
	ReadConsoleOutputCharacterW(screen, cells.data(), static_cast<DWORD>(cells.size()), {0, 0},
	                            &read);
	CloseHandle(screen);
	for (const auto& name : names)
		EXPECT_NE(
		        cells.find(std::filesystem::u8path("file can't be open " + name).wstring()),
		        std::wstring::npos)
		        << name;
}
#endif

TEST(Run, HostileSurroundingsCostNoByteNoHangAndNoStatus)
{
	struct Case {
		const char* what;
		test::Bytes before; // the recording before the run
		std::vector<std::string> args;
		test::Setup setup;
		std::string out; // "@" stands for the first argument
		test::Bytes after;
		std::string at = "rec"; // the recording's path from the scratch folder
	};
	test::Scratch scratch(true); // on Windows a network share reaches it too
	const auto file = scratch.path() / "rec";
	const auto rec = test::recording(64);
	const std::string refused = "file can't be open @\n";
	const std::string set_1 = report + "new audio track was set to 1";
	std::vector<Case> cases;
#ifdef _WIN32
	// A pipe that the tool could connect to, were it to open pipes.
	const std::string pipe = "\\\\.\\pipe\\varnholt-" + std::to_string(GetCurrentProcessId());
	const HANDLE server = CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1,
	                                       512, 512, 0, nullptr);
	ASSERT_NE(server, INVALID_HANDLE_VALUE);
	// C:'s volume by its own name, which ends in "\" for its root folder.
	wchar_t volume_root[MAX_PATH];
	ASSERT_NE(GetVolumeNameForVolumeMountPointW(L"C:\\", volume_root, MAX_PATH), 0);
	const std::string root = std::filesystem::path(volume_root).string();
	const std::string volume = root.substr(0, root.size() - 1);
	auto patched = rec;
	patched[47] = 1;
	// Paths past Windows' old limit of 260 characters in every form, and
	// one of about 1,000; the relative one from the scratch folder.
	const std::string deep = (test::nested(scratch.path(), 300) / "rec").string();
	const std::string deeper = (test::nested(scratch.path(), 1000) / "rec").string();
	const std::string full = (scratch.path() / deep).string();
	std::string slashes = full;
	std::replace(slashes.begin(), slashes.end(), '\\', '/');
	const std::string missing = full.substr(0, full.size() - 3) + "missing";
	test::Setup in_scratch;
	in_scratch.folder = scratch.path();
	// Started in a console otherwise than by Explorer: the command line
	// exactly, without a wait (the launcher ends a run that waits). A new
	// console's screen goes with it, so from another parent only the file
	// shows what the run did.
	const std::string other_parent = (scratch.path() / "svchost.exe").string();
	std::filesystem::copy_file(std::filesystem::u8path(test::launcher()),
	                           std::filesystem::u8path(other_parent));
	test::Setup from_cmd, piped, from_other;
	from_cmd.wrapper = {test::launcher(), "cmd", "--"};
	piped.wrapper = {test::launcher(), "pipe", "--"};
	from_other.wrapper = {other_parent, "console", "--"};
	// clang-format off
	cases = {
		{"the null device",  rec, {"NUL", "1"},                       {}, refused, rec},
		{"the console",      rec, {"CON", "1"},                       {}, refused, rec},
		{"a named pipe",     rec, {pipe, "1"},                        {}, refused, rec},
		{"a raw volume",     rec, {"\\\\.\\C:", "1"},               {}, refused, rec},
		{"a raw drive",      rec, {"\\\\.\\PhysicalDrive0", "1"},   {}, refused, rec},
		{"a volume by name", rec, {volume, "1"},                      {}, refused, rec},
		{"a volume's root",  rec, {root, "1"},                        {}, refused, rec},
		{"a long-path name", rec, {"\\\\?\\" + file.string(), "1"},  {}, set_1, patched},
		{"long",             rec, {full, "1"},                        {}, set_1, patched, deep},
		{"long after \\\\?\\", rec, {"\\\\?\\" + full, "1"},          {}, set_1, patched, deep},
		{"long, slashes",    rec, {slashes, "1"},                     {}, set_1, patched, deep},
		{"long, relative",   rec, {deep, "1"},                in_scratch, set_1, patched, deep},
		{"1,000 characters", rec, {(scratch.path() / deeper).string(), "1"},
		 {}, set_1, patched, deeper},
		{"long, a report",   rec, {full},                             {}, report + not_given, rec, deep},
		{"long, missing",    rec, {missing, "1"},                     {}, refused, rec},
		{"cmd /c",           rec, {file.string(), "1"},         from_cmd, set_1, patched},
		{"from Explorer, a pipe", rec, {file.string(), "1"},       piped, set_1, patched},
		{"a new console from another parent", rec, {file.string(), "1"}, from_other, "", patched},
	};
	// clang-format on
	if (!scratch.unc().empty()) {
		const std::string unc = scratch.unc() + "\\" + deep;
		// clang-format off
		const Case shared[] = {
			{"long, UNC",       rec, {unc, "1"},                       {}, set_1, patched, deep},
			{"long after \\\\?\\UNC", rec, {"\\\\?\\UNC" + unc.substr(1), "1"},
			 {}, set_1, patched, deep},
		};
		// clang-format on
		cases.insert(cases.end(), std::begin(shared), std::end(shared));
	} else if (test::under_wine()) {
		FAIL() << "wine serves no \\\\localhost share from its prefix here";
	} else {
		std::printf("no \\\\localhost\\C$ share here: the rows of UNC paths are skipped\n");
	}
#else
	const std::string path = file.string();
	auto patched = [](test::Bytes bytes) {
		bytes.resize(std::max<std::size_t>(bytes.size(), 48));
		bytes[47] = 1;
		return bytes;
	};
	// Without its fix, stdout closed by the caller became the recording,
	// and a message longer than stdout's buffer landed in it.
	std::string long_name = scratch.path().string() + "/";
	while (long_name.size() < 4090)
		long_name += "./";
	long_name += "rec";
	test::Setup closed, gone;
	closed.out = test::Stdout::closed;
	gone.out = test::Stdout::reader_gone;

	const auto fifo = (scratch.path() / "fifo").string();
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
	ASSERT_GE(terminal, 0);
	ASSERT_EQ(grantpt(terminal), 0);
	ASSERT_EQ(unlockpt(terminal), 0);
	const std::string pts = ptsname(terminal);
	const std::string link = (scratch.path() / "link").string();
	std::filesystem::create_symlink("rec", link);

	// clang-format off
	cases = {
		{"stdout closed, a long name", test::filler(600), {long_name}, closed, "", test::filler(600)},
		{"stdout's reader gone", rec, {path, "1"},        gone, "",      patched(rec)},
		{"a FIFO",               rec, {fifo, "1"},        {},   refused, rec},
		{"a terminal",           rec, {pts, "1"},         {},   refused, rec},
		{"the null device",      rec, {"/dev/null", "1"}, {},   refused, rec},
		{"a symlink",            rec, {link, "1"},        {},   set_1,   patched(rec)},
	};
	// clang-format on
	if (std::system("strace -V >/dev/null 2>&1") == 0) {
		// Another writer rewrites the header and lengthens a short recording
		// while the tool's write waits, whichever write call makes it: only
		// byte 47 is the tool's.
		test::Bytes theirs(64, 0x5A);
		theirs[45] = 3;
		auto under_strace = [&](const std::string& log, const std::string& inject,
		                        const std::string& traced = "") {
			test::Setup setup;
			const std::string& filter = traced.empty() ? path : traced;
			setup.wrapper = {"strace",          "-o", log, "-P", filter, "-e",
			                 "inject=" + inject};
			return setup;
		};
		const auto log = (scratch.path() / "strace.log").string();
		test::Setup other =
		        under_strace(log, "write,writev,pwrite64,pwritev:delay_enter=2000000");
		other.meanwhile = [=] {
			// The write is logged as it starts, before its delay.
			for (int i = 0; i < 2000; i++) {
				const auto traced = test::slurp(log);
				if (std::string(traced.begin(), traced.end()).find("write") !=
				    std::string::npos)
					break;
				std::this_thread::sleep_for(std::chrono::milliseconds(10));
			}
			std::fstream(file, std::ios::in | std::ios::out | std::ios::binary)
			        .write(reinterpret_cast<const char*>(theirs.data()), 64);
		};
		// No /dev/null to fill a closed standard output: the recording would
		// take its place.
		test::Setup no_null = under_strace("/dev/null", "openat:error=EACCES", "/dev/null");
		no_null.out = test::Stdout::closed;
		const std::string short_set_1 =
		        "recording has 0 auido tracks, main track is :0 (start from 0)\n"
		        "new audio track was set to 1";
		const std::string not_written = report + "Can't write into file\n";
		// clang-format off
		const Case traced[] = {
			{"another writer meanwhile", test::recording(44), {path, "1"}, other,
			 short_set_1, patched(theirs)},
			// A file system that reports a failed write only at the close.
			{"the close fails", rec, {path, "1"}, under_strace("/dev/null", "close:error=EIO"),
			 not_written, patched(rec)},
			// Flags read as -1 would have switched on O_APPEND and more.
			{"F_GETFL fails", rec, {path, "1"}, under_strace("/dev/null", "fcntl:error=EIO:when=1"),
			 refused, rec},
			{"F_SETFL fails", rec, {path, "1"}, under_strace("/dev/null", "fcntl:error=EIO:when=2"),
			 refused, rec},
			// A write taking 0 bytes is not tried again and again.
			{"every write takes 0 bytes", rec, {path, "1"},
			 under_strace("/dev/null", "write,pwrite64:retval=0:when=1+"), not_written, rec},
			{"stdout closed, no /dev/null", rec, {path}, no_null, "", rec},
		};
		// clang-format on
		cases.insert(cases.end(), std::begin(traced), std::end(traced));
	} else {
		std::printf("strace is missing: the rows of injected faults are skipped\n");
	}
#endif
	for (const auto& c : cases) {
		const auto recording = scratch.put(c.at, c.before);
		const auto run = test::run_tool(c.args, c.setup);
		std::string out = c.out;
		if (const auto at = out.find('@'); at != std::string::npos)
			out.replace(at, 1, c.args[0]);
		EXPECT_EQ(run.out, out) << c.what;
		EXPECT_EQ(run.err, "") << c.what;
		EXPECT_EQ(run.status, 0) << c.what;
		EXPECT_EQ(test::slurp(recording), c.after) << c.what;
	}
#ifdef _WIN32
	CloseHandle(server);
#else
	close(terminal);
#endif
}
