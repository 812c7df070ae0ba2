// Varnholt-open's command line: options first, then files and folders.
#pragma once

#include <cstdio>

namespace varnholt {

struct Options {
	int track = -1; // --track N: the first question's answer
	bool track_given = false;
	bool past_last = false; // --past-last: the second question's answer, yes
	bool dry_run = false;   // --dry-run: everything but the writes
	bool json = false;      // --json: JSON Lines on standard output, no question
	bool undo = false;      // --undo: put back the last session
	int first = 1;          // argv's first file or folder
};

enum class Command { session, undo, help, version, usage_error };

// Reads the options at the start of argv. A usage error is told on err in
// one line, followed by the usage.
Command read_options(int argc, const char* const* argv, Options& options, std::FILE* err);

// The usage, and the help that --help prints.
void print_usage(std::FILE* out);
void print_help(std::FILE* out);

} // namespace varnholt
