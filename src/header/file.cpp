#include "header/file.hpp"

#include <cerrno>

#include "platform/platform.hpp"

namespace varnholt {

Outcome open_header(const char* name, Header& header, std::FILE*& file)
{
	file = open_recording(name);
	if (file == nullptr)
		return Outcome::cannot_open;
	// Unbuffered, the read asks for the 512 bytes and no more.
	std::setvbuf(file, nullptr, _IONBF, 0);
	Outcome outcome = Outcome::reported;
	if (read_header(file, header) == 0)
		outcome = Outcome::empty;
	else if (!has_marker(header))
		outcome = Outcome::not_recording;
	if (outcome != Outcome::reported)
		std::fclose(file);
	return outcome;
}

Outcome set_and_close(std::FILE* file, Header& header, int track)
{
	set_main_track(header, track);
	const bool written = write_header(file, header);
	const bool closed = std::fclose(file) == 0;
	return written && closed ? Outcome::set : Outcome::not_written;
}

static Look look_at(const char* name, Header& header, std::FILE*& file)
{
	Look look{open_header(name, header, file), 0, 0, 0};
	if (look.outcome == Outcome::cannot_open)
		look.error = errno;
	if (look.outcome == Outcome::reported) {
		look.count = track_count(header);
		look.main = main_track(header);
	}
	return look;
}

Look inspect(const char* name)
{
	Header header;
	std::FILE* file = nullptr;
	const Look look = look_at(name, header, file);
	if (look.outcome == Outcome::reported)
		std::fclose(file);
	return look;
}

Look change_file(const char* name, int track)
{
	Header header;
	std::FILE* file = nullptr;
	Look look = look_at(name, header, file);
	if (look.outcome != Outcome::reported)
		return look;
	if (look.main == track) {
		std::fclose(file); // nothing was written, so the close writes nothing
		look.outcome = Outcome::already;
	} else {
		look.outcome = set_and_close(file, header, track);
	}
	return look;
}

} // namespace varnholt
