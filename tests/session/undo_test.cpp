// The undo record of a card session and Varnholt-open --undo: sessions and
// undos run inside the test process (and, where a system call must fail,
// as processes under strace), from records as sessions leave them and as
// they may be found.
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "platform/platform.hpp"
#include "support.hpp"

namespace {

namespace fs = std::filesystem;

// The session's and the undo's words where they vary from run to run: the
// time a session ran, and a record's name.
std::string steady(std::string text, const fs::path& records)
{
	text = std::regex_replace(text, std::regex("on \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"),
	                          "on <when>");
	// A record's path, the folder's with one separator and the record's name.
	const std::string folder = (records / "").u8string();
	for (auto at = text.find(folder); at != std::string::npos; at = text.find(folder, at + 1)) {
		const auto name = at + folder.size();
		const auto end = text.find(".record", name);
		if (end != std::string::npos && text.find_first_of("/\\", name) > end)
			text.replace(at, end + 7 - at, "<record>");
	}
	return text;
}

// The records in folder, of one ending, oldest first.
std::vector<fs::path> kept_records(const fs::path& folder, const std::string& ending)
{
	std::vector<fs::path> found;
	std::error_code none;
	for (const auto& entry : fs::directory_iterator(folder, none))
		if (entry.path().extension() == ending)
			found.push_back(entry.path());
	std::sort(found.begin(), found.end());
	return found;
}

// A record's lines, each with its line end.
std::vector<std::string> lines_of(const fs::path& record)
{
	std::vector<std::string> lines;
	std::string line;
	for (const unsigned char byte : test::slurp(record)) {
		line += static_cast<char>(byte);
		if (byte == '\n')
			lines.push_back(std::exchange(line, ""));
	}
	if (!line.empty())
		lines.push_back(line);
	return lines;
}

void write_lines(const fs::path& record, const std::vector<std::string>& lines)
{
	std::string text;
	for (const auto& line : lines)
		text += line;
	test::Scratch::put_at(record, test::Bytes(text.begin(), text.end()));
}

// Each line's hash made anew, as one who edits a record and knows its
// format would: FNV-1a of the file up to the line's tab.
void rehash(std::vector<std::string>& lines)
{
	std::uint64_t hash = 0xcbf29ce484222325ULL;
	for (auto& line : lines) {
		const std::string body = line.substr(0, line.rfind('\t')) + "\t";
		for (const char byte : body)
			hash = (hash ^ static_cast<unsigned char>(byte)) * 0x100000001b3ULL;
		char tag[20];
		std::snprintf(tag, sizeof tag, "%016llx\n", static_cast<unsigned long long>(hash));
		line = body + tag;
	}
}

test::Bytes with(test::Bytes bytes, int main)
{
	bytes.resize(std::max<std::size_t>(bytes.size(), 48));
	bytes[47] = static_cast<unsigned char>(main);
	return bytes;
}

std::string tally(int back, int already, int left, int failed)
{
	return "\nUndo: " + std::to_string(back) + " put back, " + std::to_string(already) +
	       " already as before, " + std::to_string(left) + " left, " + std::to_string(failed) +
	       " failed.\n";
}

std::string told(int recordings, int track = 1, const std::string& folders = "  @/\n")
{
	return "The last session, on <when>, set main track " + std::to_string(track) + " in " +
	       std::to_string(recordings) + (recordings == 1 ? " recording" : " recordings") +
	       ", in:\n" + folders;
}

const std::string asked = "Put back what it changed? y or n (Enter alone is n): ";

// The record folder below a state folder's base.
fs::path records_in(const fs::path& base)
{
#ifdef _WIN32
	return base / "Varnholt";
#else
	return base / "varnholt";
#endif
}

} // namespace

