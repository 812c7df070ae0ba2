// The session of Varnholt.exe started from Explorer, and of Varnholt-open:
// every row run inside the test process, and on Windows also started as
// Explorer starts it, in a console of its own that the launcher types into
// and reads.
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "support.hpp"

namespace {

// An answer typed at a question: inside the test process the input alone,
// on a console also echoed where it is typed, and ended by Enter.
const char typed_start = '\x01';
const char typed_end = '\x02';
std::string typed(const std::string& answer)
{
	return typed_start + answer + typed_end;
}

std::string report(int count, int main)
{
	return "recording has " + std::to_string(count) +
	       " auido tracks, main track is :" + std::to_string(main) + " (start from 0)\n";
}

const std::string question_end = "(Enter alone or -1 writes nothing): ";

std::string question(int recordings)
{
	const std::string what =
	        recordings == 1 ? "the recording above"
	                        : "the " + std::to_string(recordings) + " recordings above";
	return "\nNew main track for " + what + ", from -128 to 127 " + question_end;
}

const std::string press_any_key = "\nPress any key to close this window";
const std::string refused = "track_num is out of range, must be from -128 to 127: ";
const std::string nothing = "\nNothing was written.\n";

// The screen keeps no blanks at the end of a line.
std::string trimmed(const std::string& text)
{
	std::string lines;
	for (const char c : text) {
		if (c == '\n')
			lines.erase(lines.find_last_not_of(' ') + 1);
		lines += c;
	}
	return lines.erase(lines.find_last_not_of(' ') + 1);
}

// The expected text inside the test process (answers unseen) or on a
// console (each answer echoed, then the line that Enter ends).
std::string shown(const std::string& expected, bool console)
{
	std::string text;
	bool answer = false;
	for (const char c : expected) {
		if (c == typed_start || c == typed_end) {
			answer = c == typed_start;
			if (console && !answer)
				text += '\n';
		} else if (console || !answer) {
			text += c;
		}
	}
	return trimmed(text);
}

} // namespace

