#include <cstdio>

#include "cli/run.hpp"

int main(int argc, char** argv)
{
	return varnholt::run(argc, argv, stdout);
}
