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
	int track = no_track;
	if (argc > 2 && !parse_track_num(argv[2], track)) {
		print(out, "%s%s\n", out_of_range_text, argv[2]);
		return 0;
	}
	run_file(argv[1], track, out);
	return 0;
}

Outcome run_file(const char* name, int track, std::FILE* out)
{
	Header header;
	std::FILE* file = nullptr;
	const Outcome outcome = open_header(name, Access::change, header, file);
	if (outcome == Outcome::cannot_open)
		print(out, "file can't be open %s\n", name);
	else if (outcome == Outcome::empty)
		print(out, "file is empty file %s\n", name);
	else if (outcome == Outcome::not_recording)
		print(out, "Sorry, it's not a kelvane recording, can't be fixed %s\n", name);
	if (outcome != Outcome::reported)
		return outcome;
	print(out, "recording has %d auido tracks, main track is :%d (start from 0)\n",
	      track_count(header), main_track(header));
	if (track == no_track) {
		print(out, "new audio track is not specified\n");
		std::fclose(file);
		return Outcome::reported;
	}
	if (set_and_close(file, header, track) != Outcome::set) {
		print(out, "Can't write into file\n");
		return Outcome::not_written;
	}
	print(out, "new audio track was set to %d", track);
	return Outcome::set;
}

} // namespace varnholt
