// The track-number parse on arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cli/parse.hpp"
#include "model.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
	// Exactly the text and its terminator, so that any read past it is caught.
	std::unique_ptr<char[]> text(new char[size + 1]);
	std::memcpy(text.get(), data, size);
	text[size] = '\0';

	const int untouched = 12345;
	int track = untouched;
	const bool accepted = varnholt::parse_track_num(text.get(), track);
	const model::Track expected = model::parse(text.get());
	if (accepted != expected.in_range)
		std::abort();
	if (accepted ? track != expected.value : track != untouched)
		std::abort();
	// Where atoi cannot overflow, it reads the same number.
	if (expected.digits <= 9 && std::atoi(text.get()) != expected.value)
		std::abort();
	return 0;
}
