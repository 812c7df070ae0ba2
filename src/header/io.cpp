#include "header/header.hpp"

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
	// offset 47 reads as zero. The seek also separates the earlier read from
	// this write on the update stream; the flush makes a failure show here.
	if (std::fseek(file, static_cast<long>(main_track_offset), SEEK_SET) != 0)
		return false;
	if (std::fwrite(&header[main_track_offset], 1, 1, file) != 1)
		return false;
	return std::fflush(file) == 0;
}

} // namespace varnholt
