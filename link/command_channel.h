// The command channel: one command line run on the target router, and the
// text it printed.
//
// The response lock guards the text of the last answer, the awaiting flag
// and what is awaited; it is never held together with the search's lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "link/discovery.h"

namespace ramtune::link {

class CommandChannel {
 public:
  // Answers reach the channel through `discovery`'s listener.
  CommandChannel(Discovery& discovery, const LinkServices& services);

  // Sends `command` to `target` and waits up to `limitMs` for its answer.
  // A command longer than the text field of a request is never sent: the
  // caller finds no answer, as from a router that did not answer.
  void SendCommand(const Target& target, const std::string& command, int limitMs);
  // The boot partition's value under `key`, in ResponseText().
  void QueryMtd0Value(const Target& target, const std::string& key);
  std::string ResponseText() const;  // a copy, taken under the response lock
  bool AwaitingResponse() const { return awaiting_.load(); }
  void DeliverResponse(const uint8_t* data, size_t length, unsigned arrivalIndex = 0);

 private:
  Discovery& discovery_;
  LinkServices s_;
  mutable platform::Lock responseLock_;
  std::string responseText_;
  std::atomic<bool> awaiting_{false};
  uint32_t awaitedSequence_ = 0;
  MacAddress awaitedMac_{};
  Route awaitedRoute_;  // an answer from another link is not from the router asked
};

}  // namespace ramtune::link
