// The kelvane recording header: where its fields sit and the operations on it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>

namespace varnholt {

// Every offset counts from the first byte of the file.
constexpr std::size_t read_window = 512; // bytes read into the buffer
constexpr std::size_t marker_offset = 38;
constexpr std::size_t marker_size = 4;
constexpr std::size_t track_count_offset = 45;
constexpr std::size_t main_track_offset = 47;
// A file shorter than this grows to it when its main track is set.
constexpr std::size_t rewrite_size = main_track_offset + 1;
constexpr char marker[marker_size + 1] = "KELV";

constexpr int min_track = -128; // the two track bytes are signed 8-bit
constexpr int max_track = 127;

using Header = std::array<unsigned char, read_window>;

// On the buffer alone (header.cpp), so that the web page's module shares them:

// A track byte widened: 0x80 to 0xFF read as -128 to -1.
int signed_byte(unsigned char byte);

bool has_marker(const Header& header);
int track_count(const Header& header);
int main_track(const Header& header);

// Stores the low 8 bits of track at the main-track byte.
void set_main_track(Header& header, int track);

// On the open recording (io.cpp):

// Zero-fills the buffer, then reads up to read_window bytes from the start of
// the open file. Returns the count read; a read error counts as end of file.
std::size_t read_header(std::FILE* file, Header& header);

// Writes the main-track byte back to offset 47 of the file, in one request
// past the stream. True only when the byte was taken.
bool write_header(std::FILE* file, const Header& header);

} // namespace varnholt
