// One argument of a Windows command line, quoted as the C runtime's
// argument parser undoes it, for the tests and their launcher alike.
#pragma once

#include <string>

namespace test {

template <class Char> std::basic_string<Char> quoted(const std::basic_string<Char>& arg)
{
	const Char quote = '"';
	const Char slash = '\\';
	std::basic_string<Char> text(1, quote);
	std::size_t slashes = 0;
	for (const Char c : arg) {
		if (c == slash) {
			slashes++;
			continue;
		}
		text.append(c == quote ? slashes * 2 + 1 : slashes, slash);
		slashes = 0;
		text += c;
	}
	text.append(slashes * 2, slash);
	return text + quote;
}

} // namespace test
