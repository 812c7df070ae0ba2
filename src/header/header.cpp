#include "header/header.hpp"

namespace varnholt {

int signed_byte(unsigned char byte)
{
	return byte > max_track ? byte - 256 : byte;
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

} // namespace varnholt