// Each row runs its steps in a scratch folder with a state folder of its
// own, then its last step, whose output, status and files are checked.
TEST(Undo, PutsBackWhatTheLastSessionChanged)
{
	struct File {
		std::string name;
		test::Bytes before, after; // after the last step; empty: not a file then
	};
	struct Step {
		std::vector<std::string> args; // "@/" the scratch folder
		std::string input = "";
		// POSIX: run once the session first reads its answer.
		std::function<void(const fs::path&)> at_question = {};
		bool in_scratch = false; // run there
		bool unprivileged = false;
		long file_limit = -1;
		std::size_t limit = 0;
		bool from_removed_folder = false; // POSIX: a working folder since removed
		bool from_root = false;           // run in the root folder, the paths from there
		bool removed_at_question = false; // POSIX: a working folder removed at the question
		// Windows: run in the scratch folder, "@/" paths from the drive's
		// root (\name) and "~" the drive (C:name, in its working folder).
		bool from_drive = false;
	};
	struct Case {
		const char* what;
		std::vector<File> files;
		std::vector<Step> before; // sessions or undos, run first
		// Run between those and the last step, on the scratch folder and the
		// record folder.
		std::function<void(const fs::path&, const fs::path&)> between;
		Step last;
		std::string out; // "@/" as above, "%/" the same in JSON, "<when>", "<record>"
		int status;
		bool undone = true; // no record left to undo afterwards
		std::string err = "";
		// The base of the state folder, made ready: the scratch folder's
		// "state" when none.
		std::function<fs::path(const fs::path&)> state = {};
	};
	const auto rec = test::recording(64), rec_1 = test::recording(64, 3, 1),
	           rec_3 = test::recording(64, 3, 0), short_rec = test::recording(44);
	const Step set_1 = {{"--track", "1", "--past-last", "@/a.kelv", "@/b.kelv", "@/s.kelv"}};
	const Step undo = {{"--undo"}, "y\n"};
	const std::vector<File> restored = {
	        {"a.kelv", rec, rec}, {"b.kelv", rec_1, rec_1}, {"s.kelv", short_rec, short_rec}};
	const std::vector<File> still_set = {{"a.kelv", rec, with(rec, 1)},
	                                     {"b.kelv", rec_1, rec_1},
	                                     {"s.kelv", short_rec, with(short_rec, 1)}};
	const std::string put_back = "@/a.kelv: put back to main track 0\n"
	                             "@/s.kelv: put back to its 44 bytes\n";
	auto edited = [](std::function<void(std::vector<std::string>&)> edit, bool again) {
		return [edit, again](const fs::path&, const fs::path& records) {
			const auto record = kept_records(records, ".record").at(0);
			auto lines = lines_of(record);
			edit(lines);
			if (again)
				rehash(lines);
			write_lines(record, lines);
		};
	};
	// A record damaged (again false) or edited with its hashes made anew:
	// refused at line, nothing written.
	auto refused = [&](const char* what, std::function<void(std::vector<std::string>&)> edit,
	                   int line, bool again = false, std::size_t limit = 0) {
		Step last = undo;
		last.limit = limit;
		return Case{what,
		            still_set,
		            {set_1},
		            edited(edit, again),
		            last,
		            "The undo record <record> can't be trusted: line " +
		                    std::to_string(line) +
		                    " is damaged, cut short or edited. Nothing was written.\n",
		            1,
		            false};
	};
	auto body = [](std::size_t line, const std::string& text) {
		return [line, text](std::vector<std::string>& lines) {
			lines.at(line - 1) = text + "\tx\n";
		};
	};
	std::vector<File> folders;
	std::string folders_told, folders_back;
	std::vector<std::string> folders_set = {"-t", "1"};
	for (int i = 0; i < 12; i++) {
		const std::string folder = "f" + std::to_string(10 + i);
		folders.push_back({folder + "/a.kelv", rec, rec});
		folders_set.push_back("@/" + folder + "/a.kelv");
		folders_back += "@/" + folder + "/a.kelv: put back to main track 0\n";
		if (i < 10)
			folders_told += "  @/" + folder + "/\n";
	}
	folders_told += "  and 2 more folders\n";
	std::vector<File> many;
	std::vector<std::string> many_set = {"-t", "1"};
	for (int i = 0; i < 22; i++) {
		many.push_back({"n" + std::to_string(10 + i) + ".kelv", rec, rec});
		many_set.push_back("@/" + many.back().name);
	}
	// A path through a file, which Windows takes for one that is not there.
#ifdef _WIN32
	const std::string not_a_folder = "No such file or directory";
#else
	const std::string not_a_folder = "Not a directory";
#endif
	// clang-format off
	std::vector<Case> cases = {
		{"puts back, and cuts a grown recording back", restored, {set_1}, {}, undo,
		 told(2) + asked + "\n" + put_back + tally(2, 0, 0, 0), 0},
		{"Enter writes nothing", still_set, {set_1}, {}, {{"--undo"}, "\n"},
		 told(2) + asked + "\nNothing was written.\n", 0, false},
		{"a dry run", still_set, {set_1}, {}, {{"--undo", "--dry-run"}, "y\n"},
		 told(2) + "Put back what it changed, a dry run? y or n (Enter alone is n): \n"
		 "@/a.kelv: would be put back to main track 0\n"
		 "@/s.kelv: would be put back to its 44 bytes\n"
		 "\nUndo, a dry run: 2 would be put back, 0 already as before, 0 left, 0 failed. "
		 "Nothing was written.\n", 0, false},
		{"JSON, asking nothing", restored, {set_1}, {}, {{"-uj"}},
		 "{\"path\": \"%/a.kelv\", \"main\": 0, \"outcome\": \"put_back\"}\n"
		 "{\"path\": \"%/s.kelv\", \"main\": 0, \"outcome\": \"put_back\"}\n"
		 "{\"put_back\": 2, \"already\": 0, \"left\": 0, \"failed\": 0}\n", 0, true, told(2)},
		{"nothing to undo", {{"a.kelv", rec, rec}}, {}, {}, undo,
		 "No session to undo, so nothing was written.\n", 0},
		{"JSON, nothing to undo: the counts, all 0", {{"a.kelv", rec, rec}}, {}, {}, {{"-uj"}},
		 "{\"put_back\": 0, \"already\": 0, \"left\": 0, \"failed\": 0}\n", 0, true,
		 "No session to undo, so nothing was written.\n"},
		{"nothing to undo after an undo", restored, {set_1, undo}, {}, undo,
		 "No session to undo, so nothing was written.\n", 0},
		{"each undo goes back one session more", {{"a.kelv", rec, rec}},
		 {{{"-t", "1", "@/a.kelv"}}, {{"-t", "0", "@/a.kelv"}}, undo}, {}, undo,
		 told(1) + asked + "\n@/a.kelv: put back to main track 0\n" + tally(1, 0, 0, 0), 0},
		{"names given from the working folder", {{"a.kelv", rec, rec}},
		 {{{"-t", "1", "a.kelv"}, "", {}, true}}, {}, undo,
		 told(1) + asked + "\n@/a.kelv: put back to main track 0\n" + tally(1, 0, 0, 0), 0},
		{"names given from the root", {{"a.kelv", rec, rec}},
		 {{{"-t", "1", "@/a.kelv"}, "", {}, false, false, -1, 0, false, true}}, {}, undo,
		 told(1) + asked + "\n@/a.kelv: put back to main track 0\n" + tally(1, 0, 0, 0), 0},
		{"twelve folders", folders, {{folders_set}}, {}, undo,
		 told(12, 1, folders_told) + asked + "\n" + folders_back + tally(12, 0, 0, 0), 0},
		{"past twenty, only what is left is named", many, {{many_set}},
		 [](const fs::path& scratch, const fs::path&) {
			 fs::remove(scratch / "n31.kelv");
		 }, undo, told(22) + asked + "\n@/n31.kelv: left as it is (No such file or directory)\n" +
		 tally(21, 0, 1, 0), 1},
		{"changed since, gone, or no longer a recording",
		 {{"a.kelv", rec, with(rec, 5)}, {"c.kelv", rec, {}}, {"d.kelv", rec, {}},
		  {"e/x.kelv", rec, {}}, {"f.kelv", rec, {}}, {"g.kelv", short_rec, {}},
		  {"h.kelv", short_rec, {}}, {"n.kelv", rec, test::filler(64)}},
		 {{{"-pt", "1", "@/e/x.kelv", "@/a.kelv", "@/c.kelv", "@/d.kelv", "@/f.kelv", "@/g.kelv",
		    "@/h.kelv", "@/n.kelv"}}},
		 [](const fs::path& scratch, const fs::path&) {
			 test::Scratch::put_at(scratch / "a.kelv", with(test::recording(64), 5));
			 fs::remove(scratch / "c.kelv");
			 fs::remove(scratch / "d.kelv");
			 fs::create_directory(scratch / "d.kelv");
			 fs::remove_all(scratch / "e");
			 test::Scratch::put_at(scratch / "e", {});
			 test::Scratch::put_at(scratch / "f.kelv", {});
			 auto longer = with(test::recording(44), 1);
			 longer.resize(100, 7);
			 test::Scratch::put_at(scratch / "g.kelv", longer);
			 longer.resize(46); // its main-track byte gone again
			 test::Scratch::put_at(scratch / "h.kelv", longer);
			 test::Scratch::put_at(scratch / "n.kelv", test::filler(64));
		 }, undo,
		 told(8, 1, "  @/\n  @/e/\n") + asked +
		 "\n@/a.kelv: left as it is, changed since (main track 5)\n"
		 "@/c.kelv: left as it is (No such file or directory)\n"
		 "@/d.kelv: left as it is (not a regular file)\n"
		 "@/f.kelv: left as it is (empty file)\n"
		 "@/g.kelv: left as it is, changed since (main track 1)\n"
		 "@/h.kelv: left as it is, changed since (main track 0)\n"
		 "@/n.kelv: left as it is (not a kelvane recording)\n" +
		 "@/e/x.kelv: left as it is (" + not_a_folder + ")\n" + tally(0, 0, 8, 0), 1},
		{"a name with a % and a DEL in it", {{"100%\x7f.kelv", rec, rec}},
		 {{{"-t", "1", "@/100%\x7f.kelv"}}}, {}, undo,
		 told(1) + asked + "\n@/100%\\x7f.kelv: put back to main track 0\n" + tally(1, 0, 0, 0),
		 0},
		{"no home", {{"a.kelv", rec, rec}}, {}, {}, undo,
		 "No session to undo, so nothing was written.\n", 0, true, "",
		 [](const fs::path&) {
			 test::use_state_home(std::nullopt);
			 return fs::path();
		 }},
		{"the state folder under a file", {{"a.kelv", rec, rec}}, {}, {}, undo,
		 "The undo record can't be read (" +
#ifdef _WIN32
		 std::string("No such file or directory") +
#else
		 std::string("Not a directory") +
#endif
		 "), so nothing was written.\n", 1, true, "",
		 [](const fs::path& scratch) {
			 test::Scratch::put_at(scratch / "state", {});
			 test::use_state_home(scratch / "state");
			 return scratch / "state";
		 }},
		{"a record past the memory given", still_set, {set_1}, {},
		 {{"--undo"}, "y\n", {}, false, false, -1, 100},
		 "The undo record can't be read (Cannot allocate memory), so nothing was written.\n",
		 1, false},
		// Damaged, cut short or edited by hand: refused at the line.
		refused("a path edited", [](auto& lines) { lines[4][10] ^= 1; }, 5),
		refused("cut short in a line", [](auto& lines) { lines.back().resize(5); }, 7),
		refused("cut short at a line's end", [](auto& lines) { lines.pop_back(); }, 7),
		refused("a line taken out", [](auto& lines) { lines.erase(lines.begin() + 5); }, 6),
		refused("a line added", [](auto& lines) { lines.push_back("kept 0\t0123456789abcdef\n"); }, 8),
		refused("a hash edited", [](auto& lines) { lines[2][lines[2].size() - 2] ^= 1; }, 3),
		refused("a line without its hash", [](auto& lines) { lines[3] = "recordings 2\n"; }, 4),
		// Edited with the hashes made anew: each line must still make sense.
		refused("another first line", body(1, "Varnholt undo record 2"), 1, true),
		refused("no time", body(2, "started"), 2, true),
		refused("a time that is no number", body(2, "started x"), 2, true),
		refused("a time past any", body(2, "started 99999999999999999999"), 2, true),
		refused("a time past the year 3000", body(2, "started 32503680000"), 2, true),
		refused("more after the time", body(2, "started 1 2"), 2, true),
		refused("a track no byte holds", body(3, "track 128"), 3, true),
		refused("a sign alone", body(3, "track -"), 3, true),
		refused("a track with letters after", body(3, "track 1x"), 3, true),
		refused("a track below any byte", body(3, "track -129"), 3, true),
		refused("more after the track", body(3, "track 1 2"), 3, true),
		refused("no count of changes", body(4, "records 2"), 4, true),
		refused("more after the count", body(4, "recordings 2 2"), 4, true),
		refused("a size that is no number", body(5, "set 0 x /a"), 5, true),
		refused("no track", body(3, "tracks 1"), 3, true),
		refused("a count that is no number", body(4, "recordings x"), 4, true),
		refused("a change found otherwise, with no number", [](auto& lines) {
			lines.push_back("as 0 x 48\t\n"); }, 8, true),
		refused("more changes than lines", body(4, "recordings 3"), 7, true),
		refused("more changes than memory", body(4, "recordings 100000"), 4, true, 70000),
		refused("a change of another word", body(5, "sat 0 64 /a"), 5, true),
		refused("a change without a path", body(5, "set 0 48 "), 5, true),
		refused("a size past 48", body(5, "set 0 49 /a"), 5, true),
		refused("a main track that is no number", body(5, "set x 48 /a"), 5, true),
		refused("a path cut short in an escape", body(5, "set 0 48 /a%4"), 5, true),
		refused("an escape that is no number", body(5, "set 0 48 /a%G1"), 5, true),
		refused("an escape in lower case", body(5, "set 0 48 /a%4a"), 5, true),
		refused("an escape of a 0 byte", body(5, "set 0 48 /a%00"), 5, true),
		refused("no end", body(7, "ended"), 7, true),
		refused("an amendment of another word", [](auto& lines) {
			lines.push_back("was 0\t\n"); }, 8, true),
		refused("an amendment of a change there is not", [](auto& lines) {
			lines.push_back("kept 2\t\n"); }, 8, true),
		refused("a kept change with more", [](auto& lines) {
			lines.push_back("kept 0 1\t\n"); }, 8, true),
		refused("a change found otherwise, cut short", [](auto& lines) {
			lines.push_back("as 0 1\t\n"); }, 8, true),
		refused("a change found otherwise, and more", [](auto& lines) {
			lines.push_back("as 0 1 48 1\t\n"); }, 8, true),
		refused("a change added without a path", [](auto& lines) {
			lines.push_back("add 0 48 \t\n"); }, 8, true),
		{"a change added, edited in", {{"a.kelv", rec, rec}, {"b.kelv", rec, rec}},
		 {{{"-t", "1", "@/a.kelv"}}},
		 [](const fs::path& scratch, const fs::path& records) {
			 test::Scratch::put_at(scratch / "b.kelv", with(test::recording(64), 1));
			 const auto record = kept_records(records, ".record").at(0);
			 auto lines = lines_of(record);
			 lines.push_back("add 0 48 " + (scratch / "b.kelv").u8string() + "\t\n");
			 rehash(lines);
			 write_lines(record, lines);
		 }, undo, told(2) + asked + "\n@/a.kelv: put back to main track 0\n"
		 "@/b.kelv: put back to main track 0\n" + tally(2, 0, 0, 0), 0},
	};
	// clang-format on
#ifdef _WIN32
	// Names as Windows takes them from the working folder: from the drive's
	// root (\name), and in the drive's working folder (C:name); the undo runs
	// elsewhere.
	for (const char* given : {"@/a.kelv", "~a.kelv"}) {
		Step session{{"-t", "1", given}};
		session.from_drive = true;
		cases.push_back({given[0] == '@' ? "names from the drive's root"
		                                 : "names in the drive's working folder",
		                 {{"a.kelv", rec, rec}},
		                 {session},
		                 {},
		                 undo,
		                 told(1) + asked + "\n@/a.kelv: put back to main track 0\n" +
		                         tally(1, 0, 0, 0),
		                 0});
	}
#endif
#ifndef _WIN32
	// A file found changed between the plan and the answer is recorded as
	// found: put back as it was then, or not at all where it needed no
	// change (b), or added where the plan needed none (c).
	auto changed_meanwhile = [](const fs::path& scratch) {
		test::Scratch::put_at(scratch / "a.kelv", with(test::recording(64, 3, 0), 2));
		test::Scratch::put_at(scratch / "b.kelv", with(test::recording(64), 1));
		test::Scratch::put_at(scratch / "c.kelv", with(test::recording(64, 3, 1), 0));
		auto longer = test::recording(44);
		longer.resize(46, 9);
		test::Scratch::put_at(scratch / "s.kelv", longer);
	};
	auto s_46 = test::recording(44);
	s_46.resize(46, 9);
	cases.push_back(
	        {"files changed before the answer",
	         {{"a.kelv", rec_3, with(rec_3, 2)},
	          {"b.kelv", rec, with(rec, 1)},
	          {"c.kelv", rec_1, with(rec_1, 0)},
	          {"s.kelv", short_rec, s_46}},
	         {{{"@/a.kelv", "@/b.kelv", "@/c.kelv", "@/s.kelv"}, "1\ny\n", changed_meanwhile}},
	         {},
	         undo,
	         told(3) + asked +
	                 "\n@/a.kelv: put back to main track 2\n"
	                 "@/c.kelv: put back to main track 0\n"
	                 "@/s.kelv: put back to its 46 bytes\n" +
	                 tally(3, 0, 0, 0),
	         0});
	// Names that are links or FIFOs now are left; a recording that cannot be
	// written fails, and its record stays for another try.
	cases.push_back({"a FIFO and a link now",
	                 {{"a.kelv", rec, with(rec, 1)}, {"c.kelv", rec, {}}, {"d.kelv", rec, {}}},
	                 {{{"-t", "1", "@/c.kelv", "@/d.kelv"}}},
	                 [](const fs::path& scratch, const fs::path&) {
		                 fs::remove(scratch / "c.kelv");
		                 mkfifo((scratch / "c.kelv").c_str(), 0644);
		                 fs::remove(scratch / "d.kelv");
		                 test::Scratch::put_at(scratch / "a.kelv",
		                                       with(test::recording(64), 1));
		                 fs::create_symlink(scratch / "a.kelv", scratch / "d.kelv");
	                 },
	                 undo,
	                 told(2) + asked +
	                         "\n@/c.kelv: left as it is (not a regular file)\n"
	                         "@/d.kelv: left as it is (not a regular file)\n" +
	                         tally(0, 0, 2, 0),
	                 1});
	const Step unprivileged_undo = {{"--undo"}, "y\n", {}, false, true};
	cases.push_back({"a recording that can't be written",
	                 {{"a.kelv", rec, rec}, {"b.kelv", rec, with(rec, 1)}},
	                 {{{"-t", "1", "@/a.kelv", "@/b.kelv"}}},
	                 [](const fs::path& scratch, const fs::path&) {
		                 chmod((scratch / "b.kelv").c_str(), 0444);
	                 },
	                 unprivileged_undo,
	                 told(2) + asked +
	                         "\n@/a.kelv: put back to main track 0\n"
	                         "@/b.kelv: can't be put back (Permission denied)\n" +
	                         tally(1, 0, 0, 1),
	                 1,
	                 false});
	cases.push_back(
	        {"JSON: left and failed",
	         {{"a.kelv", rec, with(rec, 5)},
	          {"b.kelv", rec, with(rec, 1)},
	          {"e.kelv", rec, {}},
	          {"n.kelv", rec, test::filler(64)}},
	         {{{"-t", "1", "@/a.kelv", "@/b.kelv", "@/e.kelv", "@/n.kelv"}}},
	         [](const fs::path& scratch, const fs::path&) {
		         test::Scratch::put_at(scratch / "a.kelv", with(test::recording(64), 5));
		         chmod((scratch / "b.kelv").c_str(), 0444);
		         test::Scratch::put_at(scratch / "e.kelv", {});
		         test::Scratch::put_at(scratch / "n.kelv", test::filler(64));
	         },
	         {{"--undo", "--json"}, "", {}, false, true},
	         "{\"path\": \"%/a.kelv\", \"main\": 0, \"outcome\": \"left\", \"error\": "
	         "\"changed since\"}\n"
	         "{\"path\": \"%/b.kelv\", \"main\": 0, \"outcome\": \"failed\", \"error\": "
	         "\"Permission denied\"}\n"
	         "{\"path\": \"%/e.kelv\", \"main\": 0, \"outcome\": \"left\", \"error\": "
	         "\"empty file\"}\n"
	         "{\"path\": \"%/n.kelv\", \"main\": 0, \"outcome\": \"left\", \"error\": "
	         "\"not a kelvane recording\"}\n"
	         "{\"put_back\": 0, \"already\": 0, \"left\": 3, \"failed\": 1}\n",
	         1,
	         false,
	         told(4)});
	cases.push_back({"a record that can't be read",
	                 still_set,
	                 {set_1},
	                 [](const fs::path&, const fs::path& records) {
		                 chmod(kept_records(records, ".record").at(0).c_str(), 0);
	                 },
	                 unprivileged_undo,
	                 "The undo record can't be read (Permission denied), so nothing was "
	                 "written.\n",
	                 1,
	                 false});
	cases.push_back(
	        {"a record that can't be marked undone",
	         restored,
	         {set_1},
	         [](const fs::path&, const fs::path& records) { chmod(records.c_str(), 0500); },
	         unprivileged_undo,
	         told(2) + asked + "\n" + put_back + tally(2, 0, 0, 0) +
	                 "The undo record could not be marked as undone (Permission "
	                 "denied).\n",
	         0,
	         false});
	// Where the record cannot be kept, the session says so and sets the card.
	// Said before the setting, or found as the record is sealed.
	auto no_record = [&](const std::string& why, bool late = false) {
		const std::string said = "This session can't be undone: " + why + "\n";
		return "@/a.kelv: 2 tracks, main track 0\n" + (late ? "\n" + said : said + "\n") +
		       "@/a.kelv: main track set to 1\n\n"
		       "Main track 1: 1 set, 0 already right, 0 skipped, 0 failed.\n";
	};
	const Step session_a = {{"-t", "1", "@/a.kelv"}, "", {}, false, true};
	// A state folder made with mode beforehand.
	auto in_mode = [](mode_t mode) {
		return [mode](const fs::path& scratch) {
			fs::create_directories(records_in(scratch / "state"));
			chmod(records_in(scratch / "state").c_str(), mode);
			test::use_state_home(scratch / "state");
			return scratch / "state";
		};
	};
	// A relative path is kept whole, from the working folder: where that is
	// gone by the answer, the record is given up before any write.
	Step from_gone = {{"../a.kelv", "../b.kelv"}, "1\n"};
	from_gone.removed_at_question = true;
	cases.push_back({"a working folder removed at the question",
	                 {{"a.kelv", rec, with(rec, 1)}, {"b.kelv", rec, with(rec, 1)}},
	                 {},
	                 {},
	                 from_gone,
	                 "../a.kelv: 2 tracks, main track 0\n../b.kelv: 2 tracks, main track 0\n\n"
	                 "The 2 recordings above all have tracks 0 or 1.\n"
	                 "New main track (Enter alone or -1 writes nothing): \n"
	                 "This session can't be undone: its record can't be written (No such "
	                 "file or directory).\n"
	                 "../a.kelv: main track set to 1\n../b.kelv: main track set to 1\n\n"
	                 "Main track 1: 2 set, 0 already right, 0 skipped, 0 failed.\n",
	                 0});
	// Or gone by the time a recording found changed since the plan needs a
	// change of its own: that one is not written.
	Step changed_from_gone = from_gone;
	changed_from_gone.at_question = [](const fs::path& scratch) {
		test::Scratch::put_at(scratch / "a.kelv", test::recording(64));
	};
	cases.push_back({"a working folder removed as a recording changed",
	                 {{"a.kelv", with(rec, 1), rec}, {"b.kelv", with(rec, 1), with(rec, 1)}},
	                 {},
	                 {},
	                 changed_from_gone,
	                 "../a.kelv: 2 tracks, main track 1\n../b.kelv: 2 tracks, main track 1\n\n"
	                 "The 2 recordings above all have tracks 0 or 1.\n"
	                 "New main track (Enter alone or -1 writes nothing): \n"
	                 "Can't write into file ../a.kelv (its change could not be kept in the "
	                 "undo record)\n../b.kelv: main track already 1\n\n"
	                 "Main track 1: 0 set, 1 already right, 0 skipped, 1 failed.\n",
	                 1});
	cases.push_back({"a state folder that can't be written",
	                 {{"a.kelv", rec, with(rec, 1)}},
	                 {},
	                 {},
	                 session_a,
	                 no_record("its record can't be written (Permission denied)."),
	                 0,
	                 true,
	                 "",
	                 in_mode(0500)});
	cases.push_back({"a state folder that can't be read",
	                 {{"a.kelv", rec, with(rec, 1)}},
	                 {},
	                 {},
	                 session_a,
	                 no_record("its record can't be written (Permission denied).", true),
	                 0,
	                 true,
	                 "",
	                 in_mode(0300)});
	cases.push_back({"a state folder's name too long",
	                 {{"a.kelv", rec, with(rec, 1)}},
	                 {},
	                 {},
	                 session_a,
	                 no_record("its record can't be written (File name too long)."),
	                 0,
	                 true,
	                 "",
	                 [](const fs::path& scratch) {
		                 test::use_state_home(scratch / std::string(5000, 's'));
		                 return scratch / "state";
	                 }});
	cases.push_back({"a working folder since removed",
	                 {{"a.kelv", rec, with(rec, 1)}},
	                 {},
	                 {},
	                 {{"-t", "1", "@/a.kelv"}, "", {}, false, false, -1, 0, true},
	                 no_record("its record can't be written (No such file or directory)."),
	                 0});
	std::vector<File> hundred;
	std::vector<std::string> hundred_set = {"-t", "1"};
	for (int i = 0; i < 100; i++) {
		hundred.push_back({"a recording with a name long enough to fill " +
		                           std::to_string(100 + i) + ".kelv",
		                   rec, with(rec, 1)});
		hundred_set.push_back("@/" + hundred.back().name);
	}
	cases.push_back(
	        {"a record past the file-size limit",
	         hundred,
	         {},
	         {},
	         {hundred_set, "", {}, false, false, 2000},
	         "Recordings by folder:\n   100 in @/\nRecordings by layout:\n"
	         "   100 with 2 tracks, main track 0\n"
	         "This session can't be undone: its record can't be written (File too "
	         "large).\n\nMain track 1: 100 set, 0 already right, 0 skipped, 0 failed.\n",
	         0});
	cases.push_back({"a record that can't be begun",
	                 {{"a.kelv", rec, rec}},
	                 {},
	                 {},
	                 {{"-t", "1", "@/a.kelv"}, "", {}, false, false, 20},
	                 "@/a.kelv: 2 tracks, main track 0\nThis session can't be undone: its "
	                 "record can't be written (File too large).\n\nCan't write into file "
	                 "@/a.kelv (File too large)\n\nMain track 1: 0 set, 0 already right, 0 "
	                 "skipped, 1 failed.\n",
	                 1});
	// XDG_STATE_HOME must name a place from the root: else ~/.local/state.
	cases.push_back(
	        {"a relative XDG_STATE_HOME",
	         {{"a.kelv", rec, rec}},
	         {{{"-t", "1", "@/a.kelv"}}},
	         {},
	         undo,
	         told(1) + asked + "\n@/a.kelv: put back to main track 0\n" + tally(1, 0, 0, 0),
	         0,
	         true,
	         "",
	         [](const fs::path& scratch) {
		         test::use_state_home(std::nullopt);
		         test::set_variable("XDG_STATE_HOME", "state");
		         test::set_variable("HOME", (scratch / "home").string());
		         return scratch / "home" / ".local" / "state";
	         }});
	cases.push_back({"a relative HOME",
	                 {{"a.kelv", rec, rec}},
	                 {},
	                 {},
	                 undo,
	                 "No session to undo, so nothing was written.\n",
	                 0,
	                 true,
	                 "",
	                 [](const fs::path&) {
		                 test::use_state_home(std::nullopt);
		                 test::set_variable("HOME", "home");
		                 return fs::path();
	                 }});
#endif
	for (const auto& c : cases) {
		test::Scratch scratch;
		const test::KeepStateHome keep;
		fs::path base = scratch.path() / "state";
		if (c.state)
			base = c.state(scratch.path());
		else
			test::use_state_home(base);
		const auto records = records_in(base);
		for (const auto& file : c.files) {
			fs::create_directories((scratch.path() / file.name).parent_path());
			scratch.put(file.name, file.before);
		}
		const std::string folder = (scratch.path() / "").u8string();
		auto subst = [&](std::string text) {
			for (auto at = text.find("@/"); at != std::string::npos;
			     at = text.find("@/"))
				text.replace(at, 2, folder);
			std::string json = folder;
			for (auto j = json.find('\\'); j != std::string::npos;
			     j = json.find('\\', j + 2))
				json.insert(j, "\\");
			for (auto at = text.find("%/"); at != std::string::npos;
			     at = text.find("%/"))
				text.replace(at, 2, json);
			return text;
		};
		auto run = [&](const Step& step) {
			std::vector<std::string> args;
			const std::size_t root = scratch.path().root_path().u8string().size();
			const std::string drive = scratch.path().root_name().u8string();
			for (const auto& arg : step.args) {
				std::string given = subst(arg);
				if (step.from_root && arg[0] == '@')
					given = given.substr(root);
				if (step.from_drive && arg[0] == '@')
					given = given.substr(drive.size());
				if (step.from_drive && arg[0] == '~')
					given = drive + given.substr(1);
				args.push_back(given);
			}
			test::Here here;
			here.session = varnholt::Started::open_from_shell;
			here.input = step.input;
			here.unprivileged = step.unprivileged;
			here.file_limit = step.file_limit;
			here.room = step.limit;
			if (step.at_question || step.removed_at_question)
				here.at_question = [&] {
					if (step.at_question)
						step.at_question(scratch.path());
					if (step.removed_at_question)
						fs::remove(scratch.path() / "gone");
				};
			const auto before = fs::current_path();
			if (step.in_scratch || step.from_drive)
				fs::current_path(scratch.path());
			if (step.from_root)
				fs::current_path(scratch.path().root_path());
#ifndef _WIN32
			if (step.from_removed_folder || step.removed_at_question) {
				fs::create_directory(scratch.path() / "gone");
				fs::current_path(scratch.path() / "gone");
			}
			if (step.from_removed_folder)
				fs::remove(scratch.path() / "gone");
#endif
			const auto outcome = test::run_here(args, here);
			fs::current_path(before);
			return outcome;
		};
		for (const auto& step : c.before)
			run(step);
		if (c.between)
			c.between(scratch.path(), records);
		const auto last = run(c.last);
		EXPECT_EQ(steady(last.out, records), subst(c.out)) << c.what;
		EXPECT_EQ(steady(last.err, records), subst(c.err)) << c.what;
		EXPECT_EQ(last.status, c.status) << c.what;
		EXPECT_EQ(kept_records(records, ".record").empty(), c.undone) << c.what;
		for (const auto& file : c.files) {
			const auto path = scratch.path() / file.name;
			if (fs::is_regular_file(fs::symlink_status(path)) && !file.after.empty()) {
				EXPECT_EQ(test::slurp(path), file.after)
				        << c.what << ": " << file.name;
			}
		}
#ifndef _WIN32
		chmod(records.c_str(), 0700); // for the scratch folder's removal
#endif
	}
}
// The state folder keeps the last twenty records, and removes a record of
// a session cut off at its question once it is a day old; a newer one may be
// a session asking now.
TEST(Undo, KeepsTheLastTwentyRecords)
{
	test::Scratch scratch;
	const test::KeepStateHome keep;
	test::use_state_home(scratch.path() / "state");
	std::filesystem::create_directories(test::records());
	const auto old_part = test::records() / "000000000001.000000000-1.part";
	const auto new_part = test::records() / "999999999999.000000000-1.part";
	const auto stray = test::records() / "x";
	test::Scratch::put_at(old_part, {});
	test::Scratch::put_at(new_part, {});
	test::Scratch::put_at(stray, {});
	const auto file = scratch.put("a.kelv", test::recording(64));
	test::Here here;
	here.session = varnholt::Started::open_from_shell;
	// One of them undone, which counts among those kept.
	for (int i = 0; i < 23; i++) {
		here.input = i == 11 ? "y\n" : "";
		test::run_here(i == 11 ? std::vector<std::string>{"--undo"}
		                       : std::vector<std::string>{"-t", std::to_string(1 - i % 2),
		                                                  file.string()},
		               here);
	}
	EXPECT_EQ(kept_records(test::records(), ".record").size(), 19U);
	EXPECT_EQ(kept_records(test::records(), ".undone").size(), 1U);
	EXPECT_FALSE(std::filesystem::exists(old_part));
	EXPECT_TRUE(std::filesystem::exists(new_part));
	EXPECT_TRUE(std::filesystem::exists(stray));
	// The newest is the last session's.
	here.input = "y\n";
	const auto undone = test::run_here({"--undo"}, here);
	EXPECT_NE(undone.out.find("set main track 1 in 1 recording"), std::string::npos)
	        << undone.out;
	EXPECT_EQ(test::slurp(file), test::recording(64));
}

