#include <gtest/gtest.h>

#include "session/tracks.hpp"

using varnholt::Change;

TEST(Tracks, WhatAnAnswerDoesToARecording)
{
	struct Case {
		int count, main, track;
		Change change;
	};
	const Case cases[] = {
	        {2, 0, -1, Change::none},      {2, 0, 1, Change::set},
	        {2, 0, 0, Change::already},    {2, 0, 2, Change::past_last},
	        {2, 0, -5, Change::past_last}, {2, 0, -128, Change::past_last},
	        {0, 0, 0, Change::already},    {0, 3, 0, Change::past_last},
	        {-1, 0, 5, Change::past_last}, {1, 7, 7, Change::already},
	        {127, 0, 126, Change::set},    {127, 0, 127, Change::past_last},
	        {2, -1, -1, Change::none},
	};
	for (const auto& c : cases)
		EXPECT_EQ(varnholt::change_for(c.count, c.main, c.track), c.change)
		        << c.count << " tracks, main " << c.main << ", answer " << c.track;
}

// A change from main track 0 to 1, of a recording of 64 bytes (the page
// gives the bytes it read, up to 512; the record up to 48) or of one of 20
// that it grew to 48, found again.
TEST(Tracks, WhatAnUndoDoesToARecording)
{
	struct Case {
		std::size_t size;
		int now;
		std::size_t length;
		Change change;
	};
	const Case cases[] = {
	        {64, 1, 64, Change::set},      {64, 0, 64, Change::already},
	        {64, 2, 64, Change::none},     {64, 1, 512, Change::set},
	        {20, 1, 48, Change::set},      {20, 0, 20, Change::already},
	        {20, 1, 64, Change::none},     {20, 0, 48, Change::none},
	        {48, 1, 100, Change::set},     {20, 1, 20, Change::none},
	        {512, 0, 48, Change::already}, {512, 1, 512, Change::set},
	        {64, 1, 20, Change::none},     {64, 0, 20, Change::none},
	};
	for (const auto& c : cases)
		EXPECT_EQ(varnholt::undo_for(0, c.size, 1, c.now, c.length), c.change)
		        << c.size << " bytes, now main track " << c.now << " in " << c.length;
}

TEST(Tracks, TheTracksEveryRecordingHas)
{
	const std::pair<int, const char*> cases[] = {
	        {-128, ""},        {-1, ""},           {0, ""},
	        {1, "0"},          {2, "0 or 1"},      {3, "0 to 2"},
	        {10, "0 to 9"},    {11, "0 to 10"},    {101, "0 to 100"},
	        {127, "0 to 126"}, {1000, "0 to 126"},
	};
	for (const auto& [count, text] : cases) {
		char named[varnholt::tracks_text_size] = "junk";
		varnholt::name_tracks(count, named, sizeof named);
		EXPECT_STREQ(named, text) << count;
	}
	// A smaller room keeps what fits, ended.
	char small[5] = "junk";
	varnholt::name_tracks(4, small, sizeof small);
	EXPECT_STREQ(small, "0 to");
	varnholt::name_tracks(4, small, 0);
	EXPECT_STREQ(small, "0 to");
}
