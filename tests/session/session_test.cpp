// The session of Varnholt.exe started from Explorer, and of Varnholt-open:
// every row run inside the test process, and on Windows also started as
// Explorer starts it, in a console of its own that the launcher types into
// and reads.
#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>

#include <sys/stat.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <thread>
#include <utility>

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

// What the screen ends with at either question.
const std::string asked = "): ";

// A recording's line in the plan, or in the outcome of a small card.
std::string line(const std::string& path, int count, int main)
{
	return path + ": " + std::to_string(count) + (count == 1 ? " track" : " tracks") +
	       ", main track " + std::to_string(main) + "\n";
}

// The question, after what the recordings have in common: tracks names
// them, empty for none.
std::string question(int recordings, const std::string& tracks = "0 or 1")
{
	const bool one = recordings == 1;
	const std::string word = tracks == "0" ? "track " : "tracks ";
	const std::string what = one ? "The recording above"
	                             : "The " + std::to_string(recordings) + " recordings above";
	const std::string common = tracks.empty()
	                                   ? one ? " has no track." : " have no track in common."
	                           : one ? " has " + word + tracks + "."
	                                 : " all have " + word + tracks + ".";
	return "\n" + what + common + "\nNew main track (Enter alone or -1 writes nothing): ";
}

std::string second(int lacking, int track)
{
	const bool one = lacking == 1;
	return "\n" + std::to_string(lacking) + " of the recordings above " +
	       (one ? "has" : "have") + " no track " + std::to_string(track) + ". Set " +
	       (one ? "its" : "their") + " main track to " + std::to_string(track) +
	       " all the same? y or n (Enter alone is n): ";
}

std::string set_to(const std::string& path, int track)
{
	return path + ": main track set to " + std::to_string(track) + "\n";
}