#ifndef _WIN32
// Two sessions asking at once each keep a record of their own, and each
// undo puts back one of them.
TEST(Undo, SessionsAtOnceKeepARecordEach)
{
	test::Scratch scratch;
	const test::KeepStateHome keep;
	test::use_state_home(scratch.path() / "state");
	const auto a = scratch.put("a.kelv", test::recording(64));
	const auto b = scratch.put("b.kelv", test::recording(64));
	std::atomic<int> asking{0};
	auto session = [&](const std::filesystem::path& file) {
		test::Here here;
		here.session = varnholt::Started::open_from_shell;
		here.input = "1\n";
		// Each answers only once both ask.
		here.at_question = [&] {
			asking++;
			for (int i = 0; i < 2000 && asking < 2; i++)
				std::this_thread::sleep_for(std::chrono::milliseconds(5));
		};
		return test::run_here({file.string()}, here);
	};
	std::thread first([&] { session(a); });
	std::thread second([&] { session(b); });
	first.join();
	second.join();
	EXPECT_EQ(asking, 2);
	EXPECT_EQ(kept_records(test::records(), ".record").size(), 2U);
	EXPECT_EQ(test::slurp(a)[47], 1);
	EXPECT_EQ(test::slurp(b)[47], 1);
	test::Here here;
	here.session = varnholt::Started::open_from_shell;
	here.input = "y\n";
	for (int undo = 0; undo < 2; undo++)
		EXPECT_EQ(test::run_here({"--undo"}, here).status, 0);
	EXPECT_EQ(test::slurp(a), test::recording(64));
	EXPECT_EQ(test::slurp(b), test::recording(64));
}

