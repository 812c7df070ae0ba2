/* Times two commands taking turns, one run each at a time, started with
 * posix_spawn so that no shell's fork is counted, standard output going to
 * /dev/null. Prints the median run time of each, in nanoseconds.
 *   alternate RUNS COMMAND_A... -- COMMAND_B...
 */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>

extern char **environ;

static long long run_once(char **argv, const posix_spawn_file_actions_t *actions)
{
	struct timespec start, end;
	pid_t pid;
	int status;

	clock_gettime(CLOCK_MONOTONIC, &start);
	if (posix_spawnp(&pid, argv[0], actions, NULL, argv, environ) != 0 ||
	    waitpid(pid, &status, 0) != pid || status != 0) {
		fprintf(stderr, "alternate: %s failed\n", argv[0]);
		exit(1);
	}
	clock_gettime(CLOCK_MONOTONIC, &end);
	return (end.tv_sec - start.tv_sec) * 1000000000LL + end.tv_nsec - start.tv_nsec;
}

static int by_value(const void *a, const void *b)
{
	const long long x = *(const long long *)a, y = *(const long long *)b;
	return (x > y) - (x < y);
}

int main(int argc, char **argv)
{
	int split = 2;
	while (split < argc && strcmp(argv[split], "--") != 0)
		split++;
	if (argc < 5 || split >= argc - 1 || split == 2) {
		fprintf(stderr, "usage: alternate RUNS COMMAND_A... -- COMMAND_B...\n");
		return 2;
	}
	argv[split] = NULL;
	const int runs = atoi(argv[1]);
	long long *a = calloc((size_t)runs, sizeof *a), *b = calloc((size_t)runs, sizeof *b);
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
	for (int i = 0; i < runs; i++) {
		a[i] = run_once(argv + 2, &actions);
		b[i] = run_once(argv + split + 1, &actions);
	}
	qsort(a, (size_t)runs, sizeof *a, by_value);
	qsort(b, (size_t)runs, sizeof *b, by_value);
	printf("%lld %lld\n", a[runs / 2], b[runs / 2]);
	return 0;
}
