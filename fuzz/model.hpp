// An independent model of the track-number rules, for the fuzz targets to
// check the tool against: the digits read as a wide number, then the range.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

namespace model {

struct Track {
	bool in_range;
	long long value;    // meaningful when in_range
	std::size_t digits; // significant digits read
};

inline Track parse(std::string_view text)
{
	std::size_t i = text.find_first_not_of(" \t\n\v\f\r");
	if (i == std::string_view::npos)
		return {true, 0, 0};
	bool negative = false;
	if (text[i] == '+' || text[i] == '-')
		negative = text[i++] == '-';
	const std::size_t start = i;
	while (i < text.size() && text[i] >= '0' && text[i] <= '9')
		i++;
	std::string digits(text.substr(start, i - start));
	digits.erase(0, digits.find_first_not_of('0'));
	if (digits.size() > 18)
		return {false, 0, digits.size()};
	long long value = digits.empty() ? 0 : std::stoll(digits);
	if (negative)
		value = -value;
	return {value >= -128 && value <= 127, value, digits.size()};
}

} // namespace model
