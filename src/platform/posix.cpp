#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdarg>

#include "platform/platform.hpp"

namespace varnholt {

void prepare_process()
{
	// open() hands out the lowest free descriptor: were 1 left closed, the
	// recording would become standard output and the messages would land in it.
	for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++)
		if (fcntl(fd, F_GETFD) == -1)
			open("/dev/null", O_RDWR);
	std::signal(SIGPIPE, SIG_IGN);
	std::signal(SIGXFSZ, SIG_IGN);
}

std::FILE* open_recording(const char* name)
{
	// O_NONBLOCK keeps a FIFO or a terminal from holding the open, and
	// O_NOCTTY keeps a terminal from becoming the process's own.
	const int fd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
	if (fd == -1)
		return nullptr;
	struct stat status {}; // a failed fstat leaves the mode 0: not a regular file
	fstat(fd, &status);
	// A descriptor below 3 means a standard one stayed closed (no /dev/null
	// to fill it): the messages would go into the recording. Flags from a
	// failed F_GETFL (-1) would switch on O_APPEND and more.
	const int flags = fd > STDERR_FILENO && S_ISREG(status.st_mode) ? fcntl(fd, F_GETFL) : -1;
	if (flags == -1 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
		close(fd);
		return nullptr;
	}
	// fdopen fails only for want of memory; the descriptor then ends with
	// the process, a moment later.
	return fdopen(fd, "r+b");
}

bool write_at(std::FILE* file, std::size_t offset, const unsigned char* bytes, std::size_t count)
{
	// One request: stdio would retry a write that returns 0 for ever.
	const ssize_t written = pwrite(fileno(file), bytes, count, static_cast<off_t>(offset));
	return written >= 0 && static_cast<std::size_t>(written) == count;
}

// printf's own interface, whose calls the compiler checks against the format.
void print(std::FILE* out, const char* format, ...) // NOLINT(cert-dcl50-cpp)
{
	va_list args;
	va_start(args, format);
	std::vfprintf(out, format, args);
	va_end(args);
}

} // namespace varnholt
