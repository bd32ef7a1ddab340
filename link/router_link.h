// The link to the routers: the search and the command channel on one
// service socket.
#pragma once

#include "link/command_channel.h"
#include "link/discovery.h"

namespace ramtune::link {

// The search and the command channel on one service socket.
struct RouterLink {
  explicit RouterLink(const LinkServices& services) : discovery(services), commands(discovery, services) {}
  Discovery discovery;
  CommandChannel commands;
};

}  // namespace ramtune::link
