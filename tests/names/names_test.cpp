#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "names/names.hpp"

// What print_name shows of a name.
static std::string shown(const std::string& name)
{
	std::FILE* out = std::tmpfile();
	varnholt::print_name(out, name.data(), name.size());
	std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
	std::rewind(out);
	const std::size_t got = std::fread(text.data(), 1, text.size(), out);
	std::fclose(out);
	return text.substr(0, got);
}

TEST(Names, WhatATerminalWouldActOnIsShownAsBytes)
{
	const std::pair<std::string, std::string> cases[] = {
	        {"CLIP0001.kelv", "CLIP0001.kelv"},
	        {"録音🎵 Ünïcode ~.kelv", "録音🎵 Ünïcode ~.kelv"},
	        {"\x1b[2J\x1b[H", "\\x1b[2J\\x1b[H"},
	        {"a\rb\nc\td\x07"
	         "e\x7f",
	         "a\\x0db\\x0ac\\x09d\\x07e\\x7f"},
	        {std::string("nul\0x", 5), "nul\\x00x"},
	        // C1 controls as UTF-8, and the first character past them.
	        {"\xc2\x80\xc2\x9b\xc2\x9f\xc2\xa0", "\\xc2\\x80\\xc2\\x9b\\xc2\\x9f\xc2\xa0"},
	        // Bytes that are not UTF-8: alone, overlong, surrogates, past
	        // U+10FFFF, cut short, and a character cut by the name's end.
	        {"\x9b\xff\xc0\xc1\xf5", "\\x9b\\xff\\xc0\\xc1\\xf5"},
	        {"\xe0\x80\xaf\xf0\x8f\xbf\xbf", "\\xe0\\x80\\xaf\\xf0\\x8f\\xbf\\xbf"},
	        {"\xed\xa0\x80\xf4\x90\x80\x80", "\\xed\\xa0\\x80\\xf4\\x90\\x80\\x80"},
	        {"\xe2\x82(\xe2\x82\xc0", "\\xe2\\x82(\\xe2\\x82\\xc0"},
	        {"\xf0\x9f\x8e", "\\xf0\\x9f\\x8e"},
	        // The highest of each length, which stay as they are.
	        {"\xdf\xbf\xef\xbf\xbf\xf4\x8f\xbf\xbf", "\xdf\xbf\xef\xbf\xbf\xf4\x8f\xbf\xbf"},
	        {"", ""},
	};
	for (const auto& [name, text] : cases)
		EXPECT_EQ(shown(name), text) << name;
}
