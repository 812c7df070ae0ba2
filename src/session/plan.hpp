// The plan: what the session found, shown before the question, and the
// session's messages for what it could not do.
#pragma once

#include <cstdio>

#include "header/file.hpp"
#include "session/listing.hpp"
#include "session/record.hpp"

namespace varnholt {

// Look::error for a change not made, as it could not be kept in the undo
// record first.
constexpr int unrecorded = -1;

// Prints before, the name as shown, then after.
void say(std::FILE* out, const char* before, const char* name, const char* after);

// Why a file could not be opened, read or set.
const char* reason(const Look& look);

// The tool's message for a file that could not be opened, read or set,
// with the reason.
void print_failure(std::FILE* out, const char* path, const Look& look);

// What was found, before the question: each recording on a line of its
// own, or past a few, the recordings counted by folder and by layout; then
// what is not a recording, and what cannot be opened or read.
void print_plan(const Listing& listing, std::FILE* out);

// That the session cannot be undone, with the reason: the record could
// not be made.
void print_no_undo(std::FILE* out, const Record& record);

} // namespace varnholt
