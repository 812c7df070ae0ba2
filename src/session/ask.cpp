#include "session/ask.hpp"

#include <cctype>
#include <cstring>

#include "cli/parse.hpp"
#include "platform/platform.hpp"
#include "session/plan.hpp"
#include "session/tracks.hpp"

namespace varnholt {

constexpr int answer_size = 256;
constexpr char blanks[] = " \t";

Answer read_answer(const char* text, int& track)
{
	const char* start = text + std::strspn(text, blanks);
	if (*start == '\0')
		return Answer::none;
	const bool sign = *start == '-' || *start == '+';
	const char* digits = sign ? start + 1 : start;
	const std::size_t count = std::strspn(digits, "0123456789");
	// Anything else ("yes", "x2", "2x") is no number: atoi would make it one.
	if (count == 0 || digits[count + std::strspn(digits + count, blanks)] != '\0')
		return Answer::not_a_number;
	return parse_track_num(start, track) ? Answer::number : Answer::out_of_range;
}

// One line of in, without its line end; the rest of a longer one is
// skipped. False at the end of the input.
static bool read_line(std::FILE* in, std::FILE* out, char* line, int size)
{
	std::fflush(out); // not every C library flushes it before reading in
	if (std::fgets(line, size, in) == nullptr)
		return false;
	if (std::strchr(line, '\n') == nullptr)
		for (int c = std::getc(in); c != '\n' && c != EOF; c = std::getc(in)) {
		}
	line[std::strcspn(line, "\r\n")] = '\0';
	return true;
}

// What the recordings above have in common, on a line of its own: the
// prompt after it fits 80 columns however many there are.
static void print_tracks(std::FILE* out, unsigned long recordings, int min_count)
{
	char tracks[tracks_text_size];
	name_tracks(min_count, tracks, sizeof tracks);
	const char* word = min_count == 1 ? "track" : "tracks";
	if (recordings == 1 && tracks[0] != '\0')
		print(out, "\nThe recording above has %s %s.", word, tracks);
	else if (recordings == 1)
		print(out, "\nThe recording above has no track.");
	else if (tracks[0] != '\0')
		print(out, "\nThe %lu recordings above all have %s %s.", recordings, word, tracks);
	else
		print(out, "\nThe %lu recordings above have no track in common.", recordings);
}

bool ask_track(std::FILE* in, std::FILE* out, unsigned long recordings, int min_count, int& track)
{
	char answer[answer_size];
	for (;;) {
		print_tracks(out, recordings, min_count);
		print(out, "\nNew main track (Enter alone or -1 writes nothing): ");
		if (!read_line(in, out, answer, answer_size))
			return false;
		const Answer read = read_answer(answer, track);
		if (read == Answer::none)
			return false;
		if (read == Answer::number)
			return track != no_track;
		say(out, read == Answer::not_a_number ? "Not a track number: " : out_of_range_text,
		    answer, "\n");
	}
}

bool ask_yes(std::FILE* in, std::FILE* out)
{
	char answer[answer_size];
	if (!read_line(in, out, answer, answer_size))
		return false;
	const char* word = answer + std::strspn(answer, blanks);
	std::size_t length = std::strlen(word);
	while (length > 0 && std::strchr(blanks, word[length - 1]) != nullptr)
		length--;
	static const char yes[] = "yes";
	if (length != 1 && length != 3)
		return false;
	for (std::size_t i = 0; i < length; i++)
		if (std::tolower(static_cast<unsigned char>(word[i])) != yes[i])
			return false;
	return true;
}

} // namespace varnholt
