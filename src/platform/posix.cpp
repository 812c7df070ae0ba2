#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

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
	if (!S_ISREG(status.st_mode)) {
		close(fd);
		return nullptr;
	}
	fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
	// fdopen fails only for want of memory; the descriptor then ends with
	// the process, a moment later.
	return fdopen(fd, "r+b");
}

} // namespace varnholt
