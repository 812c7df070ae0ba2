// The web page's WebAssembly module: the header operations and the
// track-number parse over one 512-byte buffer, with nothing imported. The
// page copies a file's first bytes into the buffer and asks these exports;
// every rule about the bytes stays on this side, and so do the rules of
// "Set for all" and Undo that the terminal session follows too.
#include "cli/parse.hpp"
#include "header/header.hpp"
#include "session/tracks.hpp"

#include <cstddef>

#define EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace {

varnholt::Header header;
std::size_t loaded; // the bytes the page copied into the buffer

// Value of parse() for a text the command line refuses; outside any byte.
constexpr int refused_value = -1000;
static_assert(refused_value < varnholt::min_track);

char tracks[varnholt::tracks_text_size];

constexpr std::size_t page_size = 65536;

} // namespace

// Where the linker lets free memory begin; the track text is kept there.
extern "C" unsigned char __heap_base;

// The layout the page needs to read and write a file.
EXPORT(read_window) std::size_t read_window()
{
	return varnholt::read_window;
}
EXPORT(main_track_offset) std::size_t main_track_offset()
{
	return varnholt::main_track_offset;
}
// The bytes from the start of the file that a rewrite covers: a shorter file
// grows to this length.
EXPORT(rewrite_size) std::size_t rewrite_size()
{
	return varnholt::rewrite_size;
}
EXPORT(no_track) int no_track()
{
	return varnholt::no_track;
}
EXPORT(refused) int refused()
{
	return refused_value;
}
// The refusal the command line prints, NUL-terminated; the text follows it.
EXPORT(refusal_text) const char* refusal_text()
{
	return varnholt::out_of_range_text;
}

EXPORT(buffer) unsigned char* buffer()
{
	return header.data();
}

// The page has copied count bytes into the buffer; the rest reads as zero,
// as for a short file.
EXPORT(load) void load(std::size_t count)
{
	loaded = count;
	for (std::size_t i = count; i < header.size(); i++)
		header[i] = 0;
}

EXPORT(has_marker) int has_marker()
{
	return varnholt::has_marker(header) ? 1 : 0;
}
EXPORT(track_count) int track_count()
{
	return varnholt::track_count(header);
}
EXPORT(main_track) int main_track()
{
	return varnholt::main_track(header);
}
EXPORT(set_main_track) void set_main_track(int track)
{
	varnholt::set_main_track(header, track);
}

// Room for a track text of size bytes and its NUL, growing the memory when
// needed; 0 when it cannot grow. A grow detaches the page's views of memory.
EXPORT(text) unsigned char* text(std::size_t size)
{
	const std::size_t start = reinterpret_cast<std::size_t>(&__heap_base);
	const std::size_t end = start + size + 1;
	const std::size_t have = __builtin_wasm_memory_size(0) * page_size;
	if (end > have && __builtin_wasm_memory_grow(0, (end - have + page_size - 1) / page_size) ==
	                          ~std::size_t{0})
		return nullptr;
	return &__heap_base;
}

// The track number in the text that text() made room for, or refused().
EXPORT(parse) int parse()
{
	int track = varnholt::no_track;
	if (!varnholt::parse_track_num(reinterpret_cast<const char*>(&__heap_base), track))
		return refused_value;
	return track;
}

// What a new main track does to a recording of count tracks whose main track
// is main: one of the values below, or another for no track given.
EXPORT(change_for) int change_for(int count, int main, int track)
{
	return static_cast<int>(varnholt::change_for(count, main, track));
}
EXPORT(change_already) int change_already()
{
	return static_cast<int>(varnholt::Change::already);
}
EXPORT(change_past_last) int change_past_last()
{
	return static_cast<int>(varnholt::Change::past_last);
}
EXPORT(change_set) int change_set()
{
	return static_cast<int>(varnholt::Change::set);
}

// What Undo does to the recording in the buffer, which a change set from
// main track was, when it had size bytes, to track: change_set() puts it
// back, change_already() finds it as it was, another value leaves it.
EXPORT(undo_for) int undo_for(int was, std::size_t size, int track)
{
	if (!varnholt::has_marker(header))
		return static_cast<int>(varnholt::Change::none);
	return static_cast<int>(
	        varnholt::undo_for(was, size, track, varnholt::main_track(header), loaded));
}

// The tracks that every recording of at least min_count tracks has ("0 or
// 1"), NUL-terminated; empty when they have none in common.
EXPORT(tracks_text) const char* tracks_text(int min_count)
{
	varnholt::name_tracks(min_count, tracks, sizeof tracks);
	return tracks;
}
