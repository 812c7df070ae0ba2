// Names from the command line, a folder or a card, shown by the session so
// that no name can drive a terminal.
#pragma once

#include <cstddef>
#include <cstdio>

namespace varnholt {

// Prints length bytes of name on out, every byte that a terminal or a
// console could act on as \xHH: the C0 controls (tab and line feed
// included), DEL, the C1 controls U+0080 to U+009F, and bytes that are not
// UTF-8. The file itself is still opened by its own name.
void print_name(std::FILE* out, const char* name, std::size_t length);

} // namespace varnholt
