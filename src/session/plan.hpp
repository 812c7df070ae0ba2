// The plan: what the session found, shown before the question, and the
// tool's own messages for a file that cannot be opened, read or set.
#pragma once

#include <cstdio>

#include "header/file.hpp"
#include "session/listing.hpp"

namespace varnholt {

// Prints before, the name as shown, then after.
void say(std::FILE* out, const char* before, const char* name, const char* after);

// The tool's message for a file that could not be opened, read or set,
// with the reason an open failed.
void print_failure(std::FILE* out, const char* path, const Look& look);

// What was found, before the question: each recording on a line of its
// own, or past a few, the recordings counted by folder and by layout; then
// what is not a recording, and what cannot be opened or read.
void print_plan(const Listing& listing, std::FILE* out);

} // namespace varnholt
