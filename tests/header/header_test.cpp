#include "header/header.hpp"

#include <algorithm>

#include <gtest/gtest.h>

#include "support.hpp"

using namespace varnholt;

static Header header_from(const test::Bytes& bytes)
{
	Header header{};
	std::copy_n(bytes.begin(), std::min(bytes.size(), header.size()), header.begin());
	return header;
}

TEST(Header, MarkerIsExactlyKELVAtOffset38)
{
	struct Case {
		const char* text;
		std::size_t offset;
		std::size_t size; // bytes of the file; the rest of the buffer is zero
		bool found;
	} cases[] = {
	        {"KELV", 38, 512, true},  {"KELV", 38, 42, true},  {"kelv", 38, 512, false},
	        {"KELv", 38, 512, false}, {"KEL", 38, 512, false}, {"KELV", 37, 512, false},
	        {"KELV", 39, 512, false}, {"KELV", 0, 512, false}, {"KELV", 38, 41, false},
	        {"KELV", 38, 38, false},  {"", 38, 0, false},
	};
	for (const auto& c : cases) {
		test::Bytes bytes = test::filler(c.size);
		for (std::size_t i = 0; c.text[i] && c.offset + i < c.size; i++)
			bytes[c.offset + i] = static_cast<unsigned char>(c.text[i]);
		EXPECT_EQ(has_marker(header_from(bytes)), c.found)
		        << c.text << " at " << c.offset << " in " << c.size << " bytes";
	}
}

TEST(Header, TrackBytesReadAsSigned)
{
	const std::pair<unsigned char, int> cases[] = {{0x00, 0},    {0x02, 2},    {0x7F, 127},
	                                               {0x80, -128}, {0x81, -127}, {0xFF, -1}};
	for (const auto& [byte, value] : cases) {
		Header header{};
		header[track_count_offset] = byte;
		EXPECT_EQ(track_count(header), value) << int{byte};
		EXPECT_EQ(main_track(header), 0);
		header[main_track_offset] = byte;
		EXPECT_EQ(main_track(header), value) << int{byte};
	}
}

TEST(Header, SetMainTrackChangesByte47Only)
{
	const std::pair<int, unsigned char> cases[] = {
	        {-128, 0x80}, {-1, 0xFF}, {0, 0x00}, {1, 0x01}, {127, 0x7F}};
	for (const auto& [track, byte] : cases) {
		const Header before = header_from(test::recording(512, 2, 5));
		Header after = before;
		set_main_track(after, track);
		EXPECT_EQ(after[main_track_offset], byte) << track;
		EXPECT_EQ(main_track(after), track);
		after[main_track_offset] = before[main_track_offset];
		EXPECT_EQ(after, before) << track;
	}
}

TEST(Header, ReadFillsWithZeroAndWriteStopsAt48)
{
	test::Scratch scratch;
	for (const std::size_t size : {0u, 1u, 44u, 48u, 512u, 600u}) {
		const auto bytes = test::recording(size);
		const auto file = scratch.put("rec", bytes);
		std::FILE* stream = std::fopen(file.string().c_str(), "r+b");
		ASSERT_NE(stream, nullptr);
		Header header;
		header.fill(0xEE);
		EXPECT_EQ(read_header(stream, header), std::min<std::size_t>(size, read_window));
		test::Bytes window = bytes;
		window.resize(read_window);
		EXPECT_TRUE(std::equal(header.begin(), header.end(), window.begin())) << size;
		EXPECT_TRUE(write_header(stream, header));
		std::fclose(stream);
		test::Bytes expected = bytes;
		expected.resize(std::max<std::size_t>(size, main_track_offset + 1));
		EXPECT_EQ(test::slurp(file), expected) << size;
	}
}

TEST(Header, WriteFailsOnAStreamOpenForReadingOnly)
{
	test::Scratch scratch;
	const auto file = scratch.put("rec", test::recording(64));
	std::FILE* stream = std::fopen(file.string().c_str(), "rb");
	ASSERT_NE(stream, nullptr);
	Header header;
	ASSERT_EQ(read_header(stream, header), 64u);
	set_main_track(header, 1);
	EXPECT_FALSE(write_header(stream, header));
	std::fclose(stream);
	EXPECT_EQ(test::slurp(file), test::recording(64));
}

#ifndef _WIN32
#include <unistd.h>
#endif

TEST(Header, WriteFailsWhereThereIsNoOffsetOrNoRoom)
{
#ifdef _WIN32
	GTEST_SKIP() << "needs a POSIX pipe and /dev/full";
#else
	int ends[2];
	ASSERT_EQ(pipe(ends), 0);
	std::FILE* pipe_stream = fdopen(ends[1], "wb");
	close(ends[0]);
	std::FILE* full = std::fopen("/dev/full", "r+b");
	Header header = header_from(test::recording(64));
	EXPECT_FALSE(write_header(pipe_stream, header)); // a pipe has no offset 47
	std::fclose(pipe_stream);
	if (full) {
		EXPECT_FALSE(write_header(full, header)); // no room
		std::fclose(full);
	}
#endif
}
