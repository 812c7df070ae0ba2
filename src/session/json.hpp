// The session's JSON Lines, for scripts: one object a line, printed whole
// on standard output, which carries nothing else under --json.
#pragma once

#include <cstdio>

#include "header/file.hpp"

namespace varnholt {

// {"path": ..., "tracks": 2, "main": 0}, with "outcome" (and "error", from
// look, when it failed) where outcome is not null.
void json_recording(std::FILE* out, const char* path, int count, int main,
                    const char* outcome = nullptr, const Look* look = nullptr);

// {"path": ..., "main": 0, "outcome": ...}, with "error" where error is not
// null: what an undo did with a change, main being the track put back.
void json_undone(std::FILE* out, const char* path, int main, const char* outcome,
                 const char* error);

// {"path": ..., "error": ...}: a file that could not be opened, or a
// folder that could not be read.
void json_problem(std::FILE* out, const char* path, int error);

// The last line: {"set": n, "already": n, ...}, the names and counts given
// in pairs, and "dry_run": true in a dry run.
void json_counts(std::FILE* out, const char* const* names, const unsigned long* counts, int pairs,
                 bool dry_run);

} // namespace varnholt
