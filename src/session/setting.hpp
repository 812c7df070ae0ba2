// The setting: the answer written into every recording listed.
#pragma once

#include <cstdio>

#include "session/listing.hpp"

namespace varnholt {

struct Tally {
	unsigned long set;
	unsigned long already;
	unsigned long skipped;
	unsigned long failed;
};

// Sets track in every recording listed: those it is past the last track of
// only when past_last is true. On a card past a few, only failures are
// named, and on a terminal a line shows how far it has come.
Tally set_all(const Listing& listing, std::FILE* out, int track, bool past_last);

} // namespace varnholt
