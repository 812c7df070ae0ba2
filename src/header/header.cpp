#include "header/header.hpp"

namespace varnholt {

static int signed_byte(unsigned char byte)
{
	return byte > max_track ? byte - 256 : byte;
}

std::size_t read_header(std::FILE* file, Header& header)
{
	header.fill(0);
	return std::fread(header.data(), 1, header.size(), file);
}

bool has_marker(const Header& header)
{
	for (std::size_t i = 0; i < marker_size; i++)
		if (header[marker_offset + i] != static_cast<unsigned char>(marker[i]))
			return false;
	return true;
}

int track_count(const Header& header)
{
	return signed_byte(header[track_count_offset]);
}

int main_track(const Header& header)
{
	return signed_byte(header[main_track_offset]);
}

void set_main_track(Header& header, int track)
{
	header[main_track_offset] = static_cast<unsigned char>(track & 0xFF);
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
