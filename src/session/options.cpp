#include "session/options.hpp"

#include <cstring>

#include "cli/parse.hpp"
#include "platform/platform.hpp"
#include "session/ask.hpp"

namespace varnholt {

constexpr char usage_text[] =
        "Usage: Varnholt-open [options] File_or_folder ...\n"
        "       Varnholt-open --undo [--dry-run] [--json]\n\n"
        "Lists the kelvane recordings given, and those in the folders given and their\n"
        "subfolders, asks once for a new main track, then sets it in each.\n";
constexpr char options_text[] =
        "\nOptions:\n"
        "  -t, --track N    set main track N without asking (-1 writes nothing)\n"
        "  -p, --past-last  set it in recordings that have no track N too\n"
        "  -n, --dry-run    write nothing, say what would be done\n"
        "  -j, --json       print JSON Lines on standard output and ask nothing\n"
        "  -u, --undo       put back what the last session changed\n"
        "  -h, --help       print this help\n"
        "  -V, --version    print the version\n"
        "  --               end the options: a name after it may begin with -\n";

void print_usage(std::FILE* out)
{
	print(out, "%s", usage_text);
}

void print_help(std::FILE* out)
{
	print(out, "%s%s", usage_text, options_text);
}

namespace {

struct Flag {
	char letter;
	const char* name;
	bool Options::*set;
};

} // namespace

static const Flag flags[] = {
        {'p', "past-last", &Options::past_last},
        {'n', "dry-run", &Options::dry_run},
        {'j', "json", &Options::json},
        {'u', "undo", &Options::undo},
};

static Command refuse(std::FILE* err, const char* what, const char* text)
{
	print(err, "Varnholt-open: %s%s\n", what, text);
	print_usage(err);
	return Command::usage_error;
}

static Command take_track(Options& options, const char* value, std::FILE* err)
{
	if (value == nullptr)
		return refuse(err, "--track needs a track number", "");
	if (read_answer(value, options.track) != Answer::number)
		return refuse(err, "--track takes a track number from -128 to 127, not: ", value);
	options.track_given = true;
	return Command::session;
}

// One option word at argv[i], with i moved past what it took.
static Command read_option(int argc, const char* const* argv, int& i, Options& options,
                           std::FILE* err)
{
	const char* word = argv[i];
	const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
	if (word[1] == '-') {
		const char* name = word + 2;
		const char* equals = std::strchr(name, '=');
		const std::size_t length =
		        equals ? static_cast<std::size_t>(equals - name) : std::strlen(name);
		auto is = [&](const char* long_name) {
			return std::strlen(long_name) == length &&
			       std::strncmp(name, long_name, length) == 0;
		};
		if (is("help") && equals == nullptr)
			return Command::help;
		if (is("version") && equals == nullptr)
			return Command::version;
		if (is("track")) {
			if (equals == nullptr)
				i++;
			return take_track(options, equals ? equals + 1 : next, err);
		}
		for (const Flag& flag : flags)
			if (is(flag.name) && equals == nullptr) {
				options.*flag.set = true;
				return Command::session;
			}
		return refuse(err, "unknown option: ", word);
	}
	// Short options, one word for several (-pn), the track's number joined
	// (-t1) or the next word.
	for (const char* letter = word + 1; *letter != '\0'; letter++) {
		if (*letter == 'h')
			return Command::help;
		if (*letter == 'V')
			return Command::version;
		if (*letter == 't') {
			if (letter[1] == '\0')
				i++;
			return take_track(options, letter[1] != '\0' ? letter + 1 : next, err);
		}
		const Flag* found = nullptr;
		for (const Flag& flag : flags)
			if (flag.letter == *letter)
				found = &flag;
		if (found == nullptr) {
			const char text[] = {'-', *letter, '\0'};
			return refuse(err, "unknown option: ", text);
		}
		options.*found->set = true;
	}
	return Command::session;
}

Command read_options(int argc, const char* const* argv, Options& options, std::FILE* err)
{
	int i = 1;
	for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
		if (std::strcmp(argv[i], "--") == 0) {
			i++;
			break;
		}
		const Command command = read_option(argc, argv, i, options, err);
		if (command != Command::session)
			return command;
	}
	options.first = i;
	const bool paths = i < argc;
	if (options.undo) {
		if (options.track_given || options.past_last)
			return refuse(err, "--undo takes no --track or --past-last", "");
		if (paths)
			return refuse(err, "--undo takes no files or folders: ", argv[i]);
		return Command::undo;
	}
	if (!paths)
		return refuse(err, "no file or folder given", "");
	return Command::session;
}

} // namespace varnholt
