#include "header/file.hpp"

#include <cerrno>

namespace varnholt {

Outcome open_header(const char* name, Access access, Header& header, std::FILE*& file)
{
	return look_at(name, access, header, file).outcome;
}

Look look_at(const char* name, Access access, Header& header, std::FILE*& file)
{
	Look look{Outcome::reported, 0, 0, 0, 0};
	file = open_recording(name, access);
	if (file == nullptr) {
		look.outcome = Outcome::cannot_open;
		look.error = errno;
		return look;
	}
	// Unbuffered, the read asks for the 512 bytes and no more.
	std::setvbuf(file, nullptr, _IONBF, 0);
	look.size = read_header(file, header);
	if (look.size == 0)
		look.outcome = Outcome::empty;
	else if (!has_marker(header))
		look.outcome = Outcome::not_recording;
	if (look.outcome != Outcome::reported) {
		std::fclose(file);
		return look;
	}
	look.count = track_count(header);
	look.main = main_track(header);
	return look;
}

Look inspect(const char* name)
{
	Header header;
	std::FILE* file = nullptr;
	const Look look = look_at(name, Access::read, header, file);
	if (look.outcome == Outcome::reported)
		std::fclose(file);
	return look;
}

Outcome set_and_close(std::FILE* file, Header& header, int track)
{
	set_main_track(header, track);
	const bool written = write_header(file, header);
	const int error = errno;
	const bool closed = std::fclose(file) == 0;
	if (!written)
		errno = error; // the write's reason, not the close's
	return written && closed ? Outcome::set : Outcome::not_written;
}

Outcome cut_and_close(std::FILE* file, std::size_t size)
{
	const bool cut = truncate_file(file, size);
	const int error = errno;
	const bool closed = std::fclose(file) == 0;
	if (!cut)
		errno = error;
	return cut && closed ? Outcome::set : Outcome::not_written;
}

} // namespace varnholt
