#include "session/tracks.hpp"

#include <algorithm>

#include "cli/parse.hpp"
#include "header/header.hpp"

namespace varnholt {

Change change_for(int count, int main, int track)
{
	if (track == no_track)
		return Change::none;
	if (track == main)
		return Change::already;
	if (track < 0 || track >= count)
		return Change::past_last;
	return Change::set;
}

Change undo_for(int was, std::size_t size, int track, int now, std::size_t length)
{
	// A length from 48 up counts as 48, but where the change grew the file.
	const std::size_t before = size < rewrite_size ? size : rewrite_size;
	const std::size_t kept =
	        before < rewrite_size || length < rewrite_size ? length : rewrite_size;
	if (now == was && kept == before)
		return Change::already;
	if (now == track && kept == rewrite_size)
		return Change::set;
	return Change::none;
}

// By hand rather than with snprintf, which the web page's module, built
// without a C library's stdio, does not have.
static char* put(char* at, const char* end, const char* words)
{
	while (*words != '\0' && at < end)
		*at++ = *words++;
	return at;
}

void name_tracks(int min_count, char* text, std::size_t size)
{
	if (size == 0)
		return;
	char* at = text;
	const char* end = text + size - 1;
	if (min_count == 1) {
		at = put(at, end, "0");
	} else if (min_count == 2) {
		at = put(at, end, "0 or 1");
	} else if (min_count > 2) {
		char digits[4] = {};
		// A count is a signed byte: 126 is the highest track there can be.
		int last = std::min(min_count, max_track) - 1;
		int i = 3;
		do
			digits[--i] = static_cast<char>('0' + last % 10);
		while ((last /= 10) > 0);
		at = put(put(at, end, "0 to "), end, digits + i);
	}
	*at = '\0';
}

} // namespace varnholt
