// Varnholt.exe's entry: started by Explorer (a double-click, a drop, Send
// to), the card session; from anywhere else, the command line as on every
// system.
#include <cstdio>

#include "cli/run.hpp"
#include "platform/platform.hpp"
#include "session/session.hpp"

int main(int argc, char** argv)
{
	varnholt::prepare_process();
	std::FILE* console = varnholt::started_from_explorer();
	if (console == nullptr)
		return varnholt::run(argc, argv, stdout);
	return varnholt::card_session(argc, argv, console, stdout, stderr,
	                              varnholt::Started::by_explorer);
}
