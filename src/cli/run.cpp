#include "cli/run.hpp"

#include "cli/parse.hpp"
#include "header/header.hpp"
#include "platform/platform.hpp"

namespace varnholt {

int run(int argc, const char* const* argv, std::FILE* out)
{
	if (argc < 2) {
		std::fputs("Usage: Varnholt FileName track_num\n\n", out);
		return 0;
	}
	const char* name = argv[1];
	int track = no_track;
	if (argc > 2 && !parse_track_num(argv[2], track)) {
		std::fprintf(out, "%s%s\n", out_of_range_text, argv[2]);
		return 0;
	}

	std::FILE* file = open_recording(name);
	if (file == nullptr) {
		std::fprintf(out, "file can't be open %s\n", name);
		return 0;
	}
	// Unbuffered, a write that fails leaves nothing behind for the close to
	// write after all.
	std::setvbuf(file, nullptr, _IONBF, 0);
	Header header;
	if (read_header(file, header) == 0) {
		std::fprintf(out, "file is empty file %s\n", name);
		std::fclose(file);
		return 0;
	}
	if (!has_marker(header)) {
		std::fprintf(out, "Sorry, it's not a kelvane recording, can't be fixed %s\n", name);
		std::fclose(file);
		return 0;
	}
	std::fprintf(out, "recording has %d auido tracks, main track is :%d (start from 0)\n",
	             track_count(header), main_track(header));
	if (track == no_track) {
		std::fputs("new audio track is not specified\n", out);
		std::fclose(file);
		return 0;
	}
	set_main_track(header, track);
	// Some file systems report a failed write only at the close, so the
	// change is confirmed once the file is closed.
	const bool written = write_header(file, header);
	const bool closed = std::fclose(file) == 0;
	if (written && closed)
		std::fprintf(out, "new audio track was set to %d", track);
	else
		std::fputs("Can't write into file\n", out);
	return 0;
}

} // namespace varnholt
