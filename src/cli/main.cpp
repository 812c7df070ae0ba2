// Varnholt's entry: the command line alone. Varnholt.exe keeps the drop
// onto it, and so the card session: its entry is session/drop.cpp.
#include <cstdio>

#include "cli/run.hpp"
#include "platform/platform.hpp"

int main(int argc, char** argv)
{
	varnholt::prepare_process();
	return varnholt::run(argc, argv, stdout);
}
