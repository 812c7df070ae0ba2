// Whole runs of the built tool on real files.
#ifndef _WIN32
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
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
	};
	// clang-format on
	for (const auto& c : cases) {
		test::Scratch scratch;
		const auto path = (scratch.path() / (c.name ? c.name : "missing")).string();
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
		EXPECT_EQ(test::slurp(path), expected) << where;
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
	GTEST_SKIP() << "needs a file-size limit to make the flush fail, which Windows lacks";
#endif
	test::Scratch scratch;
	for (const std::size_t size : {44u, 64u}) {
		const auto file = scratch.put("rec", test::recording(size));
		test::Setup setup;
		setup.no_file_growth = true;
		for (const auto& run : {test::run_tool({file.string(), "1"}, setup),
		                        test::run_here({file.string(), "1"}, setup)}) {
			const std::string count = size > 45 ? "2" : "0";
			EXPECT_EQ(run.out, "recording has " + count +
			                           " auido tracks, main track is :0 (start from "
			                           "0)\nCan't write into file\n")
			        << size;
			EXPECT_EQ(run.err, "");
			EXPECT_EQ(run.status, 0);
			EXPECT_EQ(test::slurp(file), test::recording(size)) << size;
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
		std::filesystem::copy_file(VARNHOLT_EXE, setup.exe);
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

	const auto start = std::chrono::steady_clock::now();
	const auto run = test::run_tool({file.string(), "1"});
	const auto took = std::chrono::steady_clock::now() - start;
	EXPECT_EQ(run.out, report + "new audio track was set to 1");
	EXPECT_LT(took, std::chrono::seconds(1)); // reading 5 GiB through would take far longer

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
			EXPECT_EQ(run.out.substr(run.out.size() - confirmed.size()), confirmed);
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