TEST(Explorer, ListsAsksThenSetsAndNothingBeforeTheAnswer)
{
	struct File {
		std::string name; // from the scratch folder, '/' between folders
		test::Bytes bytes;
		int main_after; // byte 47 afterwards, or same
	};
	struct Case {
		const char* what;
		std::vector<File> files;
		std::vector<std::string> dropped; // from the scratch folder
		std::vector<std::string> keys;    // typed at each question, then at the last prompt
		// "@/" stands for the scratch folder and a separator, the platform's
		// between folders after it.
		std::string out;
		enum {
			both,
			here,
			console
		} runs = both; // console: on Windows, as Explorer starts it
		// The room for paths: this many bytes past the first dropped path's;
		// 0 for the tool's own.
		std::size_t room = 0;
		bool unprivileged = false;
		long file_limit = -1; // POSIX: RLIMIT_FSIZE
		varnholt::Started started = varnholt::Started::by_explorer;
	};
	const int same = -1000;
	const auto rec = test::recording(64);
	const auto rec_1 = test::recording(64, 3, 1);
	const auto picture = test::filler(600);
	auto listed = [](const std::string& path, int count = 2, int main = 0) {
		return "\n" + path + "\n" + report(count, main) +
		       "new audio track is not specified\n";
	};
	auto set_to = [](const std::string& path, int track, int count = 2, int main = 0) {
		return "\n" + path + "\n" + report(count, main) + "new audio track was set to " +
		       std::to_string(track) + "\n";
	};
	auto summary = [](int track, int set, int failed) {
		return "\nSet to main track " + std::to_string(track) + ": " + std::to_string(set) +
		       ", failed: " + std::to_string(failed) + "\n";
	};
	const std::string usage =
	        "Usage: Varnholt FileName track_num\n\n"
	        "Varnholt is a command-line tool, to be run in a command prompt.\n"
	        "To use it from Explorer, drop recordings, or a card's folder, onto Varnholt.exe,\n"
	        "or add Varnholt to Send to and send them to it.\n"
	        "varnholt-" VARNHOLT_TEST_VERSION
	        "-web.html, beside Varnholt.exe, does the same in a browser.\n";
	const std::string none_here = "\nNo kelvane recording here, so nothing was written.\n";
	const std::string a = "@/a.kelv", b = "@/b.kelv", card = "@/CARD";
	const std::vector<File> two = {{"a.kelv", rec, same}, {"b.kelv", rec_1, same}};
	auto both_set = [&](int track) {
		return std::vector<File>{{"a.kelv", rec, track}, {"b.kelv", rec_1, track}};
	};
	const std::string both_listed = listed(a) + listed(b, 3, 1);
	// A card: recordings in nested folders beside thumbnails and other files,
	// some folders with nothing of interest.
	const std::vector<File> card_files = {
	        {"CARD/100/CLIP0001.JPG", picture, same},
	        {"CARD/100/CLIP0001.kelv", rec, 5},
	        {"CARD/100/CLIP0002.JPG", picture, same},
	        {"CARD/100/CLIP0002.kelv", test::recording(44), 5},
	        {"CARD/101/SUB/CLIP0003.kelv", rec_1, 5},
	        {"CARD/101/SUB/EMPTY.TXT", {}, same},
	        {"CARD/INDEX.DAT", test::filler(48), same},
	        {"CARD/MISC/NOTES.TXT", test::filler(10), same},
	};
	const std::string clip1 = "@/CARD/100/CLIP0001.kelv", clip2 = "@/CARD/100/CLIP0002.kelv",
	                  clip3 = "@/CARD/101/SUB/CLIP0003.kelv";
	const std::string card_set = listed(clip1) + listed(clip2, 0, 0) + listed(clip3, 3, 1) +
	                             "\nFiles that are not recordings in " + card + ": 5\n" +
	                             question(3) + typed("5") + set_to(clip1, 5) +
	                             set_to(clip2, 5, 0, 0) + set_to(clip3, 5, 3, 1) +
	                             summary(5, 3, 0);
	const std::string japanese = "@/録音🎵.kelv";
	// clang-format off
	std::vector<Case> cases = {
		{"a double-click", {}, {}, {" "}, usage + press_any_key},
		{"one recording, Enter", {{"a.kelv", rec, same}}, {"a.kelv"}, {"\n", " "},
		 listed(a) + question(1) + typed("") + nothing + press_any_key},
		{"two, -1", two, {"a.kelv", "b.kelv"}, {"-1\n", " "},
		 both_listed + question(2) + typed("-1") + nothing + press_any_key},
		{"two, set to 2", both_set(2), {"a.kelv", "b.kelv"}, {"2\n", " "},
		 both_listed + question(2) + typed("2") + set_to(a, 2) + set_to(b, 2, 3, 1) +
		 summary(2, 2, 0) + press_any_key},
		{"two, out of range, then -128", both_set(-128), {"a.kelv", "b.kelv"}, {"200\n", "-128\n", " "},
		 both_listed + question(2) + typed("200") + refused + "200\n" + question(2) + typed("-128") +
		 set_to(a, -128) + set_to(b, -128, 3, 1) + summary(-128, 2, 0) + press_any_key},
		{"no digit asks again", two, {"a.kelv", "b.kelv"}, {"yes\n", "  \n", " "},
		 both_listed + question(2) + typed("yes") + question(2) + typed("  ") + nothing +
		 press_any_key},
		{"a recording and a picture", {{"a.kelv", rec, 1}, {"pic.jpg", picture, same}},
		 {"pic.jpg", "a.kelv"}, {"1\n", " "},
		 "\n@/pic.jpg\nSorry, it's not a kelvane recording, can't be fixed @/pic.jpg\n" + listed(a) +
		 question(1) + typed("1") + set_to(a, 1) + summary(1, 1, 0) + press_any_key},
		{"a card", card_files, {"CARD"}, {"5\n", " "}, card_set + press_any_key},
		{"a name in Japanese with an emoji", {{"録音🎵.kelv", rec, 1}}, {"録音🎵.kelv"}, {"1\n", " "},
		 listed(japanese) + question(1) + typed("1") + set_to(japanese, 1) + summary(1, 1, 0) +
		 press_any_key},
		{"nothing to set", {{"pic.jpg", picture, same}}, {"pic.jpg", "missing.kelv"}, {" "},
		 "\n@/pic.jpg\nSorry, it's not a kelvane recording, can't be fixed @/pic.jpg\n"
		 "\n@/missing.kelv\nfile can't be open @/missing.kelv\n" + none_here + press_any_key},
		{"a long answer", {{"a.kelv", rec, same}}, {"a.kelv"}, {std::string(300, '7') + "\n", "\n", " "},
		 listed(a) + question(1) + typed(std::string(300, '7')) + refused + std::string(255, '7') +
		 "\n" + question(1) + typed("") + nothing + press_any_key},
		// Only inside the test process: an input that ends.
		{"the input ends at the question", {{"a.kelv", rec, same}}, {"a.kelv"}, {},
		 listed(a) + question(1) + nothing + press_any_key, Case::here},
		{"the last answer has no line end", {{"a.kelv", rec, 4}}, {"a.kelv"}, {"4"},
		 listed(a) + question(1) + set_to(a, 4) + summary(4, 1, 0) + press_any_key, Case::here},
		{"more than the room holds", {{"a.kelv", rec, same}, {"b.kelv", rec_1, same},
		  {"CARD/100/CLIP0001.kelv", rec, same}, {"CARD/100/CLIP0002.kelv", rec, same}},
		 {"a.kelv", "CARD", "b.kelv"}, {" "},
		 listed(a) + "\nMore recordings than one window can set at once, so nothing was written:"
		 " drop fewer at a time.\n" + press_any_key, Case::here, 1},
		// Only in a console: the system ends the process there and then.
		{"the window closed at the question", two, {"a.kelv", "b.kelv"}, {"close"},
		 both_listed + question(2), Case::console},
	};
	// clang-format on
	// Varnholt-open: the same session with its own usage, and the wait for a
	// key only in a window that closes with it.
	const std::string open_usage =
	        "Usage: Varnholt-open File_or_folder ...\n\n"
	        "Lists the kelvane recordings given, and those in the folders given and their\n"
	        "subfolders, asks once for a new main track, then sets it in each.\n";
	auto open = [](Case c, varnholt::Started started) {
		c.started = started;
		return c;
	};
	const auto own = varnholt::Started::open_own_window,
	           shell = varnholt::Started::open_from_shell;
	cases.push_back(open(
	        {"Varnholt-open without files", {}, {}, {" "}, open_usage + press_any_key}, own));
	cases.push_back(open({"Varnholt-open on a card in its own window",
	                      card_files,
	                      {"CARD"},
	                      {"5\n", " "},
	                      card_set + press_any_key},
	                     own));
	cases.push_back(open({"Varnholt-open on a card from a shell",
	                      card_files,
	                      {"CARD"},
	                      {"5\n"},
	                      card_set,
	                      Case::here},
	                     shell));
	cases.push_back(open({"Varnholt-open from a shell, Enter",
	                      {{"a.kelv", rec, same}},
	                      {"a.kelv"},
	                      {"\n"},
	                      listed(a) + question(1) + typed("") + nothing,
	                      Case::here},
	                     shell));
	cases.push_back(open(
	        {"Varnholt-open from a shell without files", {}, {}, {}, open_usage, Case::here},
	        shell));
#ifndef _WIN32
	// A folder that cannot be read, between two that can, and a link to a
	// folder, which is never followed.
	cases.push_back({"a folder that cannot be read",
	                 {{"CARD/A/CLIP0001.kelv", rec, 2},
	                  {"CARD/B/CLIP0002.kelv", rec, same},
	                  {"CARD/C/CLIP0003.kelv", rec, 2}},
	                 {"CARD"},
	                 {"2\n", " "},
	                 listed("@/CARD/A/CLIP0001.kelv") + "\nfolder can't be read @/CARD/B\n" +
	                         listed("@/CARD/C/CLIP0003.kelv") +
	                         "\n@/CARD/C/LINK\nfile can't be open @/CARD/C/LINK\n" +
	                         question(2) + typed("2") + set_to("@/CARD/A/CLIP0001.kelv", 2) +
	                         set_to("@/CARD/C/CLIP0003.kelv", 2) + summary(2, 2, 0) +
	                         press_any_key,
	                 Case::here,
	                 0,
	                 true});
	// Writes that a file-size limit refuses.
	cases.push_back({"the writes fail",
	                 two,
	                 {"a.kelv", "b.kelv"},
	                 {"1\n", " "},
	                 both_listed + question(2) + typed("1") + "\n" + a + "\n" + report(2, 0) +
	                         "Can't write into file\n\n" + b + "\n" + report(3, 1) +
	                         "Can't write into file\n" + summary(1, 0, 2) + press_any_key,
	                 Case::here,
	                 0,
	                 false,
	                 47});
#endif

	// The console rows need a console window: under wine, an X display.
	const bool consoles = !test::launcher().empty() &&
	                      (!test::under_wine() || std::getenv("DISPLAY") != nullptr);
	if (!test::launcher().empty() && !consoles)
		std::printf(
		        "no X display for wine's consoles: the rows in a console are skipped\n");
	for (const auto& c : cases) {
		for (const bool console : {false, true}) {
			if (console ? c.runs == Case::here || !consoles : c.runs == Case::console)
				continue;
			test::Scratch scratch;
			for (const auto& file : c.files) {
				const auto path =
				        scratch.path() / std::filesystem::u8path(file.name);
				std::filesystem::create_directories(path.parent_path());
				scratch.put(file.name, file.bytes);
			}
			const std::string base = scratch.path().u8string();
			auto at = [&](const std::string& name) {
				return (scratch.path() / std::filesystem::u8path(name))
				        .make_preferred()
				        .u8string();
			};
			auto subst = [&](std::string text) {
				for (auto i = text.find("@/"); i != std::string::npos;
				     i = text.find("@/")) {
					const auto end = text.find_first_of(" :\n", i);
					const std::string name = text.substr(i + 2, end - i - 2);
					text.replace(i, end - i, at(name));
				}
				return text;
			};
#ifndef _WIN32
			if (c.unprivileged) {
				std::filesystem::create_symlink(scratch.path() / "CARD" / "A",
				                                scratch.path() / "CARD" / "C" /
				                                        "LINK");
				chmod((scratch.path() / "CARD" / "B").c_str(), 0);
			}
#endif
			std::vector<std::string> args;
			for (const auto& name : c.dropped)
				args.push_back(at(name));
			test::Outcome run;
			if (console) {
				// The launcher types each answer once the screen ends with
				// the question, and the last key at the last prompt; it
				// closes the window at the question.
				test::Setup setup;
				setup.wrapper = {test::launcher(), "console"};
				for (std::size_t i = 0; i < c.keys.size(); i++) {
					const bool last =
					        i + 1 == c.keys.size() && c.keys[i] != "close";
					setup.wrapper.push_back(last ? press_any_key.substr(1)
					                             : question_end);
					setup.wrapper.push_back(c.keys[i]);
				}
				setup.wrapper.push_back("--");
				if (c.started != varnholt::Started::by_explorer)
					setup.exe = test::open_tool();
				run = test::run_tool(args, setup);
			} else {
				test::Here here;
				here.session = c.started;
				here.room = c.room > 0 ? at(c.dropped[0]).size() + c.room : 0;
				here.unprivileged = c.unprivileged;
				here.file_limit = c.file_limit;
				for (const auto& key : c.keys)
					here.input += key;
				run = test::run_here(args, here);
			}
#ifndef _WIN32
			if (c.unprivileged)
				chmod((scratch.path() / "CARD" / "B").c_str(), 0755);
#endif
			const std::string where =
			        std::string(c.what) + (console ? " in a console" : "");
			EXPECT_EQ(trimmed(run.out), shown(subst(c.out), console)) << where;
			EXPECT_EQ(run.err, "") << where;
			// A closed window ends the process with the system's status.
			const bool closed = !c.keys.empty() && c.keys.back() == "close";
			EXPECT_TRUE(closed || run.status == 0) << where << ": " << run.status;
			for (const auto& file : c.files) {
				auto expected = file.bytes;
				if (file.main_after != same) {
					expected.resize(std::max<std::size_t>(expected.size(), 48));
					expected[47] = static_cast<unsigned char>(file.main_after);
				}
				EXPECT_EQ(test::slurp(scratch.path() /
				                      std::filesystem::u8path(file.name)),
				          expected)
				        << where << ": " << file.name;
			}
		}
	}
}