// A session killed after two of its writes: its record was durable before
// the first, and the undo puts back exactly those two, finding the others
// as they were.
TEST(Undo, UndoAfterASessionKilledMidwayPutsBackWhatItWrote)
{
	if (std::system("strace -V >/dev/null 2>&1") != 0)
		GTEST_SKIP() << "needs strace to stop the session at a write";
	test::Scratch scratch;
	const test::KeepStateHome keep;
	test::use_state_home(scratch.path() / "state");
	std::vector<std::filesystem::path> files;
	for (int i = 0; i < 5; i++)
		files.push_back(
		        scratch.put("a" + std::to_string(i) + ".kelv", test::recording(64)));
	test::Setup setup;
	setup.exe = test::open_tool();
	setup.wrapper = {"strace",    "-f", "-o",
	                 "/dev/null", "-e", "inject=pwrite64:signal=SIGKILL:when=3"};
	setup.environment = {"XDG_STATE_HOME=" + (scratch.path() / "state").string()};
	const auto killed = test::run_tool({"--track", "1", scratch.path().string()}, setup);
	EXPECT_EQ(killed.status, 128 + SIGKILL) << killed.out << killed.err;
	for (std::size_t i = 0; i < files.size(); i++)
		EXPECT_EQ(test::slurp(files[i])[47], i < 2 ? 1 : 0) << files[i];
	test::Here here;
	here.session = varnholt::Started::open_from_shell;
	here.input = "y\n";
	const auto undone = test::run_here({"--undo"}, here);
	EXPECT_EQ(undone.status, 0);
	EXPECT_NE(undone.out.find("set main track 1 in 5 recordings"), std::string::npos)
	        << undone.out;
	EXPECT_NE(undone.out.find("\nUndo: 2 put back, 3 already as before, 0 left, 0 failed.\n"),
	          std::string::npos)
	        << undone.out;
	for (const auto& file : files)
		EXPECT_EQ(test::slurp(file), test::recording(64)) << file;
}
#endif

