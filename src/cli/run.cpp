#include "cli/run.hpp"

#include "cli/parse.hpp"
#include "header/header.hpp"
#include "platform/platform.hpp"

namespace varnholt {

int run(int argc, const char* const* argv, std::FILE* out)
{
	if (argc < 2) {
		print(out, "Usage: Varnholt FileName track_num\n\n");
		return 0;
	}
	const char* name = argv[1];
	int track = no_track;
	if (argc > 2 && !parse_track_num(argv[2], track)) {
		print(out, "%s%s\n", out_of_range_text, argv[2]);
		return 0;
	}

	std::FILE* file = open_recording(name);
	if (file == nullptr) {
		print(out, "file can't be open %s\n", name);
		return 0;
	}
	// Unbuffered, the read asks for the 512 bytes and no more.
	std::setvbuf(file, nullptr, _IONBF, 0);
	Header header;
	if (read_header(file, header) == 0) {
		print(out, "file is empty file %s\n", name);
		std::fclose(file);
		return 0;
	}
	if (!has_marker(header)) {
		print(out, "Sorry, it's not a kelvane recording, can't be fixed %s\n", name);
		std::fclose(file);
		return 0;
	}
	print(out, "recording has %d auido tracks, main track is :%d (start from 0)\n",
	      track_count(header), main_track(header));
	if (track == no_track) {
		print(out, "new audio track is not specified\n");
		std::fclose(file);
		return 0;
	}
	set_main_track(header, track);
	// Some file systems report a failed write only at the close, so the
	// change is confirmed once the file is closed.
	const bool written = write_header(file, header);
	const bool closed = std::fclose(file) == 0;
	if (written && closed)
		print(out, "new audio track was set to %d", track);
	else
		print(out, "Can't write into file\n");
	return 0;
}

} // namespace varnholt
