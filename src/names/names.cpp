#include "names/names.hpp"

#include "platform/platform.hpp"

namespace varnholt {

// The size of the character that text starts with, of the left bytes,
// when it is whole UTF-8 and prints as it is; 0 for a control (C0, DEL,
// C1) or a byte that is not UTF-8. The second byte's range keeps a
// character short, off the surrogates, below U+110000 and, after 0xC2,
// past the C1 controls.
static std::size_t printable(const unsigned char* text, std::size_t left)
{
	struct Lead {
		unsigned char first, last, size, low, high;
	};
	static const Lead leads[] = {
	        {0x20, 0x7E, 1, 0, 0},       {0xC2, 0xC2, 2, 0xA0, 0xBF},
	        {0xC3, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF},
	        {0xE1, 0xEC, 3, 0x80, 0xBF}, {0xED, 0xED, 3, 0x80, 0x9F},
	        {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
	        {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
	};
	for (const Lead& lead : leads) {
		if (text[0] < lead.first || text[0] > lead.last)
			continue;
		if (lead.size == 1)
			return 1;
		if (left < lead.size || text[1] < lead.low || text[1] > lead.high)
			return 0;
		for (std::size_t i = 2; i < lead.size; i++)
			if (text[i] < 0x80 || text[i] > 0xBF)
				return 0;
		return lead.size;
	}
	return 0;
}

// Prints length bytes of a name as the session shows names: every byte
// that a terminal or a console could act on becomes \xHH. The file itself
// is still opened by its own name.
void print_name(std::FILE* out, const char* name, std::size_t length)
{
	const auto* bytes = reinterpret_cast<const unsigned char*>(name);
	std::size_t plain = 0; // where the bytes that print as they are begin
	for (std::size_t i = 0; i < length;) {
		const std::size_t size = printable(bytes + i, length - i);
		if (size > 0) {
			i += size;
			continue;
		}
		print(out, "%.*s\\x%02x", static_cast<int>(i - plain), name + plain, bytes[i]);
		plain = ++i;
	}
	print(out, "%.*s", static_cast<int>(length - plain), name + plain);
}

} // namespace varnholt