#ifndef _WIN32
// Where a system call fails: the record's sync, its rename, the folder's
// sync; the undo's cut, write and read. Each a process under strace, the
// call made to fail, with what it then says and leaves.
TEST(Undo, WhereASystemCallFails)
{
	if (std::system("strace -V >/dev/null 2>&1") != 0)
		GTEST_SKIP() << "needs strace to make a system call fail";
	struct Case {
		const char* what;
		bool undo;          // the undo fails, after a session that did not
		std::string inject; // strace's -e inject=
		std::string only;   // only on this file (-P): "record", or a recording's name
		std::string said;   // in what it printed, up to the reason (the C library's words)
		int status;
		bool recorded; // a record to undo is left
		int a_after, s_after_size;
	};
	const std::string no_record = "This session can't be undone: its record can't be written (";
	// clang-format off
	const Case cases[] = {
		{"the record's sync fails", false, "fsync:error=EIO:when=1", "",
		 no_record, 0, false, 1, 48},
		{"its folder's sync fails", false, "fsync:error=EIO:when=2", "",
		 no_record, 0, false, 1, 48},
		{"its folder cannot be synced, as some file systems say", false,
		 "fsync:error=EINVAL:when=2", "", "\nMain track 1: 2 set", 0, true, 1, 48},
		{"its rename fails", false, "rename,renameat,renameat2:error=EXDEV", "",
		 no_record, 0, false, 1, 48},
		{"the cut fails", true, "ftruncate:error=EIO", "",
		 "s.kelv\", \"main\": 0, \"outcome\": \"failed\", \"error\": \"",
		 1, true, 0, 48},
		{"the close after the cut fails", true, "close:error=EIO", "s.kelv",
		 "s.kelv\", \"main\": 0, \"outcome\": \"failed\", \"error\": \"",
		 1, true, 0, 44},
		{"the write fails", true, "pwrite64:error=EIO", "",
		 "a.kelv\", \"main\": 0, \"outcome\": \"failed\", \"error\": \"",
		 1, true, 1, 44},
		{"the record cannot be read", true, "read,readv:error=EIO", "record",
		 "The undo record can't be read (", 1,
		 true, 1, 48},
	};
	// clang-format on
	for (const auto& c : cases) {
		test::Scratch scratch;
		const test::KeepStateHome keep;
		test::use_state_home(scratch.path() / "state");
		const auto a = scratch.put("a.kelv", test::recording(64));
		const auto s = scratch.put("s.kelv", test::recording(44));
		const std::vector<std::string> set = {"-pt", "1", a.string(), s.string()};
		test::Here here;
		here.session = varnholt::Started::open_from_shell;
		if (c.undo)
			test::run_here(set, here);
		test::Setup setup;
		setup.exe = test::open_tool();
		setup.wrapper = {"strace", "-f", "-o", "/dev/null"};
		if (!c.only.empty()) {
			setup.wrapper.push_back("-P");
			setup.wrapper.push_back(
			        c.only == "record"
			                ? kept_records(test::records(), ".record").at(0).string()
			                : (scratch.path() / c.only).string());
		}
		setup.wrapper.push_back("-e");
		setup.wrapper.push_back("inject=" + c.inject);
		setup.environment = {"XDG_STATE_HOME=" + (scratch.path() / "state").string()};
		const auto run = c.undo ? test::run_tool({"--undo", "--json"}, setup)
		                        : test::run_tool(set, setup);
		const std::string said = c.undo ? run.err + run.out : run.out;
		EXPECT_NE(said.find(c.said), std::string::npos) << c.what << ": " << said;
		EXPECT_EQ(run.status, c.status) << c.what;
		EXPECT_EQ(kept_records(test::records(), ".record").empty(), !c.recorded) << c.what;
		EXPECT_EQ(test::slurp(a)[47], c.a_after) << c.what;
		EXPECT_EQ(test::slurp(s).size(), static_cast<std::size_t>(c.s_after_size))
		        << c.what;
	}
}

