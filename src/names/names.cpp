#include "names/names.hpp"

#include <cstring>

#include "platform/platform.hpp"

namespace varnholt {

// The size of the character that text starts with, of the left bytes, when
// it is whole UTF-8; 0 for a byte that is not. The second byte's range
// keeps a character short, off the surrogates and below U+110000.
static std::size_t utf8_size(const unsigned char* text, std::size_t left)
{
	struct Lead {
		unsigned char first, last, size, low, high;
	};
	static const Lead leads[] = {
	        {0x00, 0x7F, 1, 0, 0},       {0xC2, 0xDF, 2, 0x80, 0xBF},
	        {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
	        {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF},
	        {0xF0, 0xF0, 4, 0x90, 0xBF}, {0xF1, 0xF3, 4, 0x80, 0xBF},
	        {0xF4, 0xF4, 4, 0x80, 0x8F},
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

// The control that a character of size bytes is (C0, DEL, C1), or -1.
static int control(const unsigned char* text, std::size_t size)
{
	if (size == 1 && (text[0] < 0x20 || text[0] == 0x7F))
		return text[0];
	if (size == 2 && text[0] == 0xC2 && text[1] < 0xA0)
		return text[1];
	return -1;
}

// The size of the character that text starts with when it prints as it is;
// 0 for a control or a byte that is not UTF-8.
static std::size_t printable(const unsigned char* text, std::size_t left)
{
	const std::size_t size = utf8_size(text, left);
	return size > 0 && control(text, size) < 0 ? size : 0;
}

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

std::size_t record_plain(const char* text)
{
	const auto* bytes = reinterpret_cast<const unsigned char*>(text);
	const std::size_t length = std::strlen(text);
	std::size_t plain = 0;
	while (plain < length && text[plain] != '%') {
		const std::size_t size = printable(bytes + plain, length - plain);
		if (size == 0)
			break;
		plain += size;
	}
	return plain;
}

void print_json_name(std::FILE* out, const char* name)
{
	const auto* bytes = reinterpret_cast<const unsigned char*>(name);
	const std::size_t length = std::strlen(name);
	print(out, "\"");
	std::size_t plain = 0;
	for (std::size_t i = 0; i < length;) {
		const std::size_t size = utf8_size(bytes + i, length - i);
		const int code = size > 0 ? control(bytes + i, size) : -1;
		if (size > 0 && code < 0 && name[i] != '"' && name[i] != '\\') {
			i += size;
			continue;
		}
		print(out, "%.*s", static_cast<int>(i - plain), name + plain);
		if (size == 0)
			print(out, "\\udc%02x", bytes[i]);
		else if (code >= 0)
			print(out, "\\u%04x", static_cast<unsigned>(code));
		else
			print(out, "\\%c", name[i]);
		i += size > 0 ? size : 1;
		plain = i;
	}
	print(out, "%.*s\"", static_cast<int>(length - plain), name + plain);
}

static int hex_digit(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

bool read_record_name(char* text)
{
	char* to = text;
	for (const char* from = text; *from != '\0'; from++) {
		if (*from != '%') {
			*to++ = *from;
			continue;
		}
		const int high = hex_digit(from[1]);
		const int low = high < 0 ? -1 : hex_digit(from[2]);
		if (low < 0 || high * 16 + low == 0)
			return false;
		*to++ = static_cast<char>(high * 16 + low);
		from += 2;
	}
	*to = '\0';
	return true;
}

} // namespace varnholt