std::string summary(int track, int set, int already = 0, int skipped = 0, int failed = 0)
{
	return "\nMain track " + std::to_string(track) + ": " + std::to_string(set) + " set, " +
	       std::to_string(already) + " already right, " + std::to_string(skipped) +
	       " skipped, " + std::to_string(failed) + " failed.\n";
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
		int main_after; // byte 47 afterwards, or same: then not written at all
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
		int status = 0;
		// POSIX, inside the test process: run on the scratch folder once
		// the plan is shown, before the answer is read.
		std::function<void(const std::filesystem::path&)> meanwhile = {};
		// Varnholt-open's options, before the paths dropped.
		std::vector<std::string> options = {};
		std::string err = "";    // on standard error
		bool in_scratch = false; // run there, the paths as given
		// Where the undo record goes: the test's own folder, none at
		// all (no home), or under a file, where no folder can be made.
		enum { own, none, under_a_file } state = own;
	};
	const int same = -1000;
	const int changed = -2000; // by the row itself: not compared
	// Every file's time, set before the run: one that is not written keeps it.
	const auto long_ago =
	        std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365);
	const auto rec = test::recording(64);
	const auto rec_1 = test::recording(64, 3, 1);
	const auto picture = test::filler(600);
	const std::string usage =
	        "Usage: Varnholt FileName track_num\n\n"
	        "Varnholt is a command-line tool, to be run in a command prompt.\n"
	        "To use it from Explorer, drop recordings, or a card's folder, onto Varnholt.exe,\n"
	        "or add Varnholt to Send to and send them to it.\n"
	        "varnholt-" VARNHOLT_TEST_VERSION
	        "-web.html, beside Varnholt.exe, does the same in a browser.\n";
	const std::string none_here = "\nNo kelvane recording here, so nothing was written.\n";
	const std::string none_opened =
	        "\nNo kelvane recording could be opened here, so nothing was written.\n";
	const std::string others = "Files that are not recordings, left as they are: ";
	const std::string a = "@/a.kelv", b = "@/b.kelv";
	const std::vector<File> two = {{"a.kelv", rec, same}, {"b.kelv", rec_1, same}};
	auto both_set = [&](int track) {
		return std::vector<File>{{"a.kelv", rec, track}, {"b.kelv", rec_1, track}};
	};
	const std::string both_listed = line(a, 2, 0) + line(b, 3, 1);
	// A card: recordings in nested folders beside thumbnails and other files,
	// some folders with nothing of interest.
	const std::vector<File> card_files = {
	        {"CARD/100/CLIP0001.JPG", picture, same},
	        {"CARD/100/CLIP0001.kelv", rec, 5},
	        {"CARD/100/CLIP0002.JPG", picture, same},
	        {"CARD/100/CLIP0002.kelv", test::recording(44), 5},
	        {"CARD/101/SUB/CLIP0003.kelv", test::recording(64, 6, 1), 5},
	        {"CARD/101/SUB/EMPTY.TXT", {}, same},
	        {"CARD/INDEX.DAT", test::filler(48), same},
	        {"CARD/MISC/NOTES.TXT", test::filler(10), same},
	};
	const std::string clip1 = "@/CARD/100/CLIP0001.kelv", clip2 = "@/CARD/100/CLIP0002.kelv",
	                  clip3 = "@/CARD/101/SUB/CLIP0003.kelv";
	const std::string card_listed =
	        line(clip1, 2, 0) + line(clip2, 0, 0) + line(clip3, 6, 1) + others + "5\n";
	const std::string card_set = card_listed + question(3, "") + typed("5") + second(2, 5) +
	                             typed("y") + "\n" + set_to(clip1, 5) + set_to(clip2, 5) +
	                             set_to(clip3, 5) + summary(5, 3);
	// Past the small card's size: each folder with recordings on a line of
	// its own (a folder's files after a folder within it still count on its
	// line), then the layouts, most common first.
	std::vector<File> many;
	for (int i = 0; i < 24; i++) {
		const std::string number = std::to_string(100 + i);
		const std::string folder = i < 6 ? "A/" : i < 11 ? "A/C106/" : i < 18 ? "A/" : "B/";
		const bool three = i >= 6 && i < 11;
		many.push_back({"MANY/" + folder + "C" + number + ".kelv", three ? rec_1 : rec,
		                three ? same : 1});
	}
	many.push_back({"MANY/B/THUMB.JPG", picture, same});
	const std::string many_plan = "Recordings by folder:\n"
	                              "    13 in @/MANY/A/\n"
	                              "     5 in @/MANY/A/C106/\n"
	                              "     6 in @/MANY/B/\n"
	                              "Recordings by layout:\n"
	                              "    19 with 2 tracks, main track 0\n"
	                              "     5 with 3 tracks, main track 1\n" +
	                              others + "1\n";
	const std::string japanese = "@/録音🎵.kelv";
	const std::string room_full =
	        "Not enough memory to list every recording, so nothing was written.\n";
	// Names that a terminal would act on, shown escaped; the files are still
	// the ones set. Windows takes neither C0 controls nor bytes that are not
	// UTF-8 in a name.
	const std::vector<std::pair<std::string, std::string>> hostile = {
	        {"c1\xc2\x9b"
	         "2Jdel\x7f.kelv",
	         "c1\\xc2\\x9b2Jdel\\x7f.kelv"},
#ifndef _WIN32
	        {"esc\x1b[2J\x1b[H.kelv", "esc\\x1b[2J\\x1b[H.kelv"},
	        {"cr\rNo_kelvane_recording_here.kelv", "cr\\x0dNo_kelvane_recording_here.kelv"},
	        {"lf\nfile_can_t_be_open.kelv", "lf\\x0afile_can_t_be_open.kelv"},
	        {"tab\tbell\x07.kelv", "tab\\x09bell\\x07.kelv"},
	        {"raw\x9b\xff\xc3(.kelv", "raw\\x9b\\xff\\xc3(.kelv"},
	        {"long\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80.kelv",
	         "long\\xe0\\x80\\xaf\\xed\\xa0\\x80\\xf4\\x90\\x80\\x80.kelv"},
	        {"cut\xe2\x82(\xe2\x82\xc0.kelv\xe2\x82",
	         "cut\\xe2\\x82(\\xe2\\x82\\xc0.kelv\\xe2\\x82"},
#endif
	};
	std::vector<File> hostile_files;
	std::vector<std::string> hostile_names;
	std::string hostile_plan, hostile_set;
	for (const auto& [name, escaped] : hostile) {
		hostile_files.push_back({"NAMES/" + name, rec, 1});
		hostile_names.push_back("NAMES/" + name);
		hostile_plan += line("@/NAMES/" + escaped, 2, 0);
		hostile_set += set_to("@/NAMES/" + escaped, 1);
	}
	// Recordings already set to the answer are not written, nor is their time
	// changed.
	const std::vector<File> right = {{"a.kelv", test::recording(64, 3, 1), same},
	                                 {"b.kelv", rec_1, same},
	                                 {"c.kelv", rec, 1}};
	const std::string right_listed = line(a, 3, 1) + line(b, 3, 1) + line("@/c.kelv", 2, 0);
	// One recording of one track and one of three: 2 is past the first's.
	const std::vector<File> short_long = {{"a.kelv", test::recording(64, 1, 0), same},
	                                      {"b.kelv", rec_1, 2}};
	const std::string short_long_listed = line(a, 1, 0) + line(b, 3, 1);
	auto past = [&](const std::string& answer, bool yes) {
		return short_long_listed + question(2, "0") + typed("2") + second(1, 2) +
		       typed(answer) + "\n" +
		       (yes ? set_to(a, 2) : a + ": skipped, it has no track 2\n") + set_to(b, 2) +
		       summary(2, yes ? 2 : 1, 0, yes ? 0 : 1) + press_any_key;
	};
	auto short_long_set = [&](int track_a) {
		return std::vector<File>{{"a.kelv", test::recording(64, 1, 0), track_a},
		                         {"b.kelv", rec_1, 2}};
	};
	// clang-format off
	std::vector<Case> cases = {
		{"a double-click", {}, {}, {" "}, usage + press_any_key},
		{"one recording, Enter", {{"a.kelv", rec, same}}, {"a.kelv"}, {"\n", " "},
		 line(a, 2, 0) + question(1) + typed("") + nothing + press_any_key},
		{"two, -1", two, {"a.kelv", "b.kelv"}, {"-1\n", " "},
		 both_listed + question(2) + typed("-1") + nothing + press_any_key},
		{"two, set to 0", {{"a.kelv", rec, same}, {"b.kelv", rec_1, 0}}, {"a.kelv", "b.kelv"},
		 {"0\n", " "},
		 both_listed + question(2) + typed("0") + "\n" + a + ": main track already 0\n" +
		 set_to(b, 0) + summary(0, 1, 1) + press_any_key},
		{"two, out of range, then -128", both_set(-128), {"a.kelv", "b.kelv"},
		 {"200\n", "-128\n", "yes\n", " "},
		 both_listed + question(2) + typed("200") + refused + "200\n" + question(2) +
		 typed("-128") + second(2, -128) + typed("yes") + "\n" + set_to(a, -128) +
		 set_to(b, -128) + summary(-128, 2) + press_any_key},
		{"no digit asks again", two, {"a.kelv", "b.kelv"}, {"yes\n", "  \n", " "},
		 both_listed + question(2) + typed("yes") + "Not a track number: yes\n" + question(2) +
		 typed("  ") + nothing + press_any_key},
		{"a recording and a picture", {{"a.kelv", rec, 1}, {"pic.jpg", picture, same}},
		 {"pic.jpg", "a.kelv"}, {"1\n", " "},
		 line(a, 2, 0) + others + "1\n" + question(1) + typed("1") + "\n" + set_to(a, 1) +
		 summary(1, 1) + press_any_key},
		{"a card", card_files, {"CARD"}, {"5\n", "y\n", " "}, card_set + press_any_key},
		{"past twenty recordings, counted by folder and layout", many, {"MANY"}, {"1\n", " "},
		 many_plan + question(24) + typed("1") + summary(1, 19, 5) + press_any_key},
		{"names a terminal would act on", hostile_files, hostile_names, {"1\n", " "},
		 hostile_plan + question(static_cast<int>(hostile.size())) + typed("1") + "\n" +
		 hostile_set + summary(1, static_cast<int>(hostile.size())) + press_any_key},
		{"a name in Japanese with an emoji", {{"録音🎵.kelv", rec, 1}}, {"録音🎵.kelv"}, {"1\n", " "},
		 line(japanese, 2, 0) + question(1) + typed("1") + "\n" + set_to(japanese, 1) +
		 summary(1, 1) + press_any_key},
		{"already right, not written", right, {"a.kelv", "b.kelv", "c.kelv"}, {"1\n", " "},
		 right_listed + question(3) + typed("1") + "\n" + a + ": main track already 1\n" + b +
		 ": main track already 1\n" + set_to("@/c.kelv", 1) + summary(1, 1, 2) + press_any_key},
		// The second question: only y or yes sets a recording past its last track.
		{"past the last track, y", short_long_set(2), {"a.kelv", "b.kelv"}, {"2\n", "y\n", " "},
		 past("y", true)},
		{"past the last track, Y", short_long_set(2), {"a.kelv", "b.kelv"}, {"2\n", " Y \n", " "},
		 past(" Y ", true)},
		{"past the last track, YES and a tab", short_long_set(2), {"a.kelv", "b.kelv"},
		 {"2\n", "YES\t\n", " "}, past("YES\t", true), Case::here},
		{"past the last track, Enter", short_long_set(same), {"a.kelv", "b.kelv"},
		 {"2\n", "\n", " "}, past("", false)},
		{"past the last track, n", short_long_set(same), {"a.kelv", "b.kelv"},
		 {"2\n", "n\n", " "}, past("n", false)},
		{"past the last track, sure", short_long_set(same), {"a.kelv", "b.kelv"},
		 {"2\n", "sure\n", " "}, past("sure", false)},
		{"past every last track, no", two, {"a.kelv", "b.kelv"}, {"-5\n", "no\n", " "},
		 both_listed + question(2) + typed("-5") + second(2, -5) + typed("no") + "\n" +
		 a + ": skipped, it has no track -5\n" + b + ": skipped, it has no track -5\n" +
		 summary(-5, 0, 0, 2) + press_any_key},
		{"a recording without tracks", {{"a.kelv", test::recording(64, 0, 0), same}}, {"a.kelv"},
		 {"\n", " "},
		 line(a, 0, 0) + question(1, "") + typed("") + nothing + press_any_key},
		{"nothing to set", {{"pic.jpg", picture, same}}, {"pic.jpg", "missing.kelv"}, {" "},
		 others + "1\nfile can't be open @/missing.kelv (No such file or directory)\n" +
		 none_opened + press_any_key},
		{"a long answer", {{"a.kelv", rec, same}}, {"a.kelv"}, {std::string(300, '7') + "\n", "\n", " "},
		 line(a, 2, 0) + question(1) + typed(std::string(300, '7')) + refused +
		 std::string(255, '7') + "\n" + question(1) + typed("") + nothing + press_any_key},
		// Only inside the test process: an input that ends.
		{"the input ends at the question", {{"a.kelv", rec, same}}, {"a.kelv"}, {},
		 line(a, 2, 0) + question(1) + nothing + press_any_key, Case::here},
		{"the input ends at the second question", short_long_set(same), {"a.kelv", "b.kelv"},
		 {"2\n"},
		 short_long_listed + question(2, "0") + second(1, 2) + "\n" + a +
		 ": skipped, it has no track 2\n" + set_to(b, 2) + summary(2, 1, 0, 1) +
		 press_any_key, Case::here},
		{"the last answer has no line end", {{"a.kelv", rec, 1}}, {"a.kelv"}, {"1"},
		 line(a, 2, 0) + question(1) + "\n" + set_to(a, 1) + summary(1, 1) + press_any_key,
		 Case::here},
		{"more than the room holds", {{"a.kelv", rec, same}, {"b.kelv", rec_1, same},
		  {"CARD/100/CLIP0001.kelv", rec, same}, {"CARD/100/CLIP0002.kelv", rec, same}},
		 {"a.kelv", "CARD", "b.kelv"}, {" "}, room_full + press_any_key, Case::here, 5},
		{"more than the room holds, a file that can't be opened", {{"a.kelv", rec, same}},
		 {"a.kelv", "missing.kelv", "a.kelv"}, {" "}, room_full + press_any_key, Case::here, 5},
		// Only in a console: the system ends the process there and then.
		{"the window closed at the question", two, {"a.kelv", "b.kelv"}, {"close"},
		 both_listed + question(2), Case::console},
	};
	// clang-format on
	// Varnholt-open: the same session with its own usage, the wait for a key
	// only in a window that closes with it, and an exit status of its own.
	const std::string open_usage =
	        "Usage: Varnholt-open [options] File_or_folder ...\n"
	        "       Varnholt-open --undo [--dry-run] [--json]\n\n"
	        "Lists the kelvane recordings given, and those in the folders given and their\n"
	        "subfolders, asks once for a new main track, then sets it in each.\n";
	auto open = [](Case c, varnholt::Started started, int status) {
		c.started = started;
		c.status = status;
		return c;
	};
	const auto own = varnholt::Started::open_own_window,
	           shell = varnholt::Started::open_from_shell;
	cases.push_back(
	        open({"Varnholt-open without files", {}, {}, {" "}, open_usage + press_any_key},
	             own, 2));
	cases.push_back(open({"Varnholt-open on a card in its own window",
	                      card_files,
	                      {"CARD"},
	                      {"5\n", "y\n", " "},
	                      card_set + press_any_key},
	                     own, 0));
	cases.push_back(open({"Varnholt-open on a card from a shell",
	                      card_files,
	                      {"CARD"},
	                      {"5\n", "y\n"},
	                      card_set,
	                      Case::here},
	                     shell, 0));
	cases.push_back(open({"Varnholt-open from a shell, Enter",
	                      {{"a.kelv", rec, same}},
	                      {"a.kelv"},
	                      {"\n"},
	                      line(a, 2, 0) + question(1) + typed("") + nothing,
	                      Case::here},
	                     shell, 0));
	cases.push_back(open({"Varnholt-open from a shell, nothing to set",
	                      {{"pic.jpg", picture, same}},
	                      {"pic.jpg"},
	                      {},
	                      others + "1\n" + none_here,
	                      Case::here},
	                     shell, 0));
	cases.push_back(open(
	        {"Varnholt-open from a shell, a file that can't be opened",
	         {{"a.kelv", rec, 1}},
	         {"a.kelv", "missing.kelv"},
	         {"1\n"},
	         line(a, 2, 0) + "file can't be open @/missing.kelv (No such file or directory)\n" +
	                 question(1) + typed("1") + "\n" + set_to(a, 1) + summary(1, 1),
	         Case::here},
	        shell, 1));
	cases.push_back(open(
	        {"Varnholt-open from a shell, seven files that can't be opened",
	         {{"a.kelv", rec, same}},
	         {"1.kelv", "2.kelv", "3.kelv", "4.kelv", "a.kelv", "5.kelv", "6.kelv", "7.kelv"},
	         {"\n"},
	         line(a, 2, 0) + "file can't be open @/1.kelv (No such file or directory)\n" +
	                 "file can't be open @/2.kelv (No such file or directory)\n" +
	                 "file can't be open @/3.kelv (No such file or directory)\n" +
	                 "file can't be open @/4.kelv (No such file or directory)\n" +
	                 "file can't be open @/5.kelv (No such file or directory)\n" +
	                 "and 2 more files or folders that can't be opened or read\n" +
	                 question(1) + typed("") + nothing,
	         Case::here},
	        shell, 1));
	cases.push_back(open(
	        {"Varnholt-open from a shell without files", {}, {}, {}, open_usage, Case::here},
	        shell, 2));
	// Varnholt-open's options, for scripts: the answers given, a dry run,
	// JSON Lines, and the usage errors, each with nothing opened.
	auto with = [&](Case c, std::vector<std::string> options, int status,
	                std::string err = "") {
		c = open(c, shell, status);
		c.runs = Case::here;
		c.options = std::move(options);
		c.err = std::move(err);
		return c;
	};
	auto json = [](const std::string& name, int count, int main, const std::string& outcome) {
		return "{\"path\": \"%/" + name + "\", \"tracks\": " + std::to_string(count) +
		       ", \"main\": " + std::to_string(main) +
		       (outcome.empty() ? "" : ", \"outcome\": \"" + outcome + "\"") + "}\n";
	};
	const std::string dry_skipped =
	        short_long_listed + "\n" + a + ": skipped, it has no track 2\n" + b +
	        ": main track would be set to 2\n"
	        "\nMain track 2, a dry run: 1 would be set, 0 already right, 1 "
	        "skipped. Nothing was written.\n";
	const std::string help =
	        open_usage +
	        "\nOptions:\n"
	        "  -t, --track N    set main track N without asking (-1 writes nothing)\n"
	        "  -p, --past-last  set it in recordings that have no track N too\n"
	        "  -n, --dry-run    write nothing, say what would be done\n"
	        "  -j, --json       print JSON Lines on standard output and ask nothing\n"
	        "  -u, --undo       put back what the last session changed\n"
	        "  -h, --help       print this help\n"
	        "  -V, --version    print the version\n"
	        "  --               end the options: a name after it may begin with -\n";
	auto refused_with = [&](const std::string& what) {
		return "Varnholt-open: " + what + "\n" + open_usage;
	};
	const std::vector<File> dash = {{"-a.kelv", rec, 1}};
	const std::vector<File> short_long_same = {{"a.kelv", test::recording(64, 1, 0), same},
	                                           {"b.kelv", rec_1, same}};
	const std::vector<Case> scripted = {
	        with({"--track asks nothing",
	              {{"a.kelv", rec, 1}, {"b.kelv", rec_1, same}},
	              {"a.kelv", "b.kelv"},
	              {},
	              both_listed + "\n" + set_to(a, 1) + b + ": main track already 1\n" +
	                      summary(1, 1, 1)},
	             {"--track", "1"}, 0),
	        with({"-t2 skips a recording without track 2",
	              short_long_set(same),
	              {"a.kelv", "b.kelv"},
	              {},
	              short_long_listed + "\n" + a + ": skipped, it has no track 2\n" +
	                      set_to(b, 2) + summary(2, 1, 0, 1)},
	             {"-t2"}, 0),
	        with({"--track=2 --past-last",
	              short_long_set(2),
	              {"a.kelv", "b.kelv"},
	              {},
	              short_long_listed + "\n" + set_to(a, 2) + set_to(b, 2) + summary(2, 2)},
	             {"--track=2", "--past-last"}, 0),
	        with({"-pt 2",
	              short_long_set(2),
	              {"a.kelv", "b.kelv"},
	              {},
	              short_long_listed + "\n" + set_to(a, 2) + set_to(b, 2) + summary(2, 2)},
	             {"-pt", "2"}, 0),
	        with({"--track -1 writes nothing",
	              two,
	              {"a.kelv", "b.kelv"},
	              {},
	              both_listed + nothing},
	             {"--track", "-1"}, 0),
	        with({"--dry-run --track 2",
	              short_long_same,
	              {"a.kelv", "b.kelv"},
	              {},
	              dry_skipped},
	             {"--dry-run", "--track", "2"}, 0),
	        with({"-n asks, then writes nothing",
	              two,
	              {"a.kelv", "b.kelv"},
	              {"0\n"},
	              both_listed + question(2) + typed("0") + "\n" + a +
	                      ": main track already 0\n" + b +
	                      ": main track would be set to 0\n\nMain track 0, a dry run: 1 would "
	                      "be set, "
	                      "1 already right, 0 skipped. Nothing was written.\n"},
	             {"-n"}, 0),
	        with({"--json lists and writes nothing",
	              two,
	              {"a.kelv", "b.kelv"},
	              {},
	              json("a.kelv", 2, 0, "") + json("b.kelv", 3, 1, "")},
	             {"--json"}, 0),
	        with({"--json --track 1",
	              {{"a.kelv", rec, 1}, {"b.kelv", rec_1, same}},
	              {"a.kelv", "b.kelv"},
	              {},
	              json("a.kelv", 2, 0, "set") + json("b.kelv", 3, 1, "already") +
	                      "{\"set\": 1, \"already\": 1, \"skipped\": 0, \"failed\": 0}\n"},
	             {"--json", "--track", "1"}, 0),
	        with({"-jn -t 2",
	              short_long_same,
	              {"a.kelv", "b.kelv"},
	              {},
	              json("a.kelv", 1, 0, "skipped") + json("b.kelv", 3, 1, "set") +
	                      "{\"set\": 1, \"already\": 0, \"skipped\": 1, \"failed\": 0, "
	                      "\"dry_run\": true}\n"},
	             {"-jn", "-t", "2"}, 0),
	        with({"--json --track: a file that can't be opened",
	              {{"a.kelv", rec, 1}},
	              {"a.kelv", "missing.kelv"},
	              {},
	              "{\"path\": \"%/missing.kelv\", \"error\": \"No such file or directory\"}\n" +
	                      json("a.kelv", 2, 0, "set") +
	                      "{\"set\": 1, \"already\": 0, \"skipped\": 0, \"failed\": 0}\n"},
	             {"--json", "--track", "1"}, 1),
	        with({"--help", two, {}, {}, help}, {"--help"}, 0),
	        with({"-V", two, {"a.kelv"}, {}, "Varnholt-open " VARNHOLT_TEST_VERSION "\n"},
	             {"-V"}, 0),
	        with({"an unknown option", two, {"a.kelv"}, {}, ""}, {"--fast"}, 2,
	             refused_with("unknown option: --fast")),
	        with({"an unknown short option", two, {"a.kelv"}, {}, ""}, {"-px"}, 2,
	             refused_with("unknown option: -x")),
	        with({"--track without a number", two, {}, {}, ""}, {"--track"}, 2,
	             refused_with("--track needs a track number")),
	        with({"--track out of range", two, {"a.kelv"}, {}, ""}, {"--track", "128"}, 2,
	             refused_with("--track takes a track number from -128 to 127, not: 128")),
	        with({"--track not a number", two, {"a.kelv"}, {}, ""}, {"-t", "x2"}, 2,
	             refused_with("--track takes a track number from -128 to 127, not: x2")),
	        with({"options without a path", two, {}, {}, ""}, {"--dry-run"}, 2,
	             refused_with("no file or folder given")),
	        with({"--undo with a path", two, {"a.kelv"}, {}, ""}, {"--undo"}, 2,
	             refused_with("--undo takes no files or folders: @/a.kelv")),
	        with({"--undo --track", two, {}, {}, ""}, {"-u", "-t", "1"}, 2,
	             refused_with("--undo takes no --track or --past-last")),
	        with({"--undo --past-last", two, {}, {}, ""}, {"-up"}, 2,
	             refused_with("--undo takes no --track or --past-last")),
	        with({"-h", two, {}, {}, help}, {"-h"}, 0),
	        with({"--version",
	              two,
	              {"a.kelv"},
	              {},
	              "Varnholt-open " VARNHOLT_TEST_VERSION "\n"},
	             {"--version"}, 0),
	        with({"--version with a value", two, {"a.kelv"}, {}, ""}, {"--version=1"}, 2,
	             refused_with("unknown option: --version=1")),
	        with({"--help with a value", two, {"a.kelv"}, {}, ""}, {"--help=1"}, 2,
	             refused_with("unknown option: --help=1")),
	        with({"--json with a value", two, {"a.kelv"}, {}, ""}, {"--json=1"}, 2,
	             refused_with("unknown option: --json=1")),
	        with({"a file named -",
	              {{"-", rec, 1}},
	              {"-"},
	              {},
	              line("-", 2, 0) + "\n" + set_to("-", 1) + summary(1, 1)},
	             {"-t", "+1"}, 0),
	        with({"--json --track: no recording",
	              {{"pic.jpg", picture, same}},
	              {"pic.jpg"},
	              {},
	              "{\"set\": 0, \"already\": 0, \"skipped\": 0, \"failed\": 0}\n"},
	             {"--json", "--track", "1"}, 0),
	        with({"-- before a name that begins with a dash",
	              dash,
	              {"-a.kelv"},
	              {},
	              line("-a.kelv", 2, 0) + "\n" + set_to("-a.kelv", 1) + summary(1, 1)},
	             {"--track", "1", "--"}, 0),
	        with({"a name that begins with a dash, without --",
	              {{"-a.kelv", rec, same}},
	              {"-a.kelv"},
	              {},
	              ""},
	             {"--track", "1"}, 2, refused_with("unknown option: -a")),
	        with({"answers that are not numbers",
	              two,
	              {"a.kelv", "b.kelv"},
	              {"x2\n", "2x\n", "\n"},
	              both_listed + question(2) + typed("x2") + "Not a track number: x2\n" +
	                      question(2) + typed("2x") + "Not a track number: 2x\n" + question(2) +
	                      typed("") + nothing},
	             {}, 0),
	};
	for (Case c : scripted) {
		c.in_scratch = c.dropped.size() == 1 && c.dropped[0][0] == '-';
		// Room enough, where memory is given a limit.
		c.room = c.in_scratch || c.dropped.empty() ? 0 : 1 << 20;
		cases.push_back(c);
	}
	// Where no undo record can be kept, the plan says so before the question,
	// and the session sets the card all the same.
	for (const bool home : {true, false}) {
		Case c = with(
		        {home ? "the undo record can't be written" : "no home for the undo record",
		         {{"a.kelv", rec, 1}, {"b.kelv", rec_1, same}},
		         {"a.kelv", "b.kelv"},
		         {"1\n"},
		         both_listed + "This session can't be undone: " +
#ifdef _WIN32
		                 (home ? "its record can't be written (No such file or "
		                         "directory).\n"
#else
		                 (home ? "its record can't be written (Not a directory).\n"
#endif
		                       : "there is no home folder to keep its record in.\n") +
		                 question(2) + typed("1") + "\n" + set_to(a, 1) + b +
		                 ": main track already 1\n" + summary(1, 1, 1)},
		        {}, 0);
		c.state = home ? Case::under_a_file : Case::none;
		cases.push_back(c);
	}
#ifndef _WIN32
	// A folder that cannot be read, between two that can, a file that cannot
	// be opened, and a link to a folder, which is never followed.
	const test::Bytes locked = test::recording(64, 2, 0);
	const std::string locked_card = line("@/CARD/A/CLIP0001.kelv", 2, 0) +
	                                line("@/CARD/C/CLIP0003.kelv", 3, 0) +
	                                line("@/CARD/C/LOCKED.kelv", 2, 0) +
	                                "folder can't be read @/CARD/B\n"
	                                "file can't be open @/CARD/C/LINK (not a regular file)\n"
	                                "file can't be open @/CARD/C/PIPE (not a regular file)\n";
	const std::vector<File> locked_files = {
	        {"CARD/A/CLIP0001.kelv", rec, 2},
	        {"CARD/B/CLIP0002.kelv", rec, same},
	        {"CARD/C/CLIP0003.kelv", test::recording(64, 3, 0), 2},
	        {"CARD/C/LOCKED.kelv", locked, same}};
	// A read-only recording is listed, and named when it cannot be set.
	cases.push_back(open(
	        {"a folder and a file that cannot be read",
	         locked_files,
	         {"CARD"},
	         {"2\n", "y\n"},
	         locked_card + question(3) + typed("2") + second(2, 2) + typed("y") + "\n" +
	                 set_to("@/CARD/A/CLIP0001.kelv", 2) + set_to("@/CARD/C/CLIP0003.kelv", 2) +
	                 "file can't be open @/CARD/C/LOCKED.kelv (Permission denied)\n" +
	                 summary(2, 2, 0, 0, 1),
	         Case::here,
	         0,
	         true},
	        shell, 1));
	Case locked_json =
	        open({"--json: a folder and a file that cannot be read",
	              locked_files,
	              {"CARD"},
	              {},
	              "{\"path\": \"%/CARD/A/CLIP0001.kelv\", \"tracks\": 2, \"main\": 0}\n"
	              "{\"path\": \"%/CARD/B\", \"error\": \"Permission denied\"}\n"
	              "{\"path\": \"%/CARD/C/CLIP0003.kelv\", \"tracks\": 3, \"main\": 0}\n"
	              "{\"path\": \"%/CARD/C/LINK\", \"error\": \"not a regular file\"}\n"
	              "{\"path\": \"%/CARD/C/LOCKED.kelv\", \"tracks\": 2, \"main\": 0}\n"
	              "{\"path\": \"%/CARD/C/PIPE\", \"error\": \"not a regular file\"}\n",
	              Case::here,
	              0,
	              true},
	             shell, 1);
	for (auto& file : locked_json.files)
		file.main_after = same;
	locked_json.options = {"--json"};
	cases.push_back(locked_json);
	// With a track, problems as found, then each recording's outcome.
	Case locked_set = locked_json;
	locked_set.what = "--json --track: a recording that cannot be written";
	locked_set.files = locked_files;
	locked_set.options = {"--json", "--track", "2", "--past-last"};
	locked_set.out =
	        "{\"path\": \"%/CARD/B\", \"error\": \"Permission denied\"}\n"
	        "{\"path\": \"%/CARD/C/LINK\", \"error\": \"not a regular file\"}\n"
	        "{\"path\": \"%/CARD/C/PIPE\", \"error\": \"not a regular file\"}\n"
	        "{\"path\": \"%/CARD/A/CLIP0001.kelv\", \"tracks\": 2, \"main\": 0, \"outcome\": "
	        "\"set\"}\n"
	        "{\"path\": \"%/CARD/C/CLIP0003.kelv\", \"tracks\": 3, \"main\": 0, \"outcome\": "
	        "\"set\"}\n"
	        "{\"path\": \"%/CARD/C/LOCKED.kelv\", \"tracks\": 2, \"main\": 0, \"outcome\": "
	        "\"failed\", \"error\": \"Permission denied\"}\n"
	        "{\"set\": 2, \"already\": 0, \"skipped\": 0, \"failed\": 1}\n";
	cases.push_back(locked_set);
	// A recording already right needs no writing: a read-only one too.
	Case locked_right = locked_set;
	locked_right.what = "--json --track: a read-only recording already right";
	locked_right.files = locked_json.files;
	locked_right.options = {"--json", "--track", "0"};
	locked_right.out =
	        "{\"path\": \"%/CARD/B\", \"error\": \"Permission denied\"}\n"
	        "{\"path\": \"%/CARD/C/LINK\", \"error\": \"not a regular file\"}\n"
	        "{\"path\": \"%/CARD/C/PIPE\", \"error\": \"not a regular file\"}\n"
	        "{\"path\": \"%/CARD/A/CLIP0001.kelv\", \"tracks\": 2, \"main\": 0, \"outcome\": "
	        "\"already\"}\n"
	        "{\"path\": \"%/CARD/C/CLIP0003.kelv\", \"tracks\": 3, \"main\": 0, \"outcome\": "
	        "\"already\"}\n"
	        "{\"path\": \"%/CARD/C/LOCKED.kelv\", \"tracks\": 2, \"main\": 0, \"outcome\": "
	        "\"already\"}\n"
	        "{\"set\": 0, \"already\": 3, \"skipped\": 0, \"failed\": 0}\n";
	cases.push_back(locked_right);
	// Names that are not UTF-8 come back from JSON by surrogate escapes.
	Case raw_json =
	        open({"--json --track: names that are not UTF-8",
	              {{"raw\x9b\xff.kelv", rec, 1}, {"c1\xc2\x85\\\".kelv", rec_1, same}},
	              {"raw\x9b\xff.kelv", "c1\xc2\x85\\\".kelv"},
	              {},
	              "{\"path\": \"%/raw\\udc9b\\udcff.kelv\", \"tracks\": 2, \"main\": 0, "
	              "\"outcome\": \"set\"}\n"
	              "{\"path\": \"%/c1\\u0085\\\\\\\".kelv\", \"tracks\": 3, \"main\": 1, "
	              "\"outcome\": \"already\"}\n"
	              "{\"set\": 1, \"already\": 1, \"skipped\": 0, \"failed\": 0}\n",
	              Case::here},
	             shell, 0);
	raw_json.options = {"--json", "--track", "1"};
	cases.push_back(raw_json);
	// Writes that a file-size limit refuses, the undo record's too: past its
	// first line, which is written before the question.
	const std::string no_record =
	        "This session can't be undone: its record can't be written (File too large).\n";
	cases.push_back(
	        open({"the writes fail",
	              two,
	              {"a.kelv", "b.kelv"},
	              {"1\n", " "},
	              both_listed + question(2) + typed("1") + "\n" + no_record +
	                      "Can't write into file " + a + " (File too large)\n" + b +
	                      ": main track already 1\n" + summary(1, 0, 1, 0, 1) + press_any_key,
	              Case::here,
	              0,
	              false,
	              47},
	             own, 1));
	// Files changed by another program between the plan and the answer.
	Case meanwhile{"files changed before the answer",
	               {{"a.kelv", rec, 1},
	                {"b.kelv", rec, changed},
	                {"c.kelv", rec, changed},
	                {"d.kelv", rec, changed}},
	               {"a.kelv", "b.kelv", "c.kelv", "d.kelv"},
	               {"1\n"},
	               line(a, 2, 0) + line(b, 2, 0) + line("@/c.kelv", 2, 0) +
	                       line("@/d.kelv", 2, 0) + question(4) + "\n" + set_to(a, 1) +
	                       "file is empty file " + b + "\n" +
	                       "Sorry, it's not a kelvane recording, can't be fixed @/c.kelv\n" +
	                       "file can't be open @/d.kelv (No such file or directory)\n" +
	                       summary(1, 1, 0, 0, 3),
	               Case::here};
	meanwhile.started = shell;
	meanwhile.status = 1;
	meanwhile.meanwhile = [](const std::filesystem::path& scratch) {
		std::filesystem::resize_file(scratch / "b.kelv", 0);
		std::filesystem::resize_file(scratch / "c.kelv", 40);
		std::filesystem::remove(scratch / "d.kelv");
	};
	cases.push_back(meanwhile);
	cases.push_back({"the writes fail, from Explorer",
	                 two,
	                 {"a.kelv", "b.kelv"},
	                 {"0\n", " "},
	                 both_listed + question(2) + typed("0") + "\n" + no_record + a +
	                         ": main track already 0\n" + "Can't write into file " + b +
	                         " (File too large)\n" + summary(0, 0, 1, 0, 1) + press_any_key,
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
			std::map<std::string, std::filesystem::file_time_type> times;
			for (const auto& file : c.files) {
				const auto path =
				        scratch.path() / std::filesystem::u8path(file.name);
				std::filesystem::create_directories(path.parent_path());
				scratch.put(file.name, file.bytes);
				std::filesystem::last_write_time(path, long_ago);
				// As the file system keeps it: some keep whole seconds.
				times[file.name] = std::filesystem::last_write_time(path);
			}
			const std::string base = scratch.path().u8string();
			auto at = [&](const std::string& name) {
				return (scratch.path() / std::filesystem::u8path(name))
				        .make_preferred()
				        .u8string();
			};
			// %/ is the same in JSON, where only Windows' separators need
			// an escape; a name after it is written as JSON has it.
			auto subst = [&](std::string text) {
				for (auto i = text.find("@/"); i != std::string::npos;
				     i = text.find("@/")) {
					const auto end = text.find_first_of(" :\n", i);
					const std::string name = text.substr(i + 2, end - i - 2);
					text.replace(i, end - i, at(name));
				}
				const std::string separator =
				        std::filesystem::path::preferred_separator == '/' ? "/"
				                                                          : "\\\\";
				std::string folder = base;
				for (auto j = folder.find('\\'); j != std::string::npos;
				     j = folder.find('\\', j + 2))
					folder.insert(j, "\\");
				for (auto i = text.find("%/"); i != std::string::npos;
				     i = text.find("%/")) {
					const auto end = text.find('"', i);
					std::string name = text.substr(i + 2, end - i - 2);
					for (auto j = name.find('/'); j != std::string::npos;
					     j = name.find('/', j + separator.size()))
						name.replace(j, 1, separator);
					text.replace(i, end - i, folder + separator + name);
				}
				return text;
			};
#ifndef _WIN32
			if (c.unprivileged) {
				std::filesystem::create_symlink(scratch.path() / "CARD" / "A",
				                                scratch.path() / "CARD" / "C" /
				                                        "LINK");
				chmod((scratch.path() / "CARD" / "B").c_str(), 0);
				chmod((scratch.path() / "CARD" / "C" / "LOCKED.kelv").c_str(),
				      0444);
				mkfifo((scratch.path() / "CARD" / "C" / "PIPE").c_str(), 0644);
			}
#endif
			std::vector<std::string> args = c.options;
			for (const auto& name : c.dropped)
				args.push_back(c.in_scratch ? name : at(name));
			const test::KeepStateHome keep;
			if (c.state == Case::under_a_file)
				test::use_state_home(scratch.put("state", {}));
			else if (c.state == Case::none)
				test::use_state_home(std::nullopt);
			const auto before = std::filesystem::current_path();
			if (c.in_scratch)
				std::filesystem::current_path(scratch.path());
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
					                             : asked);
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
				if (c.meanwhile)
					here.at_question = [&] { c.meanwhile(scratch.path()); };
				run = test::run_here(args, here);
			}
			std::filesystem::current_path(before);
#ifndef _WIN32
			if (c.unprivileged)
				chmod((scratch.path() / "CARD" / "B").c_str(), 0755);
#endif
			const std::string where =
			        std::string(c.what) + (console ? " in a console" : "");
			EXPECT_EQ(trimmed(run.out), shown(subst(c.out), console)) << where;
			EXPECT_EQ(run.err, subst(c.err)) << where;
			// A closed window ends the process with the system's status.
			const bool closed = !c.keys.empty() && c.keys.back() == "close";
			EXPECT_TRUE(closed || run.status == c.status)
			        << where << ": " << run.status;
			for (const auto& file : c.files) {
				if (file.main_after == changed)
					continue;
				auto expected = file.bytes;
				if (file.main_after != same) {
					expected.resize(std::max<std::size_t>(expected.size(), 48));
					expected[47] = static_cast<unsigned char>(file.main_after);
				}
				const auto path =
				        scratch.path() / std::filesystem::u8path(file.name);
				EXPECT_EQ(test::slurp(path), expected)
				        << where << ": " << file.name;
				if (file.main_after == same) {
					EXPECT_EQ(std::filesystem::last_write_time(path),
					          times[file.name])
					        << where << ": " << file.name << " was written";
				}
			}
		}
	}
}

