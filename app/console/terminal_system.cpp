// What the system tells about the terminal.
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

#include "app/console/terminal.h"

namespace ramtune::console {

TerminalCaps StandardOutputCaps() {
  return DecideCaps(isatty(STDOUT_FILENO) == 1, std::getenv("NO_COLOR"), std::getenv("TERM"));
}

int TerminalWidth(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

}  // namespace ramtune::console