// A recording found changed at the setting whose change cannot be kept in
// the record first is not written: the record would put back what it did
// not hold.
TEST(Undo, AChangeThatCannotBeRecordedIsNotMade)
{
	if (std::system("strace -V >/dev/null 2>&1") != 0)
		GTEST_SKIP() << "needs strace to make a system call fail";
	test::Scratch scratch;
	const test::KeepStateHome keep;
	test::use_state_home(scratch.path() / "state");
	const auto a = scratch.put("a.kelv", test::recording(64, 3, 0));
	const auto b = scratch.put("b.kelv", test::recording(64));
	test::Setup setup;
	setup.exe = test::open_tool();
	// The record's sync and its folder's, then the amendment's.
	setup.wrapper = {"strace", "-f", "-o", "/dev/null", "-e", "inject=fsync:error=EIO:when=3"};
	setup.meanwhile = [&] { test::Scratch::put_at(a, with(test::recording(64, 3, 0), 2)); };
	const auto run = test::in_terminal({a.string(), b.string()}, false,
	                                   {{"writes nothing): ", "1\n"}}, setup);
	EXPECT_NE(run.out.find("Can't write into file " + a.string() +
	                       " (its change could not be kept in the undo record)\n"),
	          std::string::npos)
	        << run.out;
	EXPECT_EQ(run.status, 1);
	EXPECT_EQ(test::slurp(a)[47], 2);
	EXPECT_EQ(test::slurp(b)[47], 1);
}
#endif

// A path too long for its room is refused, never kept cut short.
TEST(Undo, APathPastItsRoomIsRefused)
{
	char whole[8];
	for (const char* path : {"a-long-name.kelv", "/a-long-name.kelv"}) {
		errno = 0;
		EXPECT_FALSE(varnholt::whole_path(path, whole, sizeof whole)) << path;
		EXPECT_EQ(errno, ENAMETOOLONG) << path;
	}
}
