#include <gtest/gtest.h>

#include "cli/parse.hpp"

using varnholt::parse_track_num;

TEST(ParseTrackNum, ReadsLikeAtoiWithinASignedByte)
{
	const std::pair<const char*, int> cases[] = {
	        {"0", 0},
	        {"2", 2},
	        {"-1", -1},
	        {"127", 127},
	        {"-128", -128},
	        {"abc", 0},
	        {"", 0},
	        {" 2", 2},
	        {"\t\n\v\f\r 2", 2},
	        {"+2", 2},
	        {"2a", 2},
	        {"+-3", 0},
	        {"-+3", 0},
	        {"- 3", 0},
	        {"-", 0},
	        {"0042", 42},
	        {"-0", 0},
	        {"12 34", 12},
	        {"1e2", 1},
	        {"\xA0"
	         "5",
	         0},
	        {"000000000000000000000007", 7},
	};
	for (const auto& [text, value] : cases) {
		int track = 99;
		EXPECT_TRUE(parse_track_num(text, track)) << '"' << text << '"';
		EXPECT_EQ(track, value) << '"' << text << '"';
	}
}

TEST(ParseTrackNum, RefusesWhatTheByteCannotHoldWithoutWrapping)
{
	for (const char* text :
	     {"128", "-129", "255", "256", "1000", "-1000", "2147483647", "2147483648",
	      "-2147483649", "4294967295", "4294967296", "4294967297", "99999999999999999999999999",
	      " -99999999999999999999x"}) {
		int track = 99;
		EXPECT_FALSE(parse_track_num(text, track)) << text;
		EXPECT_EQ(track, 99) << text;
	}
}