// A card of 16,000 recordings in 80 folders, half of them set already:
// the plan and the question fit on a screen, and only the other half is
// written.
TEST(Explorer, ABigCardFitsOnAScreenAndOnlyWhatDiffersIsWritten)
{
	test::Scratch scratch;
	const int folders = 80, each = 200;
	std::vector<std::filesystem::path> files;
	for (int f = 0; f < folders; f++) {
		const auto folder = scratch.path() / "DCIM" / std::to_string(100 + f);
		std::filesystem::create_directories(folder);
		for (int i = 0; i < each; i++) {
			const auto name = "DCIM/" + std::to_string(100 + f) + "/CLIP" +
			                  std::to_string(i) + ".kelv";
			files.push_back(
			        scratch.put(name, test::recording(64, 2 + i % 2, i / 2 % 2)));
		}
		scratch.put("DCIM/" + std::to_string(100 + f) + "/THUMB.JPG", test::filler(600));
	}
	test::Here here;
	here.session = varnholt::Started::open_from_shell;
	here.input = "1\n";
	const auto run = test::run_here({(scratch.path() / "DCIM").string()}, here);
	EXPECT_EQ(run.status, 0);
	const auto asked_at = run.out.find("(Enter alone or -1 writes nothing): ");
	ASSERT_NE(asked_at, std::string::npos) << run.out;
	const auto lines =
	        std::count(run.out.begin(), run.out.begin() + static_cast<std::ptrdiff_t>(asked_at),
	                   '\n') +
	        1;
	EXPECT_LE(lines, 100) << run.out;
	const std::string sep(1, std::filesystem::path::preferred_separator);
	EXPECT_NE(run.out.find("   200 in " + (scratch.path() / "DCIM" / "179").string() + sep +
	                       "\n"),
	          std::string::npos)
	        << run.out;
	EXPECT_NE(run.out.find("  4000 with 3 tracks, main track 1\n"), std::string::npos)
	        << run.out;
	EXPECT_NE(run.out.find("Files that are not recordings, left as they are: 80\n"),
	          std::string::npos);
	EXPECT_EQ(run.out.substr(asked_at + 36),
	          "\nMain track 1: 8000 set, 8000 already right, 0 skipped, 0 failed.\n");
	for (std::size_t i = 0; i < files.size(); i++)
		ASSERT_EQ(test::slurp(files[i])[47], 1) << files[i];
}

