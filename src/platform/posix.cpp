#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

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

std::FILE* open_recording(const char* name, Access access)
{
	// O_NONBLOCK keeps a FIFO or a terminal from holding the open, and
	// O_NOCTTY keeps a terminal from becoming the process's own.
	const bool reading = access == Access::read || access == Access::read_no_link;
	const bool no_link = access == Access::read_no_link || access == Access::change_no_link;
	const int fd = open(name, (reading ? O_RDONLY : O_RDWR) | (no_link ? O_NOFOLLOW : 0) |
	                                  O_NOCTTY | O_NONBLOCK);
	if (fd == -1) {
		if ((errno == ELOOP || errno == EISDIR) && no_link)
			errno = 0; // the name is a link or a folder
		return nullptr;
	}
	struct stat status {}; // a failed fstat leaves the mode 0: not a regular file
	fstat(fd, &status);
	// A descriptor below 3 means a standard one stayed closed (no /dev/null
	// to fill it): the messages would go into the recording. A read of a
	// regular file never waits, so only a file to change is made to wait as
	// usual; flags from a failed F_GETFL (-1) would switch on O_APPEND and
	// more.
	const bool regular = fd > STDERR_FILENO && S_ISREG(status.st_mode);
	const int flags = regular && !reading ? fcntl(fd, F_GETFL) : 0;
	if (!regular || flags == -1 ||
	    (!reading && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1)) {
		const int error = regular && flags != -1 ? errno : 0;
		close(fd);
		errno = error;
		return nullptr;
	}
	// fdopen fails only for want of memory; the descriptor then ends with
	// the process, a moment later.
	return fdopen(fd, reading ? "rb" : "r+b");
}

