#include <cstdio>

#include "cli/run.hpp"
#include "platform/platform.hpp"

int main(int argc, char** argv)
{
	varnholt::prepare_process();
	return varnholt::open_session(argc, argv, stdin, stdout,
	                              varnholt::window_closes_with_process());
}
