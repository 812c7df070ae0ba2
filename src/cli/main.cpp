#include <cstdio>

#include "cli/run.hpp"

#ifdef __MINGW32__
// Keep mingw's C runtime from expanding wildcards in the arguments: a
// pattern is a file name like any other.
extern "C" {
int _dowildcard = 0; // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
}
#endif

int main(int argc, char** argv)
{
	return varnholt::run(argc, argv, stdout);
}