bool truncate_file(std::FILE* file, std::size_t size)
{
	return ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
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

bool is_terminal(std::FILE* out)
{
	return isatty(fileno(out)) == 1;
}

std::size_t name_start(const char* path)
{
	const char* slash = std::strrchr(path, '/');
	return slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
}

// Makes path's folders that are missing, each for its owner alone; path
// ends in a slash.
static bool make_folders(char* path)
{
	for (char* slash = std::strchr(path + 1, '/'); slash != nullptr;
	     slash = std::strchr(slash + 1, '/')) {
		*slash = '\0';
		const bool made = mkdir(path, 0700) == 0 || errno == EEXIST;
		*slash = '/';
		if (!made)
			return false;
	}
	return true;
}

bool state_folder(char* path, std::size_t size)
{
	// Only an absolute path names a place: a relative one would put the
	// records wherever the session happens to run.
	const char* base = std::getenv("XDG_STATE_HOME");
	const char* below = "/varnholt/";
	if (base == nullptr || base[0] != '/') {
		base = std::getenv("HOME");
		below = "/.local/state/varnholt/";
	}
	errno = 0;
	if (base == nullptr || base[0] != '/')
		return false;
	const int length = std::snprintf(path, size, "%s%s", base, below);
	if (static_cast<std::size_t>(length) >= size) { // -1 too
		errno = ENAMETOOLONG;
		return false;
	}
	return make_folders(path);
}

bool whole_path(const char* path, char* whole, std::size_t size)
{
	std::size_t at = 0;
	if (path[0] != '/') {
		if (getcwd(whole, size) == nullptr) {
			if (errno == ERANGE) // the room is too small for it
				errno = ENAMETOOLONG;
			return false;
		}
		at = std::strlen(whole);
		if (at > 1) // the root ends in a slash already
			whole[at++] = '/';
	}
	const int length = std::snprintf(whole + at, size - at, "%s", path);
	if (static_cast<std::size_t>(length) >= size - at) {
		errno = ENAMETOOLONG;
		return false;
	}
	return true;
}

std::FILE* create_file(const char* path)
{
	const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
	// fdopen fails only for want of memory; the descriptor then ends with
	// the process, a moment later.
	return fd == -1 ? nullptr : fdopen(fd, "wb");
}

bool sync_file(std::FILE* file)
{
	return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

void time_now(long long& seconds, long& nanoseconds)
{
	timespec now{};
	clock_gettime(CLOCK_REALTIME, &now);
	seconds = static_cast<long long>(now.tv_sec);
	nanoseconds = static_cast<long>(now.tv_nsec);
}

unsigned long process_id()
{
	return static_cast<unsigned long>(getpid());
}

bool rename_file(const char* from, const char* to)
{
	return std::rename(from, to) == 0;
}

bool remove_file(const char* path)
{
	return std::remove(path) == 0;
}

bool sync_folder(const char* folder)
{
	const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	if (fd == -1)
		return false;
	// Some file systems cannot sync a folder, and say so: their names are
	// as durable as they can be.
	const bool synced = fsync(fd) == 0 || errno == EINVAL;
	close(fd);
	return synced;
}

void set_title(const char* /*title*/)
{
}

bool window_closes_with_process()
{
	return getsid(0) == getpid();
}

void wait_for_key(std::FILE* in)
{
	const int fd = fileno(in);
	termios saved{};
	if (tcgetattr(fd, &saved) != 0) {
		std::getc(in);
		return;
	}
	// One key, unechoed, without Enter; TCSAFLUSH drops what was typed
	// ahead (a second Enter after the answer).
	termios key = saved;
	key.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
	key.c_cc[VMIN] = 1;
	key.c_cc[VTIME] = 0;
	tcsetattr(fd, TCSAFLUSH, &key);
	char byte = 0;
	const ssize_t got = read(fd, &byte, 1);
	static_cast<void>(got);
	tcsetattr(fd, TCSANOW, &saved);
}

static int not_dots(const dirent* entry)
{
	return static_cast<int>(std::strcmp(entry->d_name, ".") != 0 &&
	                        std::strcmp(entry->d_name, "..") != 0);
}

// By an entry's type (DT_*): a folder (DT_DIR), or a name of a type that is
// not known (DT_UNKNOWN).
static_assert(DT_UNKNOWN == 0 && DT_DIR == 4, "the table below");
static const bool may_be_folder[16] = {true, false, false, false, true};

// path is the folder's, length bytes long, in a buffer with room for a
// slash and a name past it.
static void walk(char* path, std::size_t length, Visit visit, void* context)
{
	dirent** entries = nullptr;
	const int count = scandir(path, &entries, not_dots, alphasort);
	if (count < 0) {
		visit(context, path, Found::unreadable_folder);
		return;
	}
	for (int i = 0; i < count; i++) {
		const std::size_t name_length = std::strlen(entries[i]->d_name);
		path[length] = '/';
		std::memcpy(path + length + 1, entries[i]->d_name, name_length + 1);
		// The folder's entry says what a name is, but for folders, which
		// need their status, and names whose type the file system leaves
		// unsaid. Only a path shorter than PATH_MAX has a status, so a folder
		// is entered with room for what its names add. One past it reads as
		// a file, which the open then refuses.
		struct stat status {};
		if (may_be_folder[entries[i]->d_type & 0xF])
			lstat(path, &status);
		if (S_ISDIR(status.st_mode))
			walk(path, length + 1 + name_length, visit, context);
		else
			visit(context, path, Found::file);
		std::free(entries[i]);
	}
	path[length] = '\0';
	std::free(entries);
}

bool walk_folder(const char* folder, Visit visit, void* context)
{
	struct stat status {};
	if (stat(folder, &status) != 0 || !S_ISDIR(status.st_mode))
		return false;
	// The name had a status, so it is shorter than PATH_MAX.
	char path[PATH_MAX + 1 + NAME_MAX + 1];
	std::strcpy(path, folder);
	walk(path, std::strlen(path), visit, context);
	return true;
}

} // namespace varnholt
