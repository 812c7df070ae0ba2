#include "session/ask.hpp"

#include <cctype>
#include <cstring>

#include "cli/parse.hpp"
#include "platform/platform.hpp"
#include "session/plan.hpp"
#include "session/tracks.hpp"

namespace varnholt {

constexpr int answer_size = 256;

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

bool ask_track(std::FILE* in, std::FILE* out, const Listing& listing, int& track)
{
	char tracks[tracks_text_size];
	name_tracks(listing.min_count, tracks, sizeof tracks);
	const bool one = listing.recordings == 1;
	char answer[answer_size];
	for (;;) {
		if (one)
			print(out, "\nNew main track for the recording above");
		else
			print(out, "\nNew main track for the %lu recordings above",
			      listing.recordings);
		if (tracks[0] != '\0')
			print(out, ", %s", tracks);
		else
			print(out, ", which %s", one ? "has no track" : "have no track in common");
		print(out, " (Enter alone or -1 writes nothing): ");
		if (!read_line(in, out, answer, answer_size) ||
		    answer[std::strspn(answer, " \t")] == '\0')
			return false;
		// An answer without a digit ("yes", "no") would read as track 0.
		if (std::strpbrk(answer, "0123456789") == nullptr)
			say(out, "Not a track number: ", answer, "\n");
		else if (!parse_track_num(answer, track))
			say(out, out_of_range_text, answer, "\n");
		else
			return track != no_track;
	}
}

bool ask_yes(std::FILE* in, std::FILE* out)
{
	char answer[answer_size];
	if (!read_line(in, out, answer, answer_size))
		return false;
	const char* word = answer + std::strspn(answer, " \t");
	std::size_t length = std::strlen(word);
	while (length > 0 && (word[length - 1] == ' ' || word[length - 1] == '\t'))
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
