// Names from the command line, a folder or a card, written out by the
// session: on a screen, so that no name can drive a terminal; in JSON and
// in the undo record, so that a reader gets the name's bytes back.
#pragma once

#include <cstddef>
#include <cstdio>

namespace varnholt {

// Prints length bytes of name on out, every byte that a terminal or a
// console could act on as \xHH: the C0 controls (tab and line feed
// included), DEL, the C1 controls U+0080 to U+009F, and bytes that are not
// UTF-8. The file itself is still opened by its own name.
void print_name(std::FILE* out, const char* name, std::size_t length);

// Prints name as a JSON string, quotes included. Its UTF-8 is text; the
// quote, the backslash and the controls are escaped; each byte that is not
// part of valid UTF-8 is \udcXX, so that a reader that decodes with
// surrogate escapes (Python's os.fsencode) gets the bytes back.
void print_json_name(std::FILE* out, const char* name);

// How many bytes from the start of text the undo record keeps as they are:
// what print_name shows as it is, but %. 0 when the first byte is kept as
// %HH.
std::size_t record_plain(const char* text);

// Turns a name as the record keeps it back into its bytes, in place. False
// for a % without two hex digits after it, or one that gives a byte 0.
bool read_record_name(char* text);

} // namespace varnholt
