// `ramtune --all`: the bench on the console, and the two ways the bench
// starts the program for a link (its search, a unit's run).
#pragma once

#include <string>

#include "app/console/options.h"
#include "link/udp_transport.h"

namespace ramtune::console {

class FrontEnd;

// The whole bench; returns the exit status.
int RunBenchConsole(const Options& options);

// A run of a bench ties its service socket to its link before binding it,
// so that the runs on the other links can bind the same port on theirs. It
// ends with a message when the socket cannot be tied or bound.
class LinkTiedTransport : public link::UdpTransport {
 public:
  LinkTiedTransport(FrontEnd& frontEnd, std::string device) : frontEnd_(frontEnd), device_(std::move(device)) {}
  bool Bind(uint16_t port) override;

 private:
  FrontEnd& frontEnd_;
  std::string device_;
};

}  // namespace ramtune::console
