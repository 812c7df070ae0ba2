#include "cli/parse.hpp"

#include "header/header.hpp"

namespace varnholt {

static bool is_blank(char c)
{
	return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool parse_track_num(const char* text, int& track)
{
	// Past this the value is out of range whatever digits follow, so
	// stopping the growth here keeps long numbers from overflowing.
	constexpr long cap = 1000;

	while (is_blank(*text))
		text++;
	const bool negative = *text == '-';
	if (*text == '-' || *text == '+')
		text++;
	long value = 0;
	for (; *text >= '0' && *text <= '9'; text++)
		if (value < cap)
			value = value * 10 + (*text - '0');
	if (negative)
		value = -value;
	if (value < min_track || value > max_track)
		return false;
	track = static_cast<int>(value);
	return true;
}

} // namespace varnholt