// Past the lines the plan gives folders and layouts, the rest is counted;
// names given without a folder count in "."; and past twenty, recordings
// skipped at the second question are not named.
TEST(Explorer, APlanPastItsLinesCountsTheRest)
{
	test::Scratch scratch;
	std::vector<std::string> args;
	int lacking = 0;
	for (int i = 0; i < 25; i++) {
		args.push_back("x" + std::to_string(i) + ".kelv");
		scratch.put(args.back(), test::recording(64));
		lacking++;
	}
	for (int i = 0; i < 90; i++) {
		std::filesystem::create_directories(scratch.path() / "F" / std::to_string(100 + i));
		scratch.put("F/" + std::to_string(100 + i) + "/a.kelv",
		            test::recording(64, 2 + i % 7));
		lacking += i % 7 < 2 ? 1 : 0;
	}
	args.push_back("F");
	test::Here here;
	here.session = varnholt::Started::open_from_shell;
	here.input = "3\nn\n";
	const auto before = std::filesystem::current_path();
	std::filesystem::current_path(scratch.path());
	const auto run = test::run_here(args, here);
	std::filesystem::current_path(before);
	EXPECT_EQ(run.status, 0);
	const auto asked_at = run.out.find("(Enter alone or -1 writes nothing): ");
	ASSERT_NE(asked_at, std::string::npos) << run.out;
	EXPECT_LE(std::count(run.out.begin(),
	                     run.out.begin() + static_cast<std::ptrdiff_t>(asked_at), '\n') +
	                  1,
	          100)
	        << run.out;
	const std::string sep(1, std::filesystem::path::preferred_separator);
	for (const std::string& shown : std::vector<std::string>{
	             "    25 in .\n", "     1 in F" + sep + "100" + sep + "\n",
	             "     1 in F" + sep + "178" + sep + "\n", "    11 in other folders\n",
	             "    38 with 2 tracks, main track 0\n", "    25 with other layouts\n"})
		EXPECT_NE(run.out.find(shown), std::string::npos) << shown << run.out;
	EXPECT_EQ(run.out.find("F" + sep + "179" + sep), std::string::npos) << run.out;
	EXPECT_EQ(run.out.substr(run.out.find("\nMain track")),
	          "\nMain track 3: " + std::to_string(115 - lacking) + " set, 0 already right, " +
	                  std::to_string(lacking) + " skipped, 0 failed.\n");
}

