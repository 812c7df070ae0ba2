#include "support.hpp"

#include "cli/run.hpp"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace test {

Bytes filler(std::size_t size)
{
	Bytes bytes(size);
	for (std::size_t i = 0; i < size; i++)
		bytes[i] = static_cast<unsigned char>(i * 7 % 251 + 1);
	return bytes;
}

Bytes recording(std::size_t size, int count, int main)
{
	Bytes bytes = filler(size);
	const Bytes fields = {'K',  'E',
	                      'L',  'V',
	                      0x11, 0x22,
	                      0x33, static_cast<unsigned char>(count),
	                      0x44, static_cast<unsigned char>(main)};
	for (std::size_t i = 0; i < fields.size() && 38 + i < size; i++)
		bytes[38 + i] = fields[i];
	return bytes;
}

Bytes slurp(const std::filesystem::path& file)
{
	std::ifstream in(file, std::ios::binary);
	return Bytes(std::istreambuf_iterator<char>(in), {});
}

Scratch::Scratch()
{
	std::string name = (std::filesystem::temp_directory_path() / "varnholt-XXXXXX").string();
	if (!mkdtemp(name.data()))
		throw std::runtime_error("mkdtemp failed");
	dir = name;
	// Open to every user, for the runs made without privileges.
	std::filesystem::permissions(dir, std::filesystem::perms::all &
	                                          ~std::filesystem::perms::group_write &
	                                          ~std::filesystem::perms::others_write);
}

Scratch::~Scratch()
{
	std::error_code ignored;
	std::filesystem::remove_all(dir, ignored);
}

std::filesystem::path Scratch::put(const std::string& name, const Bytes& bytes) const
{
	const auto file = dir / name;
	std::ofstream(file, std::ios::binary)
	        .write(reinterpret_cast<const char*>(bytes.data()),
	               static_cast<std::streamsize>(bytes.size()));
	return file;
}

static std::string drain(int fd)
{
	std::string text;
	char chunk[4096];
	ssize_t got;
	while ((got = read(fd, chunk, sizeof chunk)) > 0)
		text.append(chunk, static_cast<std::size_t>(got));
	close(fd);
	return text;
}

Outcome run_tool(const std::vector<std::string>& args, const Setup& setup)
{
	std::vector<char*> argv;
	argv.push_back(const_cast<char*>(setup.exe.c_str()));
	for (const auto& arg : args)
		argv.push_back(const_cast<char*>(arg.c_str()));
	argv.push_back(nullptr);

	int out[2], err[2];
	if (pipe(out) != 0 || pipe(err) != 0)
		throw std::runtime_error("pipe failed");
	const pid_t pid = fork();
	if (pid == 0) {
		dup2(out[1], 1);
		dup2(err[1], 2);
		close(out[0]), close(out[1]), close(err[0]), close(err[1]);
		if (setup.no_file_growth) {
			const rlimit none = {0, 0};
			signal(SIGXFSZ, SIG_IGN);
			setrlimit(RLIMIT_FSIZE, &none);
		}
		if (setup.unprivileged &&
		    (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
			_exit(126);
		execv(argv[0], argv.data());
		_exit(127);
	}
	close(out[1]), close(err[1]);
	Outcome outcome;
	outcome.out = drain(out[0]);
	outcome.err = drain(err[0]);
#ifdef VARNHOLT_COVERAGE
	// A coverage build cannot save its counts from a run without privileges
	// or without room to write, and libgcov says so on standard error.
	std::string kept;
	std::size_t from = 0;
	for (std::size_t end; (end = outcome.err.find('\n', from)) != std::string::npos;
	     from = end + 1) {
		const std::string line = outcome.err.substr(from, end + 1 - from);
		if (line.rfind("profiling:", 0) != 0 &&
		    line.rfind("libgcov profiling error:", 0) != 0)
			kept += line;
	}
	outcome.err = kept + outcome.err.substr(from);
#endif
	int status = 0;
	waitpid(pid, &status, 0);
	outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	return outcome;
}

Outcome run_here(const std::vector<std::string>& args, const Setup& setup)
{
	std::vector<const char*> argv = {"Varnholt"};
	for (const auto& arg : args)
		argv.push_back(arg.c_str());
	// Whatever the run prints stays in the stream's buffer until the limit
	// is lifted again.
	std::FILE* out = std::tmpfile();
	rlimit saved{};
	getrlimit(RLIMIT_FSIZE, &saved);
	void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
	if (setup.no_file_growth) {
		rlimit none = saved;
		none.rlim_cur = 0;
		setrlimit(RLIMIT_FSIZE, &none);
	}
	Outcome outcome;
	outcome.status = varnholt::run(static_cast<int>(argv.size()), argv.data(), out);
	setrlimit(RLIMIT_FSIZE, &saved);
	signal(SIGXFSZ, old_handler);
	std::rewind(out);
	for (int c; (c = std::fgetc(out)) != EOF;)
		outcome.out += static_cast<char>(c);
	std::fclose(out);
	return outcome;
}

} // namespace test
