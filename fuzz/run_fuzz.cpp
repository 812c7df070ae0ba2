// Whole runs of the entry routine on arbitrary recordings and track texts.
//
// Input: one byte choosing the arguments (no track_num, track_num, or
// track_num and one more), one byte giving the length of the track_num text,
// that text, then the recording's bytes (at most 600).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/parse.hpp"
#include "cli/run.hpp"
#include "model.hpp"

using Bytes = std::vector<unsigned char>;

// A private folder of its own, in the temporary folder (TMPDIR): a fixed
// name there could be a link that another user planted.
static std::string make_folder()
{
	std::string folder = (std::filesystem::temp_directory_path() / "run-fuzz-XXXXXX").string();
	if (mkdtemp(folder.data()) == nullptr)
		std::abort();
	return folder;
}

static const std::string folder = make_folder();
static const std::string path = folder + "/rec.kelv";

static void remove_folder()
{
	std::remove(path.c_str());
	rmdir(folder.c_str());
}
static const int removed_at_exit = std::atexit(remove_folder);

static int signed_at(const Bytes& bytes, std::size_t offset)
{
	return offset < bytes.size() ? static_cast<signed char>(bytes[offset]) : 0;
}

static void check(bool holds)
{
	if (!holds)
		std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
	if (size < 2)
		return 0;
	const int arg_count = data[0] % 3;
	const std::size_t text_size = std::min<std::size_t>(data[1], size - 2);
	std::string text(reinterpret_cast<const char*>(data + 2), text_size);
	text = text.substr(0, text.find('\0')); // an argument ends at its first zero byte
	const Bytes before(data + 2 + text_size,
	                   data + std::min<std::size_t>(size, 2 + text_size + 600));

	std::ofstream(path, std::ios::binary | std::ios::trunc)
	        .write(reinterpret_cast<const char*>(before.data()),
	               static_cast<std::streamsize>(before.size()));
	std::vector<const char*> argv = {"Varnholt", path.c_str()};
	if (arg_count >= 1)
		argv.push_back(text.c_str());
	if (arg_count >= 2)
		argv.push_back("extra");

	char* printed = nullptr;
	std::size_t printed_size = 0;
	std::FILE* out = open_memstream(&printed, &printed_size);
	check(varnholt::run(static_cast<int>(argv.size()), argv.data(), out) == 0);
	std::fclose(out);
	const std::string output(printed, printed_size);
	std::free(printed);
	std::ifstream in(path, std::ios::binary);
	const Bytes after{std::istreambuf_iterator<char>(in), {}};

	// What the run must have done, worked out from the rules alone.
	const model::Track track = arg_count >= 1 ? model::parse(text) : model::Track{true, -1, 1};
	Bytes expected = before;
	std::string message;
	if (!track.in_range) {
		message = "track_num is out of range, must be from -128 to 127: " + text + "\n";
	} else if (before.empty()) {
		message = "file is empty file " + path + "\n";
	} else if (before.size() < 42 ||
	           std::string(before.begin() + 38, before.begin() + 42) != "KELV") {
		message = "Sorry, it's not a kelvane recording, can't be fixed " + path + "\n";
	} else {
		message = "recording has " + std::to_string(signed_at(before, 45)) +
		          " auido tracks, main track is :" + std::to_string(signed_at(before, 47)) +
		          " (start from 0)\n";
		if (track.value == -1) {
			message += "new audio track is not specified\n";
		} else {
			message += "new audio track was set to " + std::to_string(track.value);
			expected.resize(std::max<std::size_t>(expected.size(), 48));
			expected[47] = static_cast<unsigned char>(track.value & 0xFF);
		}
	}
	check(output == message);
	check(after == expected);
	return 0;
}
