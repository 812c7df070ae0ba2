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

// Closes file after a change: set when it was done and the close too.
static Outcome close_after(std::FILE* file, bool done)
{
	const int error = errno;
	const bool closed = std::fclose(file) == 0;
	if (!done)
		errno = error; // the change's reason, not the close's
	return done && closed ? Outcome::set : Outcome::not_written;
}

Outcome set_and_close(std::FILE* file, Header& header, int track)
{
	set_main_track(header, track);
	return close_after(file, write_header(file, header));
}

Outcome cut_and_close(std::FILE* file, std::size_t size)
{
	return close_after(file, truncate_file(file, size));
}

} // namespace varnholt
