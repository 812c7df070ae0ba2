// Varnholt-open --undo: the last session's record read back, told, asked
// about once, and what it changed put back.
#pragma once

#include <cstddef>
#include <cstdio>

#include "session/options.hpp"

namespace varnholt {

// Puts back what the last session not yet undone changed, in each
// recording that still holds what it wrote. Returns the exit status: 0 when
// all of it was put back (or nothing was asked for), 1 when some was left
// or failed, or the record could not be read or trusted. It takes at most
// limit bytes of memory for the record (0: what memory allows).
int undo_last(const Options& options, std::FILE* in, std::FILE* out, std::FILE* err,
              std::size_t limit);

} // namespace varnholt
