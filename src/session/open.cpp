// Varnholt-open's entry: the card session on the files and folders given.
#include <cstdio>

#include "platform/platform.hpp"
#include "session/session.hpp"

int main(int argc, char** argv)
{
	varnholt::prepare_process();
	const auto started = varnholt::window_closes_with_process()
	                             ? varnholt::Started::open_own_window
	                             : varnholt::Started::open_from_shell;
	return varnholt::card_session(argc, argv, stdin, stdout, stderr, started);
}
