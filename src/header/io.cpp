#include "header/header.hpp"
#include "platform/platform.hpp"

namespace varnholt {

std::size_t read_header(std::FILE* file, Header& header)
{
	header.fill(0);
	return std::fread(header.data(), 1, header.size(), file);
}

bool write_header(std::FILE* file, const Header& header)
{
	// Only the one byte: the bytes around it may have been changed by
	// another writer since they were read, and a short file's hole up to
	// offset 47 reads as zero.
	return write_at(file, main_track_offset, &header[main_track_offset], 1);
}

} // namespace varnholt