#ifndef _WIN32
// Varnholt-open as a terminal window starts it, leading the terminal's
// session, waits at the end for one key, without Enter; on a terminal it
// does not lead, as from a shell, it returns at once.
TEST(Explorer, OpenWaitsForAKeyOnlyWhereTheWindowClosesWithIt)
{
	const std::string question_end = "(Enter alone or -1 writes nothing): ";
	const std::string press_any_key = "Press any key to close this window";
	for (const bool leader : {true, false}) {
		test::Scratch scratch;
		const auto file = scratch.put("a.kelv", test::recording(64));
		std::vector<std::pair<std::string, std::string>> typing = {{question_end, "1\n"}};
		if (leader)
			typing.emplace_back(press_any_key, "x");
		test::Setup setup;
		setup.exe = test::open_tool();
		const auto run = test::in_terminal({file.string()}, leader, typing, setup);
		const std::string where = leader ? "leading its session" : "from a shell";
		EXPECT_EQ(run.status, 0) << where;
		EXPECT_NE(run.out.find("new audio track was set to 1\n"), std::string::npos)
		        << where << ": " << run.out;
		EXPECT_EQ(run.out.find(press_any_key) != std::string::npos, leader) << where;
		// The key was read unechoed, and only once the window said so.
		EXPECT_EQ(run.out.substr(run.out.size() - 1), leader ? "w" : "\n") << where;
		auto expected = test::recording(64);
		expected[47] = 1;
		EXPECT_EQ(test::slurp(file), expected) << where;
	}
}
#endif
