// Varnholt.exe started from Explorer: a double-click, or files and folders
// dropped on it or sent to it.
#pragma once

#include <cstddef>
#include <cstdio>

namespace varnholt {

// Every argument is a file or a folder, never a track number. Reports the
// recordings among them (a folder's, and its subfolders', in name order) as
// Varnholt FileName reports each, asks on out for one new main track, read
// from in, and only then sets it in each as Varnholt FileName track_num
// does; the window stays until a key is pressed. The recordings' paths are
// kept in the room given. Returns the exit status, 0.
int explorer_session(int argc, const char* const* argv, std::FILE* in, std::FILE* out, char* room,
                     std::size_t room_size);

} // namespace varnholt
