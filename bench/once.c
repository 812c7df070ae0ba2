/* Runs one command, started with posix_spawn, standard output going to
 * /dev/null, and prints its wall time in nanoseconds, its peak resident
 * memory in KiB (ru_maxrss, as wait4 reports it for the child), and its
 * user and system CPU time in microseconds:
 *   once COMMAND...   ->   NS KIB USER_US SYSTEM_US
 * glibc's posix_spawn shares this small process's memory until the exec
 * (CLONE_VM), and the kernel counts the memory a process had before its
 * exec in its peak, so the peak printed is at least this process's own,
 * about 1 MiB: run /bin/true through it to see that floor. A command that
 * ends otherwise than with status 0 is an error.
 */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

extern char **environ;

int main(int argc, char **argv)
{
	if (argc < 2) {
		fprintf(stderr, "usage: once COMMAND...\n");
		return 2;
	}
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
	struct timespec start, end;
	struct rusage usage;
	pid_t pid;
	int status;
	clock_gettime(CLOCK_MONOTONIC, &start);
	if (posix_spawnp(&pid, argv[1], &actions, NULL, argv + 1, environ) != 0 ||
	    wait4(pid, &status, 0, &usage) != pid) {
		fprintf(stderr, "once: %s could not be run\n", argv[1]);
		return 1;
	}
	clock_gettime(CLOCK_MONOTONIC, &end);
	if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
		fprintf(stderr, "once: %s ended with status %d\n", argv[1], status);
		return 1;
	}
	printf("%lld %ld %lld %lld\n",
	       (end.tv_sec - start.tv_sec) * 1000000000LL + end.tv_nsec - start.tv_nsec,
	       usage.ru_maxrss,
	       usage.ru_utime.tv_sec * 1000000LL + usage.ru_utime.tv_usec,
	       usage.ru_stime.tv_sec * 1000000LL + usage.ru_stime.tv_usec);
	return 0;
}