#ifndef _WIN32
// Varnholt-open as a terminal window starts it, leading the terminal's
// session, waits at the end for one key, without Enter; on a terminal it
// does not lead, as from a shell, it returns at once. Past twenty
// recordings, a line on the terminal shows how far the setting has come.
TEST(Explorer, OpenWaitsForAKeyOnlyWhereTheWindowClosesWithIt)
{
	const std::string question_end = "(Enter alone or -1 writes nothing): ";
	const std::string press_any_key = "Press any key to close this window";
	for (const int recordings : {1, 130})
		for (const bool leader : {true, false}) {
			test::Scratch scratch;
			for (int i = 0; i < recordings; i++)
				scratch.put("a" + std::to_string(i) + ".kelv", test::recording(64));
			std::vector<std::pair<std::string, std::string>> typing = {
			        {question_end, "1\n"}};
			if (leader)
				typing.emplace_back(press_any_key, "x");
			test::Setup setup;
			setup.exe = test::open_tool();
			const auto run =
			        test::in_terminal({scratch.path().string()}, leader, typing, setup);
			const std::string where =
			        std::to_string(recordings) +
			        (leader ? " leading its session" : " from a shell");
			EXPECT_EQ(run.status, 0) << where;
			const std::string set =
			        std::to_string(recordings) + " set, 0 already right";
			EXPECT_NE(run.out.find(set), std::string::npos) << where << ": " << run.out;
			EXPECT_EQ(run.out.find("Setting main track 1: 128 of 130") !=
			                  std::string::npos,
			          recordings == 130)
			        << where << ": " << run.out;
			EXPECT_EQ(run.out.find(press_any_key) != std::string::npos, leader)
			        << where;
			// The key was read unechoed, and only once the window said so.
			EXPECT_EQ(run.out.substr(run.out.size() - 1), leader ? "w" : "\n") << where;
			auto expected = test::recording(64);
			expected[47] = 1;
			EXPECT_EQ(test::slurp(scratch.path() / "a0.kelv"), expected) << where;
		}
}
#endif
