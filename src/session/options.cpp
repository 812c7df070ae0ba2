#include "session/options.hpp"

#include <algorithm>
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

enum class Kind { flag, track, help, version };

struct Option {
	char letter;
	const char* name;
	Kind kind;
	bool Options::*set; // a flag's
};

} // namespace

static const Option all[] = {
        {'t', "track", Kind::track, nullptr},
        {'p', "past-last", Kind::flag, &Options::past_last},
        {'n', "dry-run", Kind::flag, &Options::dry_run},
        {'j', "json", Kind::flag, &Options::json},
        {'u', "undo", Kind::flag, &Options::undo},
        {'h', "help", Kind::help, nullptr},
        {'V', "version", Kind::version, nullptr},
};

static const Option* const all_end = all + sizeof all / sizeof all[0];

static Command refuse(std::FILE* err, const char* what, const char* text)
{
	print(err, "Varnholt-open: %s%s\n", what, text);
	print_usage(err);
	return Command::usage_error;
}

// What one option does. value is the track's number where it is joined to
// the option (--track=1, -t1), else null: the next word is taken, and i
// moved to it.
static Command take(const Option& option, const char* value, int argc, const char* const* argv,
                    int& i, Options& options, std::FILE* err)
{
	if (option.kind == Kind::help)
		return Command::help;
	if (option.kind == Kind::version)
		return Command::version;
	if (option.kind == Kind::flag) {
		options.*option.set = true;
		return Command::session;
	}
	if (value == nullptr && i + 1 < argc)
		value = argv[++i];
	if (value == nullptr)
		return refuse(err, "--track needs a track number", "");
	if (read_answer(value, options.track) != Answer::number)
		return refuse(err, "--track takes a track number from -128 to 127, not: ", value);
	options.track_given = true;
	return Command::session;
}

// A long option, --name or --track=N.
static Command read_long(int argc, const char* const* argv, int& i, Options& options,
                         std::FILE* err)
{
	const char* name = argv[i] + 2;
	const char* equals = std::strchr(name, '=');
	const std::size_t length =
	        equals != nullptr ? static_cast<std::size_t>(equals - name) : std::strlen(name);
	for (const Option& option : all)
		if (std::strlen(option.name) == length &&
		    std::strncmp(name, option.name, length) == 0 &&
		    (equals == nullptr || option.kind == Kind::track))
			return take(option, equals != nullptr ? equals + 1 : nullptr, argc, argv, i,
			            options, err);
	return refuse(err, "unknown option: ", argv[i]);
}

// Short options, one word for several (-pn), the track's number joined
// (-t1) or the next word.
static Command read_short(int argc, const char* const* argv, int& i, Options& options,
                          std::FILE* err)
{
	for (const char* letter = argv[i] + 1; *letter != '\0'; letter++) {
		const Option* found = std::find_if(all, all_end, [&](const Option& option) {
			return option.letter == *letter;
		});
		if (found == all_end) {
			const char text[] = {'-', *letter, '\0'};
			return refuse(err, "unknown option: ", text);
		}
		const bool track = found->kind == Kind::track;
		const Command command =
		        take(*found, track && letter[1] != '\0' ? letter + 1 : nullptr, argc, argv,
		             i, options, err);
		if (command != Command::session || track)
			return command;
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
		const Command command = argv[i][1] == '-' ? read_long(argc, argv, i, options, err)
		                                          : read_short(argc, argv, i, options, err);
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
