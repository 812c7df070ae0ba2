// The setting: the answer written into every recording listed, each
// change in the undo record before it is made.
#pragma once

#include <cstdio>

#include "session/listing.hpp"
#include "session/record.hpp"

namespace varnholt {

struct Tally {
	unsigned long set;
	unsigned long already;
	unsigned long skipped;
	unsigned long failed;
};

// The outcomes as JSON names them, in Tally's order.
extern const char* const outcome_words[4];

// The answer and how the setting goes.
struct Setting {
	int track;
	bool past_last;  // recordings without the track are set too, else skipped
	bool dry_run;    // nothing is opened for writing: what would be done is told
	std::FILE* json; // where each recording's outcome goes as JSON; null for text on out
	Record* record;  // the undo record, or null for none
};

// Sets the track in every recording listed whose main track it is not, as
// each is found just before (a file changed since the plan is judged as it
// is then). On a card past a few, only failures are named, and on a
// terminal a line shows how far it has come.
Tally set_all(const Listing& listing, std::FILE* out, const Setting& setting);

} // namespace varnholt
