#include <cstdio>

#include "cli/run.hpp"
#include "platform/platform.hpp"

int main(int argc, char** argv)
{
	varnholt::prepare_process();
	return varnholt::start(argc, argv, varnholt::started_from_explorer(), stdout);
}
